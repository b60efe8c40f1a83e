// The noise table against a second, plain implementation of the same rule,
// and its properties: period 32, lattice values at multiples of 16, range.
#include "noise.h"
#include "random.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// Independent random: the recurrence in 64-bit arithmetic.
struct oraclerandom {
    uint64_t state = 1;
    int next()
    {
        state = (state * 214013 + 2531011) & 0xFFFFFFFFu;
        return int(state >> 16 & 0x7FFF);
    }
};

// One octave's lattice as a map from lattice coordinates (not table ones).
struct oraclelattice {
    int k;
    std::vector<int> v;
    int at(int i, int j, int l) const { return v[size_t((i % k * k + j % k) * k + l % k)]; }
};

oraclelattice draworacle(oraclerandom &r, int k)
{
    oraclelattice L{k, std::vector<int>(size_t(k * k * k))};
    for (int i = k - 1; i >= 0; i--)
        for (int j = k - 1; j >= 0; j--)
            for (int l = k - 1; l >= 0; l--)
                L.v[size_t((i * k + j) * k + l)] = r.next();
    return L;
}

// The table built cell by cell with either arithmetic: T is float for the
// generator, long double for the designer.
template <typename T> std::vector<float> oracletable(bool designer, int skipdraws)
{
    oraclerandom r;
    for (int i = 0; i < skipdraws; i++)
        r.next();
    std::vector<float> table(32768, 0.0f);
    const float unit = 2.0f / 32767.0f;
    for (int n = 4; n >= 0; n--) {
        int d = 1 << n, k = 32 / d;
        oraclelattice L = draworacle(r, k);
        for (int x = 31; x >= 0; x--)
            for (int y = 31; y >= 0; y--)
                for (int z = 31; z >= 0; z--) {
                    int i = x / d, j = y / d, l = z / d;
                    T fx = T(x % d) / T(d), fy = T(y % d) / T(d), fz = T(z % d) / T(d);
                    T e[2][2];
                    for (int b = 0; b < 2; b++)
                        for (int c = 0; c < 2; c++) {
                            int lo = L.at(i, j + b, l + c), hi = L.at(i + 1, j + b, l + c);
                            e[b][c] = T(lo) + T(hi - lo) * fx;
                        }
                    T b0 = e[0][0] + (e[1][0] - e[0][0]) * fy;
                    T b1 = e[0][1] + (e[1][1] - e[0][1]) * fy;
                    T v = b0 + (b1 - b0) * fz;
                    float &entry = table[size_t((x * 32 + y) * 32 + z)];
                    if (designer)
                        entry = float(entry + (long double)(n + 1) * 0.2 * ((long double)v * unit - 1.0L));
                    else
                        entry = entry + float(n + 1) / 5.0f * (float(v) * unit - 1.0f);
                }
    }
    return table;
}

int mismatches(const std::vector<float> &oracle)
{
    int bad = 0;
    for (int i = 0; i < noisesize; i++)
        bad += oracle[size_t(i)] != noise.table[i];
    return bad;
}

}   // namespace

TEST(Noise, GeneratorTableMatchesPlainImplementation)
{
    resetlibraryrand();
    initnoise(noisegenerator);
    EXPECT_EQ(mismatches(oracletable<float>(false, 0)), 0);
}

TEST(Noise, DesignerTableMatchesPlainImplementationAfterThePoints)
{
    // The designer draws its 384 feature-point numbers first.
    resetlibraryrand();
    for (int i = 0; i < 384; i++)
        libraryrand();
    initnoise(noisedesigner);
    EXPECT_EQ(mismatches(oracletable<long double>(true, 384)), 0);
}

TEST(Noise, DrawsExactly37448Numbers)
{
    resetlibraryrand();
    initnoise(noisegenerator);
    uint32_t after = librandom.state;
    oraclerandom r;
    for (int i = 0; i < 37448; i++)
        r.next();
    EXPECT_EQ(after, uint32_t(r.state));
}

TEST(Noise, PrecisionsDifferButBothStayInRange)
{
    std::vector<float> tables[2];
    const noiseprecision precisions[2] = {noisedesigner, noisegenerator};
    for (int p = 0; p < 2; p++) {
        resetlibraryrand();
        initnoise(precisions[p]);
        tables[p].assign(noise.table, noise.table + noisesize);
        float lo = 0, hi = 0;
        for (float v : tables[p]) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        EXPECT_GE(lo, -3.0f);
        EXPECT_LE(hi, 3.0f);
        EXPECT_LT(lo, -1.0f);   // five octaves spread well beyond one amplitude
        EXPECT_GT(hi, 1.0f);
    }
    int differ = 0;
    for (int i = 0; i < noisesize; i++) {
        differ += tables[0][size_t(i)] != tables[1][size_t(i)];
        EXPECT_NEAR(tables[0][size_t(i)], tables[1][size_t(i)], 1e-5f);
    }
    EXPECT_GT(differ, 0);
}

// At multiples of 16 every fraction is 0, so each octave adds its lattice
// value exactly: the sum of (n+1)/5 (L * 2/32767 - 1) over the octaves.
TEST(Noise, LatticePointsOfTheCoarsestOctave)
{
    resetlibraryrand();
    initnoise(noisegenerator);
    oraclerandom r;
    oraclelattice lattices[5];
    for (int n = 4; n >= 0; n--)
        lattices[n] = draworacle(r, 32 >> n);
    const float unit = 2.0f / 32767.0f;
    for (int x = 0; x < 32; x += 16)
        for (int y = 0; y < 32; y += 16)
            for (int z = 0; z < 32; z += 16) {
                float sum = 0;
                for (int n = 4; n >= 0; n--) {
                    int d = 1 << n;
                    sum += float(n + 1) / 5.0f * (float(lattices[n].at(x / d, y / d, z / d)) * unit - 1.0f);
                }
                EXPECT_EQ(noiseat(x, y, z), sum) << x << "," << y << "," << z;
            }
}

TEST(Noise, TilesWithPeriod32AlsoForNegativeCoordinates)
{
    resetlibraryrand();
    initnoise(noisegenerator);
    const int points[][3] = {{0, 0, 0}, {5, 17, 31}, {31, 31, 31}, {12, 3, 29}};
    const int shifts[][3] = {{32, 0, 0}, {0, -32, 0}, {0, 0, 64}, {-32, -32, -32}, {1024, 992, 224}};
    for (auto &p : points)
        for (auto &s : shifts)
            EXPECT_EQ(noiseat(p[0] + s[0], p[1] + s[1], p[2] + s[2]), noiseat(p[0], p[1], p[2]));
    EXPECT_EQ(noiseat(-1, -1, -1), noise.table[32767]);
}
