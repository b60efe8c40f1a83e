// The span encoder of one map column: voxel classes, visibility, spans.
#include <cstring>
#include <emmintrin.h>

#include "byteorder.h"
#include "generator.h"
#include "mapformat.h"

namespace {

// Voxel classes in the order the encoder compares them.
enum voxelclass { none = 0, air = 1, exposed = 2, covered = 3 };

struct span {
    int start;      // byte offset of the span header
    int topstart, topend;
};

struct encoder {
    uint8_t *out;
    int pos;
    span cur;
    int colours;    // colour words in the current span

    void open(int z, int airstart)
    {
        cur = {pos, z, z - 1};
        out[pos + 1] = uint8_t(z);
        out[pos + 3] = uint8_t(airstart);
        pos += 4;
        colours = 0;
    }
    void close(int length)
    {
        out[cur.start] = uint8_t(length);
        out[cur.start + 2] = uint8_t(cur.topend);
    }
    void append(uint32_t colour)
    {
        putle32(out + pos, colour);
        pos += 4;
        colours++;
    }
};

// A span length is one byte of 4-byte words, its header included.
const int maxspancolours = spanmaxwords - 1;

// Class of every voxel of the column; index 256 stands for the voxel below
// the map, which is not air, and the 16 bytes after it for no class at all,
// so that a run always ends inside the array: a run reaching index 256 is
// looked at from 257 on, 16 bytes at a time.
constexpr int classbytes = mapdepth + 1 + 16;

// Bytes 0xFF where bit k of the 16 bits is set, else 0.
__m128i bytemask(unsigned bits)
{
    const uint64_t spread = 0x0101010101010101ull;
    const __m128i b = _mm_set_epi64x(int64_t((bits >> 8 & 0xFF) * spread), int64_t((bits & 0xFF) * spread));
    const __m128i select = _mm_set1_epi64x(int64_t(0x8040201008040201ull));
    return _mm_cmpeq_epi8(_mm_and_si128(b, select), select);
}

// A voxel is air, exposed (a neighbour has air at its z) or covered.
void classifycolumn(const airbits &self, const airbits *const nb[4], uint8_t *cls)
{
    for (int w = 0; w < 4; w++) {
        const uint64_t a = self.w[w], o = nb[0]->w[w] | nb[1]->w[w] | nb[2]->w[w] | nb[3]->w[w];
        for (int k = 0; k < 64; k += 16) {
            const __m128i ma = bytemask(unsigned(a >> k)), mo = bytemask(unsigned(o >> k));
            // covered 3, less 1 when exposed (a neighbour's air, not air itself), less 2 when air
            const __m128i c = _mm_sub_epi8(_mm_sub_epi8(_mm_set1_epi8(covered), _mm_and_si128(ma, _mm_set1_epi8(2))),
                                           _mm_andnot_si128(ma, _mm_and_si128(mo, _mm_set1_epi8(1))));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(cls + 64 * w + k), c);
        }
    }
    if (cls[mapdepth - 1] != air)
        cls[mapdepth - 1] = covered;
    cls[mapdepth] = covered;
    std::memset(cls + mapdepth + 1, 0xFF, classbytes - mapdepth - 1);
}

// Last z of the run of voxels of the class of z, 16 classes at a time.
int runend(const uint8_t *cls, int z)
{
    const __m128i c = _mm_set1_epi8(char(cls[z]));
    int i = z + 1;
    for (;; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(cls + i));
        int same = _mm_movemask_epi8(_mm_cmpeq_epi8(v, c));
        if (same != 0xFFFF) {
            i += __builtin_ctz(~unsigned(same));
            break;
        }
    }
    return (i < mapdepth ? i : mapdepth) - 1;
}

} // namespace

void columnairbits(const int32_t *codes, airbits &bits)
{
    const __m128i airs = _mm_set1_epi32(aircode);
    for (int w = 0; w < 4; w++) {
        uint64_t word = 0;
        for (int k = 0; k < 64; k += 4) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(codes + 64 * w + k));
            word |= uint64_t(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(v, airs)))) << k;
        }
        bits.w[w] = word;
    }
}

// The column is walked in runs of voxels of one class: classes change, and
// so spans open, only where a run begins. Within a run every exposed voxel is
// visible, and a covered one only next to air above or below.
int encodecolumnbits(const int32_t *codes, const airbits &self, const airbits *const nb[4], int x, int y,
                     uint8_t *out, const voxelpainter &paint)
{
    uint8_t cls[classbytes];
    classifycolumn(self, nb, cls);
    int top = cls[0] == air ? runend(cls, 0) + 1 : 0;
    if (top > mapdepth - 1)
        top = mapdepth - 1;
    encoder e = {out, 0, {}, 0};
    e.open(top, 0);

    auto store = [&](int z) {
        if (e.colours == maxspancolours) {
            // No room left in this span: go on in a further span with no air gap.
            e.close((e.pos - e.cur.start) / 4);
            e.open(z, z);
        }
        if (e.cur.topend == z - 1)
            e.cur.topend = z;
        e.append(codes[z] == solidcode ? paint.colour(paint.ctx, x, y, z, e.pos) : uint32_t(codes[z]));
    };

    voxelclass last = none, before = none;
    int gap = -1;
    int z = top > 0 ? top - 1 : 0;   // above z = 0 counts as air, like the voxels above top
    if (top == 0)
        last = air;
    while (z < mapdepth) {
        const voxelclass c = voxelclass(cls[z]);
        const int end = runend(cls, z);
        if (c != last) {
            if (c == air && (last == exposed || last == covered)) {
                gap = z;    // an air gap begins
            } else if (last < c && last < before) {
                // The class rises after having fallen: a new span.
                e.close((e.pos - e.cur.start) / 4);
                e.open(z, gap >= 0 ? gap : z);
                gap = -1;
            }
            before = last;
            last = c;
        }
        if (c == exposed) {
            for (int v = z; v <= end; v++)
                store(v);
        } else if (c == covered) {
            bool airabove = z == 0 || cls[z - 1] == air;
            bool airbelow = cls[end + 1] == air;
            if (airabove)
                store(z);
            if (airbelow && !(airabove && end == z))
                store(end);
        }
        z = end + 1;
    }
    e.close(0);
    return e.pos;
}

int encodecolumnwith(const int32_t *codes, const int32_t *const nb[4], int x, int y, uint8_t *out,
                     const voxelpainter &paint)
{
    airbits self, around[4];
    columnairbits(codes, self);
    for (int i = 0; i < 4; i++)
        columnairbits(nb[i], around[i]);
    const airbits *const ring[4] = {&around[0], &around[1], &around[2], &around[3]};
    return encodecolumnbits(codes, self, ring, x, y, out, paint);
}
