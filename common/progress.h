// Console progress for work that takes more than a moment: nothing is shown
// until half a second has passed, then "LABEL:  45 %" as the percentage
// grows, and at the end "LABEL: 100 % (1.2 s)"; nothing at all when
// standard error is not a terminal (a log or a pipe gets no
// carriage-return lines). Parts may be counted from any thread.
#pragma once

#include <mutex>
#include <string>

struct progress {
    std::string label;
    double started = 0;
    long done = 0, total = 0;   // parts, for stepprogress
    int shown = -1;             // last percentage printed, -1 for none
    bool drawn = false;         // standard error is a terminal
    std::mutex lock;
};

void startprogress(progress *p, const std::string &label, long total = 0);
void showprogress(progress *p, long done, long total);
void stepprogress(progress *p);   // one more of the total is done
void endprogress(progress *p);
