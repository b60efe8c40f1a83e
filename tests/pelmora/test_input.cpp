// The input layer: the key event word and its queue, the modifier keys,
// keystatus and keyhit, the mouse buffer, its smoothing and the hand-over
// of the mouse in windowed mode.
#include "input.h"
#include "keys.h"
#include "platform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

double now = 0.0;

double testclock()
{
    return now;
}

int releases = 0;

void testrelease(int, int)
{
    releases++;
}

struct InputTest : ::testing::Test {
    void SetUp() override
    {
        now = 0.0;
        releases = 0;
        host = {};
        host.clock = testclock;
        host.releasemouse = testrelease;
        resetinput(now);
    }
};

std::vector<uint32_t> readable()
{
    std::vector<uint32_t> events;
    while (uint32_t e = getkeyevent())
        events.push_back(e);
    return events;
}

TEST_F(InputTest, ShiftAndAGiveOneEventShiftAloneNone)
{
    inputkeydown(0x2A, 0);
    inputkeydown(0x1E, 0);
    inputtext('A');
    inputkeyup(0x1E);
    inputkeyup(0x2A);
    inputkeydown(0x2A, 0);
    inputkeyup(0x2A);
    inputendpump();
    EXPECT_EQ(readable(), std::vector<uint32_t>{0x1E00u | 'A' | 0x10000u});
}

// Each modifier key makes no event of its own and puts its bit into the
// events of the keys pressed while it is held; releasing it takes it out.
TEST_F(InputTest, ModifierKeysSetTheirBitsOnly)
{
    const struct {
        int scan;
        uint32_t bit;
    } rows[] = {
        {0x2A, 0x10000}, {0x36, 0x20000}, {0x1D, 0x40000}, {0x9D, 0x80000}, {0x38, 0x100000}, {0xB8, 0x200000},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.scan);
        inputkeydown(r.scan, 0);
        inputkeydown(r.scan, 1);            // held: the repeats make no event either
        inputkeydown(0x10, 0);
        inputkeyup(r.scan);
        inputkeydown(0x11, 0);
        inputendpump();
        EXPECT_EQ(readable(), (std::vector<uint32_t>{0x1000u | r.bit, 0x1100u}));
    }
}

TEST_F(InputTest, EventsBecomeReadableAtTheEndOfThePump)
{
    inputkeydown(0x1E, 0);
    EXPECT_EQ(getkeyevent(), 0u);
    inputendpump();
    inputkeydown(0x30, 0);                  // the next pump has begun
    EXPECT_EQ(getkeyevent(), 0x1E00u);
    EXPECT_EQ(getkeyevent(), 0u);
    inputendpump();
    EXPECT_EQ(getkeyevent(), 0x3000u);
}

// The ring keeps one slot free: 255 events fit, later ones are dropped.
// A typed character goes into the newest event still unread, or nowhere.
TEST_F(InputTest, FullQueueDropsAndCharactersJoinTheNewestUnreadEvent)
{
    for (int i = 0; i < 300; i++)
        inputkeydown(0x10 + i % 8, 0);
    inputtext('q');
    inputendpump();
    std::vector<uint32_t> events = readable();
    ASSERT_EQ(events.size(), 255u);
    for (int i = 0; i < 254; i++)
        EXPECT_EQ(events[size_t(i)], uint32_t(0x10 + i % 8) << 8);
    EXPECT_EQ(events[254], (uint32_t(0x10 + 254 % 8) << 8) | 'q');

    inputtext('x');                         // nothing unread
    inputkeydown(0x2D, 0);
    inputendpump();
    EXPECT_EQ(readable(), std::vector<uint32_t>{0x2D00u});
}

// Keys held when a dialog closes: their repeats and the characters that
// come with them make no events; other keys, and a new press after the
// release, do.
TEST_F(InputTest, KeysHeldWhenADialogClosesRepeatNothingUntilReleased)
{
    inputkeydown(0x1E, 0);                  // "a"
    inputtext('a');
    inputkeydown(0x01, 0);                  // ESC
    readkeyboard();
    swallowheldkeys();
    inputkeydown(0x1E, 1);
    inputtext('a');
    inputkeydown(0x01, 1);
    inputkeydown(0x30, 0);                  // "b", pressed after the dialog
    inputtext('b');
    inputkeydown(0x30, 1);
    inputtext('b');
    inputkeyup(0x1E);
    inputkeydown(0x1E, 0);
    inputtext('a');
    inputendpump();
    EXPECT_EQ(readable(), (std::vector<uint32_t>{0x1E00u | 'a', 0x0100u, 0x3000u | 'b', 0x3000u | 'b', 0x1E00u | 'a'}));
}

TEST_F(InputTest, KeystatusAndKeyhitFollowTheDeviceBuffer)
{
    inputkeydown(0x2A, 0);
    inputkeydown(0x1E, 0);
    EXPECT_EQ(input.keystatus[0x2A], 0);    // not before readkeyboard
    readkeyboard();
    EXPECT_EQ(input.keystatus[0x2A], 1);
    EXPECT_EQ(input.keyhit[0x1E], 3);
    inputkeydown(0x1E, 1);                  // a repeat is no change of the device
    inputkeyup(0x1E);
    readkeyboard();
    EXPECT_EQ(input.keystatus[0x1E], 0);
    EXPECT_EQ(input.keyhit[0x1E], 2);
    EXPECT_EQ(input.keystatus[0x2A], 1);

    // 64 changes fit between two reads; the 65th is lost.
    for (int i = 0; i < 65; i++)
        i % 2 ? inputkeyup(0x20) : inputkeydown(0x20, 0);
    readkeyboard();
    EXPECT_EQ(input.keystatus[0x20], 0);
    inputkeydown(0x20, 0);
    readkeyboard();
    EXPECT_EQ(input.keystatus[0x20], 1);
}

TEST_F(InputTest, ActivationClearsModifiersAndHeldButtons)
{
    inputkeydown(0x1D, 0);
    inputbutton(0, 1, 10);
    EXPECT_EQ(readmouse().buttons, 1);
    inputactivate(0);
    inputkeydown(0x30, 0);
    inputmotion(5, 5, 20);
    inputbutton(1, 1, 20);
    mousereading m = readmouse();
    EXPECT_EQ(m.dx, 0.0f);
    EXPECT_EQ(m.buttons, 0);
    inputactivate(1);
    inputkeydown(0x2E, 0);
    inputendpump();
    EXPECT_EQ(readable(), (std::vector<uint32_t>{0x3000u, 0x2E00u}));   // no Ctrl bit after the switch
    EXPECT_EQ(readmouse().buttons, 0);
}

TEST_F(InputTest, ButtonsSetTheirBitsAndFlags)
{
    inputbutton(0, 1, 10);
    inputbutton(1, 1, 10);
    EXPECT_EQ(readmouse().buttons, 3);
    EXPECT_EQ(input.buttonflags[0], 3);
    inputbutton(0, 0, 30);
    EXPECT_EQ(readmouse().buttons, 2);
    EXPECT_EQ(input.buttonflags[0], 2);
    EXPECT_EQ(input.buttonflags[1], 3);
}

// A button changes once per read at most: what a read finds of a press
// released (or a release pressed again) before it is a press, and the rest
// waits for the next read, motion after it included. d down, u up, m motion.
TEST_F(InputTest, ShortClickIsAPressThenARelease)
{
    const struct {
        const char *elements, *reads;       // what came; the buttons each read gives
        int dx;
    } rows[] = {{"du", "100", 0}, {"dudu", "10100", 0}, {"mdmum", "100", 15}, {"ddu", "10", 0}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.elements);
        resetinput(now);
        input.smoothing = 0;
        uint32_t t = 100;
        for (const char *e = r.elements; *e; e++, t += 8)
            *e == 'm' ? inputmotion(5, 0, t) : inputbutton(0, *e == 'd', t);
        float dx = 0.0f;
        for (const char *b = r.reads; *b; b++) {
            mousereading m = readmouse();
            EXPECT_EQ(m.buttons, *b - '0');
            dx += m.dx;
        }
        EXPECT_EQ(input.mousecount, 0);
        EXPECT_EQ(dx, float(r.dx));
    }
}

// A mouse reporting every 8 ms at a steady speed, read at 60 frames per
// second: the average interval settles at 8.0 and the motion delivered plus
// the motion still held adds up to the motion reported.
TEST_F(InputTest, SmoothingSettlesToTheReportIntervalAndLosesNoMotion)
{
    const double frame = 1.0 / 60.0;
    uint32_t next = 8;
    double delivered = 0.0;
    long reported = 0;
    float largest = 0.0f;
    for (int f = 1; f <= 240; f++) {
        now = f * frame;
        for (; next <= uint32_t(now * 1000.0); next += 8) {
            inputmotion(3, 0, next);
            reported += 3;
        }
        mousereading m = readmouse();
        delivered += m.dx;
        if (f > 60)
            largest = std::max(largest, std::fabs(input.residualx));
    }
    EXPECT_EQ(input.interval, 8.0f);
    EXPECT_NEAR(delivered + input.residualx, double(reported), 1e-3);
    EXPECT_LT(largest, 3.0f);               // at most one report's motion waits
}

// Bursts: motion reported within a few milliseconds is spread over the
// frames the mouse took to report it, and arrives in full.
TEST_F(InputTest, SmoothingSpreadsABurstOverTheReportTime)
{
    for (uint32_t t = 8; t <= 40; t += 8)
        inputmotion(0, 1, t);               // settle the interval at 8 ms
    now = 0.05;
    readmouse();
    ASSERT_EQ(input.interval, 8.0f);
    for (int i = 0; i < 6; i++)
        inputmotion(0, 10, 48 + uint32_t(i) * 8);
    now += 0.004;                           // a 4 ms frame gets a share of 4/(8 + 4)
    mousereading m = readmouse();
    EXPECT_NEAR(m.dy, 60.0f * 4.0f / 12.0f, 1e-4);
    float total = m.dy;
    for (int f = 0; f < 10; f++) {
        now += 0.004;
        total += readmouse().dy;
    }
    EXPECT_NEAR(total, 60.0f, 1e-3);
}

// A report with a button has no usable time; uneven intervals do not
// count; an overflow forgets the last time but keeps the motion.
TEST_F(InputTest, ReportTimesThatDoNotCount)
{
    const struct {
        const char *what;
        std::vector<uint32_t> times;
        int buttonat;           // index of the report that also has a button, -1 none
        int counted;
    } rows[] = {
        {"even", {10, 18, 26, 34}, -1, 3},
        {"the largest interval exactly twice the smallest", {10, 18, 26, 42}, -1, 3},
        {"one interval more than twice another", {10, 18, 26, 43}, -1, 0},
        {"a button in the third report", {10, 18, 26, 34}, 2, 0},
        {"even again after the button", {10, 18, 26, 34, 42, 50, 58}, 2, 3},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        resetinput(now);
        for (size_t i = 0; i < r.times.size(); i++) {
            inputmotion(1, 0, r.times[i]);
            if (int(i) == r.buttonat)
                inputbutton(2, 1, r.times[i]);
        }
        readmouse();
        EXPECT_EQ(input.intervalcount, r.counted);
    }

    resetinput(now);
    for (uint32_t t = 0; t < 40; t++)
        inputmotion(1, 1, 8 * t);           // 80 elements: 64 kept
    input.smoothing = 0;
    mousereading m = readmouse();
    EXPECT_EQ(m.dx, 32.0f);
    EXPECT_EQ(m.dy, 32.0f);
    EXPECT_EQ(input.last, 8 * 31);
    inputmotion(1, 0, 400);
    readmouse();
    EXPECT_EQ(input.history[0], 8 * 31);
}

void reentered(int x, int y);
int reenterx = -1, reentery = -1, reentries = 0;
void reentered(int x, int y)
{
    reenterx = x;
    reentery = y;
    reentries++;
}

TEST_F(InputTest, ReleasedMouseComesBackOnceThroughTheCallback)
{
    reentries = 0;
    releasemouse(reentered, -1, 300);
    EXPECT_EQ(releases, 1);
    inputmotion(4, 4, 10);                  // the system cursor has it now
    EXPECT_EQ(readmouse().dx, 0.0f);
    inputactivate(0);
    EXPECT_EQ(inputreenter(5, 6), 0);       // inactive: nothing happens
    inputactivate(1);
    EXPECT_EQ(inputreenter(5, 6), 1);
    EXPECT_EQ(inputreenter(7, 8), 0);
    EXPECT_EQ(reentries, 1);
    EXPECT_EQ(reenterx, 5);
    EXPECT_EQ(reentery, 6);
    inputmotion(4, 0, 20);
    EXPECT_EQ(readmouse().dx, 4.0f);

    host.releasemouse = nullptr;            // full screen keeps the mouse
    releasemouse(reentered, -1, 300);
    EXPECT_EQ(input.wantmouse, 1);
    EXPECT_EQ(inputreenter(5, 6), 0);
}

} // namespace
