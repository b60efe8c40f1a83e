// The palette: colour spaces, the colour set, and the weighted k-means.
//
// The k-means rounds are Lloyd's (assign every colour to its nearest centre,
// move every centre to the weighted mean of its colours) with Hamerly's
// bounds: each colour keeps an upper bound on the distance to its centre and
// a lower bound on the distance to every other one; the bounds follow the
// centres' moves, and only a colour whose bounds cross is searched again (on
// the default cave about half of them in the first rounds, a third later).
// A search measures only the centres near the colour along the direction in
// which the colours spread most: about 30 of the 255.
#include "palette.h"

#include "workers.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

// CIELAB relative to the D65 white of sRGB.
constexpr double whitex = 0.95047, whitey = 1.0, whitez = 1.08883;
constexpr double labepsilon = 216.0 / 24389.0;   // (6/29)^3: where the cube root meets the line
constexpr double labkappa = 24389.0 / 27.0;

constexpr int partcolours = 1024;    // colours per part of the parallel steps
constexpr int maxrounds = 20;        // k-means rounds at most (the figures settle after about ten)
constexpr uint32_t seedstate = 17;   // the k-means++ draws

// The sRGB transfer function of the 256 channel values.
struct lineartable {
    double value[256];
};

const lineartable &linear()
{
    static const lineartable table = [] {
        lineartable t;
        for (int i = 0; i < 256; i++) {
            double v = i / 255.0;
            t.value[i] = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        }
        return t;
    }();
    return table;
}

double labf(double t)
{
    return t > labepsilon ? std::cbrt(t) : (labkappa * t + 16) / 116;
}

double labfinverse(double f)
{
    double cube = f * f * f;
    return cube > labepsilon ? cube : (116 * f - 16) / labkappa;
}

int encodechannel(double v)
{
    v = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
    return int(std::clamp(std::lround(v * 255), 0L, 255L));
}

double distance2(const labcolour &p, const labcolour &q)
{
    double dl = p.l - q.l, da = p.a - q.a, db = p.b - q.b;
    return dl * dl + da * da + db * db;
}

// The direction in which the colours spread most (the weighted principal
// axis, by power iteration), a unit vector.
struct axis {
    double v[3];
};

axis principalaxis(const std::vector<labcolour> &points, const std::vector<double> &weights)
{
    double total = 0, mean[3] = {0, 0, 0}, cov[3][3] = {{0}};
    for (size_t i = 0; i < points.size(); i++) {
        total += weights[i];
        mean[0] += weights[i] * points[i].l;
        mean[1] += weights[i] * points[i].a;
        mean[2] += weights[i] * points[i].b;
    }
    for (int r = 0; r < 3 && total > 0; r++)
        mean[r] /= total;
    for (size_t i = 0; i < points.size(); i++) {
        const double p[3] = {points[i].l - mean[0], points[i].a - mean[1], points[i].b - mean[2]};
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 3; c++)
                cov[r][c] += weights[i] * p[r] * p[c];
    }
    axis a = {{1, 1, 1}};
    for (int step = 0; step < 50; step++) {
        double next[3], length = 0;
        for (int r = 0; r < 3; r++) {
            next[r] = cov[r][0] * a.v[0] + cov[r][1] * a.v[1] + cov[r][2] * a.v[2];
            length += next[r] * next[r];
        }
        length = std::sqrt(length);
        if (!(length > 0))
            return {{1, 0, 0}};
        for (int r = 0; r < 3; r++)
            a.v[r] = next[r] / length;
    }
    return a;
}

double project(const axis &a, const labcolour &p)
{
    return a.v[0] * p.l + a.v[1] * p.a + a.v[2] * p.b;
}

// Centres in order along an axis, for the search below.
struct axisorder {
    axis along;
    std::vector<int> centre;
    std::vector<double> key;   // their places on the axis
};

void sortalong(const std::vector<labcolour> &centres, axisorder *order)
{
    std::vector<std::pair<double, int>> keyed;
    for (size_t c = 0; c < centres.size(); c++)
        keyed.push_back({project(order->along, centres[c]), int(c)});
    std::sort(keyed.begin(), keyed.end());
    order->centre.clear();
    order->key.clear();
    for (const auto &[key, c] : keyed) {
        order->centre.push_back(c);
        order->key.push_back(key);
    }
}

// The nearest centre to p (ties to the lower index) and the squared
// distances to it and to the second nearest. The search goes out from p's
// place on the axis to both sides and stops where the distance along the
// axis alone passes the second distance, so it measures only the centres
// near p's place.
int nearestcentre(const labcolour *centres, const axisorder &order, const labcolour &p, double *best, double *second)
{
    int count = int(order.key.size());
    double at = project(order.along, p);
    int high = int(std::lower_bound(order.key.begin(), order.key.end(), at) - order.key.begin()), low = high - 1;
    int bestcentre = -1;
    *best = *second = INFINITY;
    for (;;) {
        double below = low >= 0 ? at - order.key[low] : INFINITY;
        double above = high < count ? order.key[high] - at : INFINITY;
        double step = std::min(below, above);
        if (step == INFINITY || step * step > *second)
            return bestcentre;
        int c = below <= above ? order.centre[low--] : order.centre[high++];
        double d = distance2(p, centres[c]);
        if (d < *best || (d == *best && c < bestcentre)) {
            *second = *best;
            *best = d;
            bestcentre = c;
        } else if (d < *second) {
            *second = d;
        }
    }
}

// The k-means of one palette: the colours as Lab points with their weights,
// the centres, and per colour its centre and Hamerly's two bounds.
struct kmeans {
    int count, centrecount, parts;
    std::vector<labcolour> points;
    std::vector<double> weights;
    std::vector<labcolour> centres;
    std::vector<int> nearest;
    std::vector<double> upper;      // distance to its centre is at most this
    std::vector<double> lower;      // distance to any other centre is at least this
    std::vector<double> moved;      // per centre: how far the last round moved it
    std::vector<double> half;       // per centre: half the distance to the nearest other centre
    std::vector<double> sums;       // per part and centre: weight, weight * l, * a, * b
    std::vector<int> changes;       // per part: colours that changed centre
    axisorder order;                // the centres along the colours' principal axis
    double farthest, secondfarthest;   // the two longest moves
    int farthestcentre;
};

// The nearest and second nearest centre of point i.
void searchcentres(kmeans &k, int i)
{
    double best, second;
    int bestcentre = nearestcentre(k.centres.data(), k.order, k.points[i], &best, &second);
    if (bestcentre != k.nearest[i])
        k.changes[i / partcolours]++;
    k.nearest[i] = bestcentre;
    k.upper[i] = std::sqrt(best);
    k.lower[i] = std::sqrt(second);
}

// One part of a round: bring its colours' centres up to date and add up
// the means of the centres.
void assignpart(kmeans &k, int part, bool first)
{
    int from = part * partcolours, to = std::min(k.count, from + partcolours);
    double *sums = &k.sums[size_t(part) * k.centrecount * 4];
    std::fill(sums, sums + size_t(k.centrecount) * 4, 0.0);
    k.changes[part] = 0;
    for (int i = from; i < to; i++) {
        if (first) {
            k.nearest[i] = -1;
            searchcentres(k, i);
        } else {
            int c = k.nearest[i];
            k.upper[i] += k.moved[c];
            k.lower[i] -= c == k.farthestcentre ? k.secondfarthest : k.farthest;
            double bound = std::max(k.half[c], k.lower[i]);
            if (k.upper[i] > bound) {
                k.upper[i] = std::sqrt(distance2(k.points[i], k.centres[c]));
                if (k.upper[i] > bound)
                    searchcentres(k, i);
            }
        }
        double *s = sums + size_t(k.nearest[i]) * 4;
        double w = k.weights[i];
        s[0] += w;
        s[1] += w * k.points[i].l;
        s[2] += w * k.points[i].a;
        s[3] += w * k.points[i].b;
    }
}

// Every centre to the mean of its colours (the parts added in order); the
// moves and the half distances for the next round. Returns the colours that
// changed centre.
int movecentres(kmeans &k)
{
    k.farthest = k.secondfarthest = 0;
    k.farthestcentre = -1;
    for (int c = 0; c < k.centrecount; c++) {
        double s[4] = {0, 0, 0, 0};
        for (int p = 0; p < k.parts; p++)
            for (int j = 0; j < 4; j++)
                s[j] += k.sums[(size_t(p) * k.centrecount + c) * 4 + j];
        k.moved[c] = 0;
        if (s[0] > 0) {
            labcolour mean = {s[1] / s[0], s[2] / s[0], s[3] / s[0]};
            k.moved[c] = std::sqrt(distance2(mean, k.centres[c]));
            k.centres[c] = mean;
        }
        if (k.moved[c] > k.farthest) {
            k.secondfarthest = k.farthest;
            k.farthest = k.moved[c];
            k.farthestcentre = c;
        } else if (k.moved[c] > k.secondfarthest) {
            k.secondfarthest = k.moved[c];
        }
    }
    for (int c = 0; c < k.centrecount; c++) {
        double nearest = INFINITY;
        for (int o = 0; o < k.centrecount; o++)
            if (o != c)
                nearest = std::min(nearest, distance2(k.centres[c], k.centres[o]));
        k.half[c] = std::sqrt(nearest) / 2;
    }
    sortalong(k.centres, &k.order);
    return std::accumulate(k.changes.begin(), k.changes.end(), 0);
}

// k-means++: the heaviest colour first, then each further centre drawn with
// a chance in proportion to weight times squared distance to the nearest
// centre so far. A colour whose distance along the axis to the new centre
// already passes that distance is not measured.
void seedcentres(kmeans &k)
{
    uint32_t state = seedstate;
    auto draw = [&state] {   // uniform in [0, 1), 48 bits from two draws
        state = state * 1664525u + 1013904223u;
        double high = state >> 8;
        state = state * 1664525u + 1013904223u;
        return (high * 16777216.0 + (state >> 8)) / 281474976710656.0;
    };
    std::vector<double> nearest2(size_t(k.count), INFINITY), place(size_t(k.count));
    for (int i = 0; i < k.count; i++)
        place[i] = project(k.order.along, k.points[i]);
    int chosen = int(std::max_element(k.weights.begin(), k.weights.end()) - k.weights.begin());
    k.centres.clear();
    for (;;) {
        const labcolour c = k.points[chosen];
        k.centres.push_back(c);
        if (int(k.centres.size()) == k.centrecount)
            break;
        double cplace = place[chosen], total = 0;
        for (int i = 0; i < k.count; i++) {
            double along = place[i] - cplace;
            if (along * along < nearest2[i])
                nearest2[i] = std::min(nearest2[i], distance2(k.points[i], c));
            total += k.weights[i] * nearest2[i];
        }
        double target = draw() * total, running = 0;
        chosen = k.count - 1;
        for (int i = 0; i < k.count; i++) {
            running += k.weights[i] * nearest2[i];
            if (running > target) {
                chosen = i;
                break;
            }
        }
    }
    sortalong(k.centres, &k.order);
}

// The centres of the weighted k-means of the points.
std::vector<labcolour> clustercolours(const std::vector<labcolour> &points, const std::vector<double> &weights,
                                      const axis &along, int threads)
{
    kmeans k;
    k.order.along = along;
    k.count = int(points.size());
    k.centrecount = palettemax;
    k.parts = (k.count + partcolours - 1) / partcolours;
    k.points = points;
    k.weights = weights;
    k.nearest.assign(size_t(k.count), 0);
    k.upper.assign(size_t(k.count), 0);
    k.lower.assign(size_t(k.count), 0);
    k.moved.assign(size_t(k.centrecount), 0);
    k.half.assign(size_t(k.centrecount), 0);
    k.sums.assign(size_t(k.parts) * k.centrecount * 4, 0);
    k.changes.assign(size_t(k.parts), 0);
    seedcentres(k);
    for (int round = 0; round < maxrounds; round++) {
        runparts(threads, k.parts, [&](int part) { assignpart(k, part, round == 0); });
        if (movecentres(k) == 0 && round > 0)
            break;
    }
    return k.centres;
}

// The 8-bit colour nearest to c in Lab: for the colours of a centre, the one
// of least squared error. It lies among the neighbours of c rounded in sRGB.
uint32_t nearestsrgb(const labcolour &c)
{
    uint32_t rounded = labtosrgb(c), best = rounded;
    double bestdistance = distance2(srgbtolab(rounded), c);
    for (int step = 0; step < 27; step++) {
        int r = int(rounded >> 16) + step % 3 - 1, g = int(rounded >> 8 & 255) + step / 3 % 3 - 1,
            b = int(rounded & 255) + step / 9 - 1;
        if (r < 0 || g < 0 || b < 0 || r > 255 || g > 255 || b > 255)
            continue;
        uint32_t rgb = uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
        double d = distance2(srgbtolab(rgb), c);
        if (d < bestdistance) {
            bestdistance = d;
            best = rgb;
        }
    }
    return best;
}

// The entries as 8-bit colours, each once, darkest first.
void setentries(palette *pal, const std::vector<uint32_t> &colours)
{
    std::vector<std::pair<double, uint32_t>> keyed;
    for (uint32_t c : colours)
        keyed.push_back({srgbtolab(c).l, c});
    std::sort(keyed.begin(), keyed.end());
    keyed.erase(std::unique(keyed.begin(), keyed.end()), keyed.end());
    pal->size = int(keyed.size());
    for (int i = 0; i < pal->size; i++)
        pal->rgb[i] = keyed[i].second;
}

} // namespace

labcolour srgbtolab(uint32_t rgb)
{
    const lineartable &t = linear();
    double r = t.value[rgb >> 16 & 255], g = t.value[rgb >> 8 & 255], b = t.value[rgb & 255];
    double x = 0.4124564 * r + 0.3575761 * g + 0.1804375 * b;
    double y = 0.2126729 * r + 0.7151522 * g + 0.0721750 * b;
    double z = 0.0193339 * r + 0.1191920 * g + 0.9503041 * b;
    double fx = labf(x / whitex), fy = labf(y / whitey), fz = labf(z / whitez);
    return {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
}

uint32_t labtosrgb(const labcolour &c)
{
    double fy = (c.l + 16) / 116, fx = fy + c.a / 500, fz = fy - c.b / 200;
    double x = whitex * labfinverse(fx), y = whitey * labfinverse(fy), z = whitez * labfinverse(fz);
    double r = 3.2404542 * x - 1.5371385 * y - 0.4985314 * z;
    double g = -0.9692660 * x + 1.8760108 * y + 0.0415560 * z;
    double b = 0.0556434 * x - 0.2040259 * y + 1.0572252 * z;
    return uint32_t(encodechannel(r)) << 16 | uint32_t(encodechannel(g)) << 8 | uint32_t(encodechannel(b));
}

double deltae(const labcolour &p, const labcolour &q)
{
    return std::sqrt(distance2(p, q));
}

void startcolourset(colourset *set)
{
    set->present.assign(size_t(1) << 18, 0);
    set->before.clear();
    set->rgb.clear();
    set->weight.clear();
    set->voxels = 0;
}

void rankcolours(colourset *set)
{
    set->before.assign(set->present.size(), 0);
    set->rgb.clear();
    uint32_t count = 0;
    for (size_t w = 0; w < set->present.size(); w++) {
        set->before[w] = count;
        for (uint64_t bits = set->present[w]; bits; bits &= bits - 1)
            set->rgb.push_back(uint32_t(w * 64 + size_t(__builtin_ctzll(bits))));
        count += bitcount(set->present[w]);
    }
    set->weight.assign(set->rgb.size(), 0);
    set->voxels = 0;
}

void makepalette(const colourset &set, int threads, palette *pal)
{
    int count = int(set.rgb.size());
    std::vector<labcolour> points(size_t(count), labcolour{0, 0, 0});
    std::vector<double> weights(static_cast<size_t>(count));
    for (int i = 0; i < count; i++) {
        points[i] = srgbtolab(set.rgb[i]);
        weights[i] = double(set.weight[i]);
    }
    axis along = principalaxis(points, weights);
    if (count <= palettemax) {
        setentries(pal, set.rgb);
    } else {
        std::vector<uint32_t> colours;
        for (const labcolour &c : clustercolours(points, weights, along, threads))
            colours.push_back(nearestsrgb(c));
        setentries(pal, colours);
    }
    // Every colour to its nearest entry, as the entries are in the file.
    std::vector<labcolour> entries;
    for (int e = 0; e < pal->size; e++)
        entries.push_back(srgbtolab(pal->rgb[e]));
    axisorder order;
    order.along = along;
    sortalong(entries, &order);
    pal->entry.assign(size_t(count), 0);
    pal->error.assign(size_t(count), 0);
    int parts = (count + partcolours - 1) / partcolours;
    runparts(threads, parts, [&](int part) {
        for (int i = part * partcolours; i < std::min(count, (part + 1) * partcolours); i++) {
            double best, second;
            pal->entry[i] = uint8_t(nearestcentre(entries.data(), order, points[i], &best, &second));
            pal->error[i] = std::sqrt(best);
        }
    });
}

void measurepalette(const colourset &set, const palette &pal, palettefigures *figures)
{
    *figures = {0, 0, 0, 0};
    double total = 0, sum = 0, within = 0;
    std::vector<uint32_t> order;
    for (size_t i = 0; i < set.rgb.size(); i++) {
        double w = double(set.weight[i]), e = pal.error[i];
        if (w == 0)
            continue;
        total += w;
        sum += w * e;
        within += e <= 5 ? w : 0;
        figures->largest = std::max(figures->largest, e);
        order.push_back(uint32_t(i));
    }
    if (total == 0)
        return;
    figures->mean = sum / total;
    figures->within5 = within / total;
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return pal.error[a] < pal.error[b]; });
    double running = 0;
    for (uint32_t i : order) {
        running += double(set.weight[i]);
        figures->p99 = pal.error[i];
        if (running >= 0.99 * total)
            break;
    }
}
