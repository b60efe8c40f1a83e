// A seeded, reproducible generator of random expression texts.
//
// Texts use the header (A,B,C), locals S and T, every operator, every
// built-in function and every statement form. In exact mode only operations
// whose results are exactly rounded appear (+ - * / comparisons, logical
// ops, MIN, MAX, FLOOR, CEIL, ABS, SGN, UNIT, %, FMOD), so the compiled code
// and the reference evaluator must agree bit for bit. In smooth mode the
// transcendental functions, POW, FACT, RND and NRND join, but only under
// continuous operations: conditions, comparisons and steps always take exact
// operands, and only the local T holds inexact values, so a last-bit
// difference can never flip a branch.
#pragma once
#include <cstdint>
#include <string>

struct exprgen {
    uint64_t state;   // splitmix64: the same seed gives the same texts everywhere
    bool smooth;      // allow the inexact operations
    int labels;       // labels used so far in this text
    int locals;       // how many of the locals S and T exist yet
};

void seedexprgen(exprgen &g, uint64_t seed, bool smooth);
// A whole text: header, statements, final expression.
std::string generatetext(exprgen &g);
