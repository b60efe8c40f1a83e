// The optimiser: simplification passes over the quads, repeated in rounds
// until a whole round changes nothing.
//
// The result of the function is the destination of the last quad; no pass
// removes or retargets that meaning.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>
#include "mathrules.h"
#include "state.h"

// Longer lists are compiled as parsed: several passes scan the list once per
// quad (16384 quads, the most an 8 KB texture text gives, take under a second).
constexpr uint32_t maxoptimisedquads = 16384;
constexpr int maxrounds = 64;

// ---------------------------------------------------------------- helpers

static quad &q(uint32_t i)
{
    return cs.quads[i];
}

static bool islabelquad(uint32_t i)
{
    return q(i).op == opnul;
}

static bool isjumpquad(uint32_t i)
{
    uint32_t op = q(i).op;
    return op == opgoto || op == opif0 || op == opif1;
}

static bool isbarrier(uint32_t i)
{
    return islabelquad(i) || isjumpquad(i);
}

// A computing quad that writes operand w.
static bool writes(uint32_t i, uint32_t w)
{
    return !isbarrier(i) && q(i).dst == w;
}

static bool readsassource(uint32_t i, uint32_t w)
{
    return q(i).src1 == w || q(i).src2 == w;
}

static bool names(uint32_t i, uint32_t w)
{
    return q(i).dst == w || q(i).src1 == w || q(i).src2 == w;
}

static void deletequad(uint32_t i)
{
    memmove(&cs.quads[i], &cs.quads[i + 1], (cs.quadcount - i - 1) * sizeof(quad));
    cs.quadcount--;
}

static void setquad(uint32_t i, uint32_t op, uint32_t src1, uint32_t src2)
{
    q(i).op = op;
    q(i).src1 = src1;
    q(i).src2 = src2;
}

static double constvalue(uint32_t w)
{
    return cs.pool[operandindex(w)];
}

static bool constbits(uint32_t w, double v)
{
    if (!isconst(w))
        return false;
    double c = constvalue(w);
    return memcmp(&c, &v, sizeof c) == 0;
}

static bool constzero(uint32_t w)
{
    return isconst(w) && constvalue(w) == 0;
}

static bool constnonzero(uint32_t w)
{
    return isconst(w) && constvalue(w) != 0;
}

// Rewrite every source operand naming `from` to `to`.
static void renamesources(uint32_t from, uint32_t to)
{
    for (uint32_t i = 0; i < cs.quadcount; i++) {
        if (q(i).src1 == from)
            q(i).src1 = to;
        if (q(i).src2 == from)
            q(i).src2 = to;
    }
}

// Delete pool entry k: the last entry moves into its slot.
static void deleteconst(uint32_t k)
{
    uint32_t last = cs.constcount - 1;
    cs.pool[k] = cs.pool[last];
    cs.constcount--;
    if (k != last)
        renamesources(constoperand(last), constoperand(k));
}

static bool constused(uint32_t k)
{
    uint32_t w = constoperand(k);
    for (uint32_t i = 0; i < cs.quadcount; i++)
        if (readsassource(i, w))
            return true;
    return false;
}

// Quad i lies inside a loop: a jump after it goes back to a label before it.
static bool inloop(uint32_t i)
{
    std::vector<bool> before(cs.labelcounter + 1, false);
    for (uint32_t l = 1; l < i; l++)
        if (islabelquad(l) && operandvalue(q(l).dst) < before.size())
            before[operandvalue(q(l).dst)] = true;
    for (uint32_t m = i + 1; m < cs.quadcount; m++)
        if (isjumpquad(m) && operandvalue(q(m).src2) < before.size() && before[operandvalue(q(m).src2)])
            return true;
    return false;
}

// Operand w is named (or, with sourcesonly, read) by a quad in [from, to).
static bool namedin(uint32_t w, uint32_t from, uint32_t to, bool sourcesonly)
{
    for (uint32_t j = from; j < to; j++)
        if (sourcesonly ? readsassource(j, w) : names(j, w))
            return true;
    return false;
}

// ---------------------------------------------------------------- passes

// 1. Duplicate constants: later equal entries are merged into the earliest.
static bool mergeconstants()
{
    bool changed = false;
    for (uint32_t k = cs.constcount; k-- > 0;)
        for (uint32_t j = 0; j < k; j++)
            if (cs.pool[j] == cs.pool[k]) {
                renamesources(constoperand(k), constoperand(j));
                deleteconst(k);
                changed = true;
                break;
            }
    return changed;
}

// 2. Unused constants: entries no quad reads are deleted.
static bool dropconstants()
{
    bool changed = false;
    for (uint32_t k = cs.constcount; k-- > 0;)
        if (!constused(k)) {
            deleteconst(k);
            changed = true;
        }
    return changed;
}

// 3. Negated constants: NEGMOV of a constant becomes MOV of its negation.
static bool negateconstants()
{
    bool changed = false;
    for (uint32_t i = 1; i < cs.quadcount && !cs.failed; i++)
        if (q(i).op == opnegmov && isconst(q(i).src1)) {
            setquad(i, opmov, addconst(-constvalue(q(i).src1)), dummyoperand);
            changed = true;
        }
    return changed;
}

// 4. Redundant NEQU0: the value of a comparison or logical op is already 0 or 1.
// The writer is searched back to the nearest label only, since at a label
// other writes may join.
static bool dropnequ0()
{
    bool changed = false;
    for (uint32_t i = 1; i < cs.quadcount; i++) {
        if (q(i).op != opnequ0 || !istemp(q(i).src1))
            continue;
        for (uint32_t j = i; j-- > 1 && !islabelquad(j);)
            if (writes(j, q(i).src1)) {
                if (optable[q(j).op].traits & optruth) {
                    q(i).op = opmov;
                    changed = true;
                }
                break;
            }
    }
    return changed;
}

// 5. Forward copy propagation: a MOV into a temporary is replaced by its
// source in the following quads, where that is safe. Inside a loop the MOV
// also stays when an earlier quad names its destination (read on the next turn).
static bool forwardcopies()
{
    bool changed = false;
    for (uint32_t i = cs.quadcount - 1; i-- > 1;) {
        if (q(i).op != opmov || !istemp(q(i).dst))
            continue;
        uint32_t t = q(i).dst, s = q(i).src1;
        uint32_t barrier = cs.quadcount, rewrite = cs.quadcount;
        for (uint32_t j = i + 1; j < cs.quadcount; j++)
            if (isbarrier(j)) {
                barrier = j;
                break;
            }
        bool keep = namedin(t, barrier + 1, cs.quadcount, false);
        for (uint32_t j = i + 1; j < cs.quadcount && !keep; j++)
            if (writes(j, s)) {
                for (uint32_t k = j + 1; k < cs.quadcount && !keep; k++)
                    keep = names(k, t);
                break;
            }
        if (keep || (namedin(t, 1, i, false) && inloop(i)))
            continue;
        for (uint32_t j = i + 1; j < cs.quadcount; j++)
            if (writes(j, t)) {
                rewrite = j + 1;
                break;
            }
        for (uint32_t j = i + 1; j < rewrite; j++) {
            if (q(j).src1 == t)
                q(j).src1 = s;
            if (q(j).src2 == t)
                q(j).src2 = s;
        }
        deletequad(i);
        changed = true;
    }
    return changed;
}

// 6. Backward copy folding: the producer of a MOV's source writes the MOV's
// destination directly. The search stops at labels and jumps, and inside a
// loop no quad before the producer may read the source.
static bool backwardcopies()
{
    bool changed = false;
    for (uint32_t i = cs.quadcount - 1; i-- > 1;) {
        if (q(i).op != opmov)
            continue;
        uint32_t d = q(i).dst, s = q(i).src1;
        if (!istemp(s) && operandkind(s) != kindstack)
            continue;
        bool readlater = false;
        for (uint32_t j = i + 1; j < cs.quadcount && !readlater; j++)
            readlater = readsassource(j, s);
        if (readlater)
            continue;
        for (uint32_t j = i; j-- > 1 && !isbarrier(j);) {
            if (writes(j, s)) {
                bool dused = readsassource(j, d) || namedin(d, j + 1, i, false);
                if (!dused && !(namedin(s, 1, j, true) && inloop(i))) {
                    q(j).dst = d;
                    deletequad(i);
                    changed = true;
                }
                break;
            }
            if (readsassource(j, s))
                break;
        }
    }
    return changed;
}

// 7. Algebraic identities with one constant operand.
static bool identity(uint32_t i)
{
    quad &x = q(i);
    uint32_t a = x.src1, b = x.src2;
    switch (x.op) {
    case oppow:
        if (isconst(a)) {
            if (constbits(a, 1.0))
                return setquad(i, opmov, a, dummyoperand), true;
            return false;
        }
        if (constbits(b, 2.0))
            return setquad(i, opmul, a, a), true;
        if (constbits(b, 1.0))
            return setquad(i, opmov, a, dummyoperand), true;
        if (constzero(b))
            return setquad(i, opmov, addconst(1.0), dummyoperand), true;
        if (constbits(b, 0.5))
            return setquad(i, opsqrt, a, dummyoperand), true;
        if (constbits(b, -1.0))
            return setquad(i, opdiv, addconst(1.0), a), true;
        return false;
    case opmul: {
        uint32_t c = isconst(a) ? a : b, v = isconst(a) ? b : a;
        if (!isconst(c))
            return false;
        if (constbits(c, -1.0))
            return setquad(i, opnegmov, v, dummyoperand), true;
        if (constzero(c))
            return setquad(i, opmov, addconst(0.0), dummyoperand), true;
        if (constbits(c, 1.0))
            return setquad(i, opmov, v, dummyoperand), true;
        if (constbits(c, 2.0))
            return setquad(i, opadd, v, v), true;
        return false;
    }
    case opdiv:
        if (!isconst(b))
            return false;
        if (constbits(b, -1.0))
            return setquad(i, opnegmov, a, dummyoperand), true;
        if (constbits(b, 1.0))
            return setquad(i, opmov, a, dummyoperand), true;
        if (constbits(b, 0.5))
            return setquad(i, opadd, a, a), true;
        return setquad(i, opmul, a, addconst(1.0 / constvalue(b))), true;
    case opadd:
        if (constzero(b))
            return setquad(i, opmov, a, dummyoperand), true;
        if (constzero(a))
            return setquad(i, opmov, b, dummyoperand), true;
        return false;
    case opsub:
        if (constzero(b))
            return setquad(i, opmov, a, dummyoperand), true;
        if (constzero(a))
            return setquad(i, opnegmov, b, dummyoperand), true;
        if (a == b)
            return setquad(i, opmov, addconst(0.0), dummyoperand), true;
        return false;
    case opne:
        if (constzero(b))
            return setquad(i, opnequ0, a, dummyoperand), true;
        if (constzero(a))
            return setquad(i, opnequ0, b, dummyoperand), true;
        return false;
    case opand:
        if (constzero(a) || constzero(b))
            return setquad(i, opmov, addconst(0.0), dummyoperand), true;
        if (constnonzero(b))
            return setquad(i, opnequ0, a, dummyoperand), true;
        if (constnonzero(a))
            return setquad(i, opnequ0, b, dummyoperand), true;
        return false;
    case opor:
        if (constnonzero(a) || constnonzero(b))
            return setquad(i, opmov, addconst(1.0), dummyoperand), true;
        if (constzero(b))
            return setquad(i, opnequ0, a, dummyoperand), true;
        if (constzero(a))
            return setquad(i, opnequ0, b, dummyoperand), true;
        return false;
    case opatan2:
        if (constbits(b, 1.0))
            return setquad(i, opatan, a, dummyoperand), true;
        return false;
    default:
        return false;
    }
}

static bool identities()
{
    bool changed = false;
    for (uint32_t i = 1; i < cs.quadcount && !cs.failed; i++)
        changed |= identity(i);
    return changed;
}

// The compile-time value of an op over constant sources.
static double foldvalue(uint32_t op, double a, double b)
{
    switch (op) {
    case opnequ0: return a != 0;
    case opabs: return std::fabs(a);
    case opsgn: return (double)sgnrule(a);
    case opunit: return (double)unitrule(a);
    case opfloor: return std::floor(a);
    case opceil: return std::ceil(a);
    case opsin: return std::sin(a);
    case opcos: return std::cos(a);
    case optan: return std::tan(a);
    case opasin: return std::asin(a);
    case opacos: return std::acos(a);
    case opatan: return std::atan2(a, 1.0);
    case opsqrt: return std::sqrt(a);
    case opexp: return std::exp(a);
    case opfact: return (double)factrule(a);
    case oplog: return std::log(a);
    case oppow: return std::pow(a, b);
    case opmul: return a * b;
    case opdiv: return a / b;
    case opmod: return (double)foldmodrule(a, b);
    case opadd: return a + b;
    case opsub: return a - b;
    case oplt: return a < b;
    case ople: return a <= b;
    case opgt: return a > b;
    case opge: return a >= b;
    case opeq: return a == b;
    case opne: return a != b;
    case opand: return a != 0 && b != 0;
    case opor: return a != 0 || b != 0;
    case opmin: return (double)minrule(a, b);
    case opmax: return (double)maxrule(a, b);
    case opfmod: return std::fmod(a, b);
    case opatan2: return std::atan2(a, b);
    case oplogb: return std::log(a) / std::log(b);
    default: return 0;
    }
}

// 8. Constant folding and constant jumps.
static bool foldconstants()
{
    bool changed = false;
    for (uint32_t i = 1; i < cs.quadcount && !cs.failed; i++) {
        quad &x = q(i);
        const opinfo &info = optable[x.op];
        bool folds = info.traits & opfolds;
        bool single = folds && info.sources == 1;
        if (single)
            x.src2 = dummyoperand;
        if (folds) {
            if (!isconst(x.src1) || (!single && !isconst(x.src2)))
                continue;
            double b = single ? 0 : constvalue(x.src2);
            double v = foldvalue(x.op, constvalue(x.src1), b);
            setquad(i, opmov, addconst(v), dummyoperand);
            changed = true;
        } else if ((x.op == opif0 || x.op == opif1) && isconst(x.src1)) {
            bool zero = constvalue(x.src1) == 0;
            if ((x.op == opif0) != zero) {
                deletequad(i--);
            } else {
                x.op = opgoto;
                x.src1 = dummyoperand;
            }
            changed = true;
        }
    }
    return changed;
}

// 9. Final copy: the producer of the last MOV's source writes the result directly.
static bool finalcopy()
{
    uint32_t last = cs.quadcount - 1;
    if (last < 1 || q(last).op != opmov)
        return false;
    uint32_t d = q(last).dst, s = q(last).src1;
    for (uint32_t j = last; j-- > 1 && !isbarrier(j);)
        if (writes(j, s)) {
            q(j).dst = d;
            cs.quadcount = j + 1;
            return true;
        }
    return false;
}

static bool readsoperand(uint32_t i, uint32_t w)
{
    int sources = optable[q(i).op].sources;
    return (sources >= 1 && q(i).src1 == w) || (sources >= 2 && q(i).src2 == w);
}

// 10. Dead quads: values overwritten or never read before the end.
static bool deadquads()
{
    bool changed = false;
    for (uint32_t i = cs.quadcount - 1; i-- > 1;) {
        if (isbarrier(i))
            continue;
        uint32_t d = q(i).dst;
        bool live = false;
        for (uint32_t j = i + 1; j < cs.quadcount; j++) {
            if (isbarrier(j) || readsoperand(j, d)) {
                live = true;
                break;
            }
            if (writes(j, d))
                break;
        }
        if (!live) {
            deletequad(i);
            changed = true;
        }
    }
    return changed;
}

static bool labelused(uint32_t label)
{
    for (uint32_t i = 1; i < cs.quadcount; i++)
        if (isjumpquad(i) && q(i).src2 == label)
            return true;
    return false;
}

static void renameoperands(uint32_t from, uint32_t to)
{
    for (uint32_t i = 0; i < cs.quadcount; i++) {
        if (q(i).dst == from)
            q(i).dst = to;
        if (q(i).src1 == from)
            q(i).src1 = to;
        if (q(i).src2 == from)
            q(i).src2 = to;
    }
}

// 11. Unused labels: deleted, and the highest label number takes the free one.
static bool unusedlabels()
{
    bool changed = false;
    for (uint32_t i = 1; i < cs.quadcount; i++) {
        uint32_t label = q(i).dst;
        if (!islabelquad(i) || labelused(label))
            continue;
        for (uint32_t j = cs.quadcount; j-- > 1;)   // a label defined twice goes at once
            if (islabelquad(j) && q(j).dst == label)
                deletequad(j);
        cs.labelcounter--;
        renameoperands(labeloperand(cs.labelcounter), label);
        i = 0;
        changed = true;
    }
    return changed;
}

// 12. Jump to the next quad: a GOTO followed by its own label.
static bool jumpstonext()
{
    bool changed = false;
    for (uint32_t i = 1; i + 1 < cs.quadcount; i++)
        if (q(i).op == opgoto && islabelquad(i + 1) && q(i + 1).dst == q(i).src2) {
            deletequad(i--);
            changed = true;
        }
    return changed;
}

// 13. Unreachable quad: a quad other than a label right after a GOTO.
static bool unreachable()
{
    bool changed = false;
    for (uint32_t i = 1; i + 2 < cs.quadcount; i++)
        if (q(i).op == opgoto && !islabelquad(i + 1)) {
            deletequad(i + 1);
            changed = true;
        }
    return changed;
}

// 14. Inverted branch: IF0 c, L1; GOTO L2; L1: becomes IF1 c, L2; L1:.
static bool invertbranches()
{
    bool changed = false;
    for (uint32_t i = 1; i + 2 < cs.quadcount; i++)
        if (q(i).op == opif0 && q(i + 1).op == opgoto && islabelquad(i + 2) && q(i + 2).dst == q(i).src2) {
            q(i).op = opif1;
            q(i).src2 = q(i + 1).src2;
            deletequad(i + 1);
            changed = true;
        }
    return changed;
}

// 15. Temporary renumbering: the latest final write gets temporary 0, and so on.
static bool renumber()
{
    uint32_t count = cs.slotcount;
    std::vector<uint32_t> current(count), original(count);
    std::vector<bool> written(count, false);
    for (uint32_t t = 0; t < count; t++)
        current[t] = original[t] = t;
    bool changed = false;
    uint32_t next = 0;
    for (uint32_t i = cs.quadcount; i-- > 1;) {
        uint32_t d = q(i).dst;
        if (isbarrier(i) || !istemp(d) || operandindex(d) >= count)
            continue;
        uint32_t old = operandindex(d);
        if (written[old])
            continue;
        written[old] = true;
        uint32_t number = current[old];
        if (number < next)
            continue;
        if (number != next) {
            uint32_t other = original[next];
            current[old] = next;
            current[other] = number;
            original[next] = old;
            original[number] = other;
            changed = true;
        }
        next++;
    }
    if (!changed)
        return false;
    auto map = [&](uint32_t &w) {
        if (istemp(w) && operandindex(w) < count)
            w = tempoperand(current[operandindex(w)]);
    };
    for (uint32_t i = 0; i < cs.quadcount; i++) {
        map(q(i).dst);
        map(q(i).src1);
        map(q(i).src2);
    }
    for (uint32_t n = (uint32_t)cs.paramcount; n < cs.namecount; n++)
        if (cs.localbinding[n] < count)
            cs.localbinding[n] = current[cs.localbinding[n]];
    return true;
}

struct pass {
    const char *name;
    bool (*run)();
};

static const pass passes[] = {
    {"duplicate constants", mergeconstants},
    {"unused constants", dropconstants},
    {"negated constants", negateconstants},
    {"redundant NEQU0", dropnequ0},
    {"forward copies", forwardcopies},
    {"backward copies", backwardcopies},
    {"identities", identities},
    {"constant folding", foldconstants},
    {"final copy", finalcopy},
    {"dead quads", deadquads},
    {"unused labels", unusedlabels},
    {"jump to next", jumpstonext},
    {"unreachable", unreachable},
    {"inverted branch", invertbranches},
    {"renumbering", renumber},
};

void optimise()
{
    if (cs.quadcount > maxoptimisedquads || cs.nooptimise)
        return;
    for (int round = 0; round < maxrounds && !cs.failed; round++) {
        bool changed = false;
        for (const pass &p : passes) {
            if (cs.failed)
                return;
            bool c = p.run();
            changed |= c;
            if (cs.debugdump && c)
                dumpquads(p.name);
        }
        if (!changed)
            return;
    }
}
