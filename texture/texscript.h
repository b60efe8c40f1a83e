// Texture scripts: the designer's one texture record, the generator's
// texture slots, and the tagged binary file both programs read.
//
// File: the magic "TxQv", then sections of a 4-byte tag and its data, with
// no section length, up to the end of the file:
//   "Wgt:" 16 floats   weight table, rows R, G, B, group scales
//   "Air:" 1 float     shape
//   "Lta:" 1 float     light angle (radians)
//   "Wgt2" 12 floats   channel weights c1..c4 of R, then G, then B
//   "Scal" 1 float     global scale
//   "w6ol" 1 float     solid weight
//   "Eqat" int32 n, n bytes   expression text and its NUL
// All values little-endian. Readers skip a tag they do not use 4 bytes at a
// time, so the next 4 bytes are taken as the next tag.
#pragma once
#include "compiler.h"

constexpr int exprtextsize = 8192;          // expression text with its NUL
constexpr int exprheaderlength = 38;        // the parameter list and its line feed
constexpr int maxtextureslots = 256;
constexpr int textureparams = 12;           // arguments every texture expression is called with
constexpr int texwhysize = 4096 + 200;      // a whole path and the system's reason
extern const char exprheader[];             // "(vx,vy,vz,d1,d2,d3,c1,c2,c3,c4,fn,sc)\n"
extern const char defaultbody[];

// The designer's texture.
struct texturescript {
    char text[exprtextsize];    // header line, then the body; NUL-terminated
    float weights[4][4];        // rows R, G, B, group scales; columns groups 1-4
    float channel[3][4];        // derived: weights[ch][g] * weights[3][g]
    float shape;                // positive concave, negative convex
    float lightangle;           // radians
    float scale;                // the sc argument
    float solidweight;
};

// One script in the generator.
struct textureslot {
    float channel[3][4];
    float scale;
    float solidweight;          // kept, but the generator's rocks weigh themselves
    exprfunc func;              // nullptr until an expression compiled
};

struct texscriptstate {
    texturescript script;       // the designer's texture
    exprfunc func;              // its compiled expression, nullptr after a failed compile
    // Designer: called after a load put a new text in place, with the length
    // of the body after the header, so the editor can reset its cursor.
    void (*editreset)(int bodylength);
    // Generator: receives each finished log line of loadgentexture ("path\n").
    void (*genlog)(const char *line);
    // Why the last load or save that failed did so, naming the file: "cannot
    // open x.tx: No such file or directory". Loads clear it when they start.
    char why[texwhysize];
};

extern texscriptstate texscripts;

// Designer start-up: default record and channel weights, the feature points
// (384 library random draws), and the default expression compiled.
void makedefaults();

// The start-up values alone, into any record.
void defaultscript(texturescript &s);

// channel[ch][g] = weights[ch][g] * weights[3][g].
void derivechannels(texturescript &s);

// Write the designer's record. 1 on success; 0 with the reason in
// texscripts.why if the file cannot be written, in which case an existing
// file of that name is left as it was. The file is replaced safely (see
// safefile.h), so saves running at once each leave a whole script. A target
// that is not a regular file is refused.
int savetexture(const char *path);
int savescript(const texturescript &s, const char *path);

// Read into the designer's record. 1 if the file had the magic, a usable
// expression length and a header of at most twelve parameters; 0 leaves the
// record unchanged, with the reason in texscripts.why.
int loadtexture(const char *path);

// Read one script into a generator slot and compile its expression. 0 if the
// file is missing or not a regular file, lacks the magic, has a bad or no
// expression, the expression does not compile or its header declares more
// than twelve parameters; the slot is then unchanged and the reason in
// texscripts.why.
int loadgentexture(const char *path, textureslot &slot);

// The number of parameters the header of an expression text declares, read
// as the compiler reads it: comments and blanks do not count, text before the
// first "(" is ignored, the names run to the first ")" and are split at ",".
// A header the compiler refuses may be miscounted; it never compiles.
int headerparamcount(const char *text);

// Put the standard header in front of a text whose first line is not 37
// bytes long; a body that would not fit is cut at its end. Returns the
// length of the body after the header.
int normaliseheader(char *text);
