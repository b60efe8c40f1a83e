// The designer's start-up, its script load and the preview of a loaded
// script, in one place for the designer, `txtool render`, the preview tests
// and the preview benchmark, so they cannot drift apart.
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

// What a person does after the load, in this order: drags the light to an
// angle, switches the lighting off.
struct designactions {
    bool setlight = false;
    float light = 0.0f;
    bool nolight = false;
};

// The preview the designer shows when it starts afresh (the random sources
// and the preview as in a new process), loads path and then does `a`; each
// step renders as the designer does. Returns 1, or 0 with the reason in
// `why`: the script did not load (the reason of loaddesign), or memory ran
// out building the point grids.
int renderdesign(const char *path, const designactions &a, char *why, size_t whysize);
