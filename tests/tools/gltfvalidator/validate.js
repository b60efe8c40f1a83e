// The Khronos glTF validator on one file: node validate.js FILE.glb
// Prints "errors N warnings N infos N hints N", then every error and warning;
// exits 0 only when there are neither.
'use strict';
const validator = require('gltf-validator');

const file = process.argv[2];
validator.validateBytes(new Uint8Array(require('fs').readFileSync(file)), {uri: file, maxIssues: 0}).then((report) => {
    const i = report.issues;
    console.log(`errors ${i.numErrors} warnings ${i.numWarnings} infos ${i.numInfos} hints ${i.numHints}`);
    for (const m of i.messages.filter((m) => m.severity <= 1))
        console.log(`${m.severity ? 'warning' : 'error'} ${m.code} ${m.pointer || ''}: ${m.message}`);
    process.exit(i.numErrors || i.numWarnings ? 1 : 0);
}, (error) => {
    console.error('validate.js: ' + error);
    process.exit(2);
});
