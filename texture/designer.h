// The designer's start-up and its script load, in one place for the
// designer, `txtool render`, the preview tests and the preview benchmark, so
// they cannot drift apart.
#pragma once
#include <cstddef>

// Start-up: the pelmora wording of compiler messages, the default texture
// with its feature points (the first 384 library random draws) and its
// compiled expression, then the noise table. The first preview is not
// rendered here: callers render it with both flags when they need it.
void startdesigner();

// Load flow of the designer without its rendering: read the script into the
// texture, compile header and body (a failed compile leaves no compiled
// expression and the message in compileerror()), give every feature point its
// weight again. Returns 1 when the script was loaded; 0 when it was not, with
// the texture unchanged and the reason in `why` (a sentence without a final
// full stop, naming the file: missing, not a regular file, no texture
// script, a damaged section, more parameters than a texture is given). The
// caller rebuilds the preview.
int loaddesign(const char *path, char *why, size_t whysize);
