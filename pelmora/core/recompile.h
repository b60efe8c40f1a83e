// Compiling the designer's expression, and what a failed compile shows.
//
//   Ctrl+Enter    the result replaces the compiled expression, whatever it
//                 is (none after a failure: the preview falls back to the
//                 built-in formula); a failure puts the cursor on its place
//   live (F5)     a pause of livecompiledelay after the last change of the
//                 text; only a success replaces the compiled expression
//   a load        loaddesign compiled it; notecompile tells the screen
//
// A failure keeps the compiler's message with " (line L, column C)" added
// when the place lies in the body, shown above the editor until a compile
// succeeds, and the place, marked in the editor while the text is the one
// that was compiled.
#pragma once
#include "compiler.h"

constexpr double livecompiledelay = 0.3;    // seconds

// After a compile of the designer's text gave f: the message and its place.
void notecompile(exprfunc f);
// Ctrl+Enter.
void recompile();
// The body changed: the text's version moves on, and a live compile is due
// after the pause.
void textchanged();
// F5: live compiles on and off.
void togglelivecompile();
// The live compile, when it is due (frame step 6).
void steplivecompile();
// The error's place for the editor's mark, -1 none.
int errormark();
