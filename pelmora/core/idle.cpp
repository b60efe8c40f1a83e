#include "idle.h"
#include "dialog.h"
#include "document.h"
#include "input.h"
#include "screenstate.h"

#include <algorithm>

constexpr double edgemargin = 0.001;   // wake just past a change, never just before it

// The next blink change after `now`: the cursor goes off when the deadline
// is half a second away and on when the deadline (moved on a second) is
// reached.
static double blinkedge(double now)
{
    double deadline = screen.editor.blinkdeadline;
    if (deadline - 0.5 > now)
        return deadline - 0.5;
    if (deadline > now)
        return deadline;
    return now;                         // the frame that moves it on is due
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
