#include "idle.h"
#include "dialog.h"
#include "document.h"
#include "input.h"
#include "screenstate.h"

#include <algorithm>
#include <cmath>

constexpr double edgemargin = 0.001;   // wake just past a change, never just before it

// Whether the cursor shows at time t, its deadline moved on as the frame
// would (in whole seconds).
static bool cursoron(double deadline, double t, double &moved)
{
    if (t - deadline > 1000.0)
        deadline += std::floor(t - deadline) - 1.0;
    while (deadline < t)
        deadline += 1.0;
    moved = deadline;
    return deadline - t > 0.5;
}

// The next time the cursor goes on or off: now, when it did since the last
// frame; half a second before the deadline it goes off, just past the
// deadline on again.
static double blinkedge(double now)
{
    double last = 0.0, moved = 0.0;
    bool drawn = cursoron(screen.editor.blinkdeadline, screen.currenttime, last);
    bool on = cursoron(screen.editor.blinkdeadline, now, moved);
    if (on != drawn)
        return now;
    return on ? moved - 0.5 : moved;
}

static void earliest(double &next, double at)
{
    if (at > 0.0)
        next = std::min(next, at);
}

double framewait(double now)
{
    pollscript(now);
    bool helpgone = screen.helpdrawn && screen.helptimer <= 0.0f;
    if (screen.frames == 0 || screen.again || inputpending() || screen.rendernow || screen.closeasked ||
        document.changed || helpgone)
        return 0.0;
    double next = blinkedge(now);
    if (screen.helpdrawn && screen.helptimer > 0.0f)
        earliest(next, screen.currenttime + double(screen.helptimer));
    earliest(next, screen.retryat);
    earliest(next, screen.compileat);
    if (screen.status[0])
        earliest(next, screen.statusuntil);
    if (modal.kind && modal.kind->due)
        earliest(next, modal.kind->due());
    return next <= now ? 0.0 : next - now + edgemargin;
}
