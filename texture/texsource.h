// The readable text form of a texture script, from which "txtool make" and
// the example textures are built.
//
//   # a comment line
//   red        = 2.2 1.7 3.0 2.0     weight table rows, groups 1 to 4
//   green      = 2.0 1.8 2.2 2.0
//   blue       = 4.0 2.7 2.5 2.0
//   groupscale = -3 2 2 2
//   shape      = -1                  positive concave, negative convex
//   light      = 0                   light angle in radians
//   scale      = 1                   the sc argument
//   solidweight = 2                  if left out: the one the shape gives
//   expression:
//   (d1*c1 + d2*c2)*sc               every further line is the body
//
// Keys may come in any order, each at most once; whatever is left out keeps
// the designer's start-up value (without an "expression:" line, the default
// expression). The standard header line is put in front of
// the body; line ends of the body become line feeds, and trailing empty lines
// are dropped. The channel weights are derived from the weight table.
#pragma once
#include "texscript.h"

// Parse a NUL-terminated source into s. 1 on success; 0 with a message
// ("line N: ...") in err.
int parsetexsource(const char *source, texturescript &s, char *err, int errsize);

// Read the file and parse it.
int readtexsource(const char *path, texturescript &s, char *err, int errsize);
