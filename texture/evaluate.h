// Texture evaluation: the twelve arguments of a texture expression, the
// three calls of one sample, and the designer's fallback formula.
#pragma once
#include "compiler.h"
#include "pointgrid.h"
#include "texscript.h"

// Argument vector, in the order of the expression header.
enum texargument { argvx, argvy, argvz, argd1, argd2, argd3, argc1, argc2, argc3, argc4, argfn, argsc, argcount };

// Four-nearest slots start here (384 squared): a slot no point filled keeps it.
constexpr float farthestfour = 147456.0f;

struct nearestfour {
    float dist[4];      // weighted squared distances, ascending
    int first;          // index of the nearest point, -1 if none came below the start
};

// d1, d2, d3 from the four smallest weighted squared distances and the
// weight w of the nearest point: sqrt(b[i] / (w + 1)), in single precision.
void scaledistances(const float b[4], float w, float d[3]);

// Everything but c1..c4, which each channel's call fills in.
void makeargs(double args[argcount], int vx, int vy, int vz, const float d[3], float fn, float sc);

// Three calls of the expression, red, green, blue, each with its channel's
// c1..c4; the results are kept as floats.
void texturesample(exprfunc f, double args[argcount], const float channel[3][4], float out[3]);

// Designer without a compiled expression: (d1 c1 + d2 c2 + d3 c3 + c4) sc.
void fallbacksample(const float d[3], const float channel[3][4], float sc, float out[3]);

// Designer: the four nearest points of voxel (x, y, z) on a four-nearest grid
// of 8-voxel cells.
nearestfour findfour(const pointgrid &g, pointsource points, int x, int y, int z);

// Designer: the texture sample of voxel (x, y, z) of the preview, with the
// compiled expression f or the fallback formula when f is null.
void designsample(exprfunc f, const texturescript &s, const pointgrid &g, pointsource points,
                  int x, int y, int z, float out[3]);

// Generator: one sample of a loaded slot from the scaled distances and fn
// the caller found for voxel (vx, vy, vz). The slot must hold an expression.
void gentexsample(const textureslot &slot, int vx, int vy, int vz, float d1, float d2, float d3, float fn,
                  float out[3]);
