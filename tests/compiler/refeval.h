// Reference evaluator: a portable interpreter of the last compilation's quads.
//
// It reads the quads as the code generator left them (register homes, spill
// slots, parameter displacements, constants, labels) and computes with long
// double, following the run-time rules of the compiled code: x87 comparison
// flags for NaNs, FTST tests for register values and bit tests for memory
// values, 53-bit rounding of + - * / and square roots, the remainder and FMOD
// by exact partial remainders, FLOOR through a 64-bit integer. It is written
// apart from the emitter, so the two can be compared.
#pragma once
#include "mathrules.h"

struct refresult {
    double value;
    bool finished;   // false: the step limit was reached (an endless loop)
    bool defined;    // false: POW or EXP needed 2^a beyond the extended range
    bool special;    // some step computed an infinity or a NaN
};

// Evaluate the last successful compilation with `count` arguments, drawing
// RND and NRND from `random`.
// With uniformtruth every truth test is the register form (zero, negative
// zero and NaN are false), so code whose values live elsewhere compares.
refresult refevaluate(const double *args, int count, randomrules &random, long steplimit = 1000000,
                      bool uniformtruth = false);
