#include "recompile.h"
#include "screenstate.h"
#include "texscript.h"

#include <cstdio>

void notecompile(exprfunc f)
{
    screen.compiledversion = screen.textversion;
    screen.compilefailed = f == nullptr;
    screen.errorplace = -1;
    screen.errortext[0] = 0;
    if (f)
        return;
    const char *text = texscripts.script.text;
    int at = compileerrorat();
    std::snprintf(screen.errortext, sizeof screen.errortext, "%s", compileerror());
    if (at < exprheaderlength)
        return;
    exprplace p = exprplaceof(text + exprheaderlength, at - exprheaderlength);
    std::snprintf(screen.errortext, sizeof screen.errortext, "%s (line %d, column %d)", compileerror(), p.line,
                  p.column);
    screen.errorplace = at - exprheaderlength;
}

// The new code replaces the old, whose pages go back to the system: a
// designer recompiles for hours.
void recompile()
{
    exprfree(texscripts.func);
    texscripts.func = compileexpr(texscripts.script.text);
    notecompile(texscripts.func);
    screen.editor.modified = 0;
    screen.rendernow = 1;
    screen.compileat = 0.0;
    if (screen.errorplace >= 0) {
        screen.editor.cursor = screen.errorplace;
        screen.editor.anchor = -1;
    }
}

void textchanged()
{
    screen.textversion++;
    screen.editor.modified = 1;
    if (screen.livecompile)
        screen.compileat = screen.currenttime + livecompiledelay;
}

void togglelivecompile()
{
    screen.livecompile = !screen.livecompile;
    screen.compileat = screen.livecompile && screen.editor.modified ? screen.currenttime : 0.0;
}

// A failure leaves the preview as it was; the message and the mark say why.
void steplivecompile()
{
    if (screen.compileat <= 0.0 || screen.currenttime < screen.compileat)
        return;
    screen.compileat = 0.0;
    exprfunc f = compileexpr(texscripts.script.text);
    notecompile(f);
    if (!f)
        return;
    exprfree(texscripts.func);
    texscripts.func = f;
    screen.editor.modified = 0;
    screen.rendernow = 1;
}

int errormark()
{
    if (!screen.compilefailed || screen.compiledversion != screen.textversion)
        return -1;
    return screen.errorplace;
}
