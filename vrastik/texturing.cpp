// Textured colouring: the voxel's four nearest rocks name texture scripts;
// the samples of the named scripts are blended with the rocks' weights.
#include "texturing.h"

#include <cmath>

#include "evaluate.h"
#include "noise.h"

namespace {

struct group {
    int script;
    float weight;
};

// With one script it colours everything; with more, air rocks name the first
// (ground) script and solid rocks the others, by material.
int makegroups(const nearestrocks &q, const blendweights &w, group groups[4])
{
    if (gen.texturecount == 1) {
        groups[0] = {0, w.a[0] + w.a[1] + w.a[2] + w.a[3]};
        return 1;
    }
    int n = 0;
    for (int s = 0; s < 4; s++) {
        const int script = gen.rocks[q.rock[s]].material + 1;
        int g = 0;
        while (g < n && groups[g].script != script)
            g++;
        if (g == n)
            groups[n++] = {script, 0.0f};
        groups[g].weight += w.a[s];
    }
    return n;
}

} // namespace

void texturedchannels(int x, int y, int z, const nearestrocks &q, const blendweights &w, float rgb[3])
{
    const float fn = noiseat(x, y, z);
    const float s = 1 / (gen.rocks[q.rock[0]].weight + 1);
    const float d1 = std::sqrt(q.dist[1] * s), d2 = std::sqrt(q.dist[2] * s), d3 = std::sqrt(q.dist[3] * s);
    group groups[4];
    const int n = makegroups(q, w, groups);
    rgb[0] = rgb[1] = rgb[2] = 0;
    for (int g = 0; g < n; g++) {
        const float f = w.inv * groups[g].weight;
        float sample[3];
        gentexsample(gen.slots[groups[g].script], x, y, z, d1, d2, d3, fn, sample);
        for (int ch = 0; ch < 3; ch++)
            rgb[ch] += sample[ch] * f;
    }
    for (int ch = 0; ch < 3; ch++)
        rgb[ch] = gen.texscale * rgb[ch];
}
