// The feature points of a surface of any side (surface.h tells the rule).
#include "noise.h"
#include "pointset.h"
#include "preview.h"
#include "random.h"
#include "surface.h"

#include <algorithm>
#include <cmath>

// Shifts of the neighbour blocks in sides, in the order they follow the
// base block (the preview's copies).
static const int neighbourshift[8][2] = {
    {1, 1}, {1, 0}, {1, -1}, {0, 1}, {0, -1}, {-1, 1}, {-1, 0}, {-1, -1},
};

bool surfacesideok(int side)
{
    return side >= surfaceminside && side <= surfacemaxside && side % surfacesidestep == 0;
}

bool surfacewraps(const surfaceoptions &o)
{
    return o.tile || o.side == previewside;
}

namespace {

// The surfaces' sequence of draws: the library random from the program's
// first state, with the noise table's draws left out after the designer's
// start-up points.
struct pointdraws {
    libraryrandom random = {1};
    int drawn = 0;                      // points drawn so far
};

void drawpoint(pointdraws &d, int side, featurepoint &p)
{
    if (d.drawn++ == basepointcount)
        for (int i = 0; i < noisedraws; i++)
            libraryrandfrom(d.random);
    p.x = float(libraryrandfrom(d.random) * side) / 32768.0f;
    p.y = float(libraryrandfrom(d.random) * side) / 32768.0f;
    p.z = float(libraryrandfrom(d.random) * 256) / 32768.0f;
}

int bucketof(const surfacepoints &s, float c)
{
    int b = int(std::floor((c - float(s.bucketorigin)) / float(surfacebucketside)));
    return std::clamp(b, 0, s.buckets - 1);
}

// The points lie in [-side, 2 side) on x and y.
void sortbuckets(surfacepoints &s)
{
    s.bucketorigin = -s.side;
    s.buckets = (3 * s.side + surfacebucketside - 1) / surfacebucketside;
    const size_t count = size_t(s.buckets) * size_t(s.buckets);
    std::vector<int> of(s.points.size());
    s.bucketstarts.assign(count + 1, 0);
    for (size_t k = 0; k < s.points.size(); k++) {
        of[k] = bucketof(s, s.points[k].y) * s.buckets + bucketof(s, s.points[k].x);
        s.bucketstarts[size_t(of[k]) + 1]++;
    }
    for (size_t b = 0; b < count; b++)
        s.bucketstarts[b + 1] += s.bucketstarts[b];
    std::vector<int> fill(s.bucketstarts.begin(), s.bucketstarts.end() - 1);
    s.bucketentries.resize(s.points.size());
    for (size_t k = 0; k < s.points.size(); k++)
        s.bucketentries[size_t(fill[size_t(of[k])]++)] = int(k);
}

} // namespace

void makesurfacepoints(surfacepoints &s, const surfaceoptions &o, float solidweight)
{
    const int n = o.side;
    s.side = n;
    s.wraps = surfacewraps(o);
    s.basecount = 2 * (n / 32) * (n / 32);
    s.points.assign(size_t(9 * s.basecount), featurepoint{});
    s.air.assign(s.points.size(), 0);
    pointdraws draws;
    for (int i = 0; i < s.basecount; i++)
        drawpoint(draws, n, s.points[size_t(i)]);
    for (int c = 0; c < 8; c++)
        for (int i = 0; i < s.basecount; i++) {
            featurepoint &p = s.points[size_t((c + 1) * s.basecount + i)];
            if (s.wraps)
                p = s.points[size_t(i)];
            else
                drawpoint(draws, n, p);
            p.x += float(neighbourshift[c][0] * n);
            p.y += float(neighbourshift[c][1] * n);
        }
    for (size_t i = 0; i < s.points.size(); i++) {
        s.air[i] = airflagof(s.points[i].z);
        s.points[i].weight = s.air[i] ? airweight : solidweight;
    }
    s.minweight = std::min(airweight, solidweight);
    sortbuckets(s);
}
