// The Khronos glTF validator on one file: validate.js FILE.glb
// Prints "errors N warnings N infos N hints N" and every error and warning;
// exits 0 when the report has neither, 1 otherwise, 2 when it cannot run.
'use strict';
const fs = require('fs');
const validator = require('gltf-validator');

if (process.argv.length !== 3) {
    console.error('usage: node validate.js FILE.glb');
    process.exit(2);
}
const file = process.argv[2];
let bytes;
try {
    bytes = fs.readFileSync(file);
} catch (e) {
    console.error('validate.js: cannot read ' + file + ': ' + e.message);
    process.exit(2);
}
validator.validateBytes(new Uint8Array(bytes), {uri: file, maxIssues: 0}).then((report) => {
    const i = report.issues;
    console.log('errors ' + i.numErrors + ' warnings ' + i.numWarnings + ' infos ' + i.numInfos + ' hints ' +
                i.numHints);
    for (const m of i.messages)
        if (m.severity <= 1)
            console.log((m.severity === 0 ? 'error ' : 'warning ') + m.code + ' ' + (m.pointer || '') + ': ' +
                        m.message);
    process.exit(i.numErrors === 0 && i.numWarnings === 0 ? 0 : 1);
}, (error) => {
    console.error('validate.js: ' + error);
    process.exit(2);
});
