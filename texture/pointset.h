// The designer's feature points: 128 random base points and eight copies
// shifted by 256 in x and y, so the pattern tiles the 256 x 256 preview.
#pragma once
#include "pointgrid.h"

constexpr int basepointcount = 128;
constexpr int designpointcount = 9 * basepointcount;   // 1152
constexpr float airweight = 1.0f;

struct pointset {
    featurepoint points[designpointcount];
    int air[designpointcount];      // 1 = air point, 0 = solid point
    int index[designpointcount];    // identity list, where buildgrid starts
};

extern pointset designpoints;

// Draw the base points (x, y, z each from one library random draw, 384 in
// all), add the shifted copies and give every point its weight.
void makepointset(float solidweight);

// A point above half the height (strictly) is an air point.
inline int airflagof(float z)
{
    return z > 128.0f ? 1 : 0;
}

// Solid weight of a shape value: s >= 0 gives 1 / (s + 1), s < 0 gives 1 - s.
float solidweightof(float shape);

// Air points weigh 1.0, solid points the given weight.
void setsolidweight(float solidweight);

// Where buildgrid reads the points.
pointsource designsource();
