// Undo and redo: one history of the texture's changes (text edits, slider
// drags, turns of the light, loads), each a step that can be taken back
// and done again.
//
// The history keeps the state it recorded last (the body and the values).
// A commit compares the texture with it and records what differs as one
// step: the text as the bytes replaced at one place (the common start and
// end left out), the values before and after. Typing at the place where
// the last step's typing ended joins that step; a line break starts a new
// one, which the line breaks and typing after it join, so that an undo
// takes back a line with the break before it, never a lone break at the
// end that leaves the text looking as it was. Backspaces and Deletes run
// one after another join too. A new step drops the steps that were undone.
// At most maxundosteps steps and maxundobytes bytes are kept, the oldest
// going first; a step holds at most two bodies, so the last 1,000 steps
// always fit.
#pragma once
#include <cstddef>
#include <deque>
#include <string>

constexpr int maxundosteps = 10000;
constexpr size_t maxundobytes = size_t(32) << 20;

enum stepkind { stepedit, steptyping, stepbackspace, stepdelete, stepvalues, steploaded };

// The texture's values a step takes back (the solid weight follows the shape).
struct texvalues {
    float weights[4][4];
    float shape, lightangle, scale, solidweight;
};

struct undostep {
    int kind;
    bool text, values;                  // what it changes
    int at;                             // where in the body
    std::string removed, inserted;      // the bytes there before and after
    texvalues before, after;
};

struct historystate {
    std::deque<undostep> steps;
    int done;                           // steps[0, done) are in effect
    size_t bytes;                       // what the steps hold
    std::string body;                   // the body as recorded last
    texvalues values;                   // the values as recorded last
    bool sealed;                        // an undo or redo came last: nothing joins the last step
};

extern historystate history;

// The texture now is where the history starts: no step to undo or redo.
void resethistory();

enum commitwhat { committext = 1, commitvalues = 2 };
// Records what changed in the body (committext) and the values
// (commitvalues) since the last record as one step of `kind`.
void commit(int kind, int what);

// What an undo or redo changed (bits), 0 when there was no step to take.
enum historychange { changedtext = 1, changedvalues = 2, changedshape = 4, changedlight = 8 };
int undo();
int redo();
