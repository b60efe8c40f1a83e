// The real pelmora under a virtual X server, driven by xdotool: a short
// click on F1 shows the help page, a slider is dragged, a screenshot (xwd)
// shows both; ESC asks and Cancel keeps the designer; a compile error is
// marked at its place; each Ctrl+Z changes the text, then one takes back
// the drag; Discard ends with exit code 0. A typed
// expression is saved, loaded and exported through the built-in chooser,
// and the export is what txtool renders from the saved script. A stand-in
// zenity on the PATH answers the save dialog, and one that fails hands
// over to the built-in chooser.
//
// PELMORA_SCREENSHOT=FILE.png also writes the window as it starts (the
// README's picture).
#include "golden.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

bool onpath(const char *program)
{
    std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// A child process with extra environment, in folder `cwd` when given;
// stdout to the given descriptor.
pid_t spawn(const std::vector<std::string> &args, const std::vector<std::string> &env, int outfd = -1,
            const std::string &cwd = "")
{
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL);       // never outlive the test
    for (const std::string &e : env)
        putenv(const_cast<char *>(e.c_str()));
    if (!cwd.empty() && chdir(cwd.c_str()) != 0)
        _exit(126);
    if (outfd >= 0)
        dup2(outfd, 1);
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

// Exit status of pid if it ends within `seconds`, else -1 (then killed).
int waitfor(pid_t pid, double seconds)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (std::chrono::steady_clock::now() > end) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string run(const std::string &display, const std::string &command)
{
    std::string full = "DISPLAY=" + display + " " + command + " 2>/dev/null";
    std::string out;
    if (FILE *p = popen(full.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, p))
            out += buffer;
        pclose(p);
    }
    return out;
}

void pause(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

uint32_t bigendian(const std::vector<uint8_t> &b, size_t at)
{
    return uint32_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

// An xwd dump of a 24-bit screen as 0x00RRGGBB pixels, stored in 3 or 4
// bytes each (the bits per pixel say which).
struct screenshot {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return 0xFFFFFFFF;
        return pixels[size_t(y) * size_t(width) + size_t(x)];
    }
};

bool readxwd(const std::string &path, screenshot &s)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 100)
        return false;
    uint32_t headersize = bigendian(b, 0), format = bigendian(b, 8), depth = bigendian(b, 12),
             width = bigendian(b, 16), height = bigendian(b, 20), byteorder = bigendian(b, 28),
             bitsperpixel = bigendian(b, 44), bytesperline = bigendian(b, 48), colours = bigendian(b, 76);
    size_t data = size_t(headersize) + size_t(colours) * 12;
    uint32_t step = bitsperpixel / 8;
    if (format != 2 || depth != 24 || (step != 3 && step != 4) || bytesperline < width * step ||
        b.size() < data + size_t(bytesperline) * height)
        return false;
    s.width = int(width);
    s.height = int(height);
    s.pixels.resize(size_t(width) * height);
    for (uint32_t y = 0; y < height; y++)
        for (uint32_t x = 0; x < width; x++) {
            const uint8_t *p = &b[data + y * bytesperline + x * step];
            uint32_t v = 0;
            for (uint32_t k = 0; k < step; k++)
                v |= uint32_t(p[k]) << (8 * (byteorder ? step - 1 - k : k));
            s.pixels[size_t(y) * width + x] = v & 0xFFFFFF;
        }
    return true;
}

struct DesignerEndToEnd : ::testing::Test {
    pid_t server = -1, designer = -1;
    std::string display;

    void TearDown() override
    {
        if (designer > 0)
            waitfor(designer, 0.0);
        if (server > 0) {
            kill(server, SIGTERM);
            waitfor(server, 5.0);
        }
    }

    // Xvfb picks a free display and writes its number to a pipe.
    bool startserver()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        server = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24", "-nolisten",
                        "tcp"},
                       {});
        close(fds[1]);
        char number[32] = {};
        ssize_t n = read(fds[0], number, sizeof number - 1);
        close(fds[0]);
        if (n <= 0)
            return false;
        display = ":" + std::to_string(std::atoi(number));
        return true;
    }

    bool shoot(const std::string &name, screenshot &s)
    {
        std::string path = name + ".xwd";
        run(display, "xwd -root -silent -out " + path);
        return readxwd(path, s);
    }

    // Waits for the designer's window; its position on the screen.
    bool findwindow(int &wx, int &wy)
    {
        std::string window = run(display, "timeout 20 xdotool search --sync --name 'Pelmora by Yorvath'");
        if (window.empty())
            return false;
        window = window.substr(0, window.find('\n'));
        std::string geometry = run(display, "xdotool getwindowgeometry --shell " + window);
        wx = wy = -1;
        if (const char *x = std::strstr(geometry.c_str(), "X="))
            wx = std::atoi(x + 2);
        if (const char *y = std::strstr(geometry.c_str(), "Y="))
            wy = std::atoi(y + 2);
        return wx >= 0 && wy >= 0;
    }

    // Screenshots until `ready` holds (the designer may lag behind on a busy
    // machine), at most for 15 s; the last one stays in s.
    template <typename test>
    bool shootwhen(const std::string &name, screenshot &s, test ready)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (shoot(name, s) && !ready(s) && std::chrono::steady_clock::now() < end)
            pause(200);
        return !s.pixels.empty();
    }
};

TEST_F(DesignerEndToEnd, HelpPageSliderDragAndEscape)
{
    if (!onpath("Xvfb") || !onpath("xdotool") || !onpath("xwd"))
        GTEST_SKIP() << "Xvfb, xdotool or xwd is missing (bash scripts/setup.sh test installs them)";
    ASSERT_TRUE(startserver());
    designer = spawn({PELMORA}, {"DISPLAY=" + display, "ASAN_OPTIONS=detect_leaks=0"});
    int wx = -1, wy = -1;
    ASSERT_TRUE(findwindow(wx, wy)) << "no designer window appeared";
    ASSERT_EQ(wx, (1024 - 800) / 2);     // centred
    ASSERT_EQ(wy, (768 - 600) / 2);

    screenshot start;
    auto drawn = [&](const screenshot &s) { return s.at(wx + 20, wy + 8) == 0x404080u; };
    ASSERT_TRUE(shootwhen("e2e-start", start, drawn)) << "cannot read the screenshot e2e-start.xwd";
    EXPECT_EQ(start.at(wx + 20, wy + 8), 0x404080u);  // F1 button unlit
    EXPECT_EQ(start.at(wx + 21, wy + 420), 0xC06060u);    // R of group 1 at 2.2: 395..429
    if (const char *png = std::getenv("PELMORA_SCREENSHOT")) {
        std::vector<uint32_t> frame;
        for (int y = 0; y < 600; y++)
            for (int x = 0; x < 800; x++)
                frame.push_back(start.at(wx + x, wy + y));
        EXPECT_TRUE(writeframepng(png, frame, 800, 600));
    }

    // A short click (xdotool click: press and release in one go) on
    // "F1 = Help" shows the help page. The cursor starts at (320, 240).
    run(display, "xdotool mousemove_relative -- -240 -226");
    pause(300);
    run(display, "xdotool click 1");
    auto helpshown = [&](const screenshot &s) { return s.at(wx + 292, wy + 100) == 0x60D090u; };
    screenshot clicked;
    ASSERT_TRUE(shootwhen("e2e-click", clicked, helpshown));
    EXPECT_TRUE(helpshown(clicked)) << "the short click on F1 was lost";

    // To the slider at (28, 430), press, down 32 pixels to -2.0, release.
    run(display, "xdotool mousemove_relative -- -52 416");
    pause(300);
    run(display, "xdotool mousedown 1");
    pause(300);
    run(display, "xdotool mousemove_relative -- 0 32");
    pause(300);
    run(display, "xdotool mouseup 1");

    screenshot after;
    auto moved = [&](const screenshot &s) {
        return s.at(wx + 292, wy + 100) == 0x60D090u && s.at(wx + 21, wy + 431) == 0xC06060u;
    };
    ASSERT_TRUE(shootwhen("e2e-after", after, moved)) << "cannot read the screenshot e2e-after.xwd";
    EXPECT_EQ(after.at(wx + 292, wy + 100), 0x60D090u);   // the help page's box
    EXPECT_EQ(after.at(wx + 787, wy + 32), 0x60D090u);
    EXPECT_EQ(after.at(wx + 20, wy + 8), 0x4060C0u);      // F1 lit while it shows
    EXPECT_EQ(after.at(wx + 21, wy + 420), 0u);           // the bar left the upper half
    EXPECT_EQ(after.at(wx + 21, wy + 431), 0xC06060u);    // and runs from 430
    EXPECT_EQ(after.at(wx + 34, wy + 459), 0xC06060u);    // down to 461

    // The slider's change is unsaved: ESC asks "Save changes to Untitled?"
    // (Save / Discard / Cancel, 248 x 70 centred: at 276, 265); Cancel
    // keeps the designer.
    auto question = [&](const screenshot &s) {
        return s.at(wx + 276, wy + 265) == 0x404080u && s.at(wx + 523, wy + 265) == 0x404080u;
    };
    run(display, "xdotool key Escape");
    screenshot asked;
    ASSERT_TRUE(shootwhen("e2e-question", asked, question));
    ASSERT_TRUE(question(asked)) << "no question after ESC with unsaved work";
    run(display, "xdotool key Escape F1");              // Cancel; the help page goes

    // The designer goes on: a compile error is marked at txtool eval's line
    // (less the header's) and column, in the error's colours.
    const std::string body = "a=d1;\nb=c1*;\na+b";
    run(display, "xdotool key ctrl+End shift+ctrl+Home BackSpace a equal d 1 semicolon Return b equal c 1 asterisk "
                 "semicolon Return a plus b");
    pause(300);
    run(display, "xdotool key ctrl+Return");
    std::string out = run("", TXTOOL " eval --dialect pelmora '(vx,vy,vz,d1,d2,d3,c1,c2,c3,c4,fn,sc)\n" + body + "'");
    int line = 0, column = 0;
    ASSERT_EQ(std::sscanf(out.c_str() + std::min(out.find("at line"), out.size()), "at line %d, column %d", &line,
                          &column), 2) << out;
    int cx = wx + 300 + 6 * (column - 1), cy = wy + 48 + 8 * (line - 2);
    auto marked = [&](const screenshot &shot) {
        return shot.at(cx + 5, cy) == 0x601010u && shot.at(cx + 5, cy + 7) == 0x601010u &&
               shot.at(cx - 1, cy) != 0x601010u && shot.at(wx + 300, wy + 30) == 0x601010u;
    };
    screenshot s;
    ASSERT_TRUE(shootwhen("e2e-undo", s, marked));
    EXPECT_TRUE(marked(s)) << "no mark at line " << line - 1 << ", column " << column;

    // Every Ctrl+Z changes the text ("\na+b", "\nb=c1*;", "a=d1;", the
    // clearing); the next takes back the drag, and Ctrl+Y does it again.
    auto text = [&](const screenshot &shot) {                 // the editor's grey pixels
        std::vector<bool> grey;
        for (int i = 0; i < 480 * 248; i++)
            grey.push_back(shot.at(wx + 300 + i % 480, wy + 48 + i / 480) == 0xC0C0C0u);
        return grey;
    };
    for (int press = 1; press <= 4; press++) {
        std::vector<bool> before = text(s);
        run(display, "xdotool key ctrl+z");
        ASSERT_TRUE(shootwhen("e2e-undo", s, [&](const screenshot &shot) { return text(shot) != before; }));
        ASSERT_NE(text(s), before) << "Ctrl+Z number " << press << " changed nothing";
    }
    EXPECT_EQ(text(s), text(start)) << "Ctrl+Z did not bring the text back";
    auto barat = [&](const screenshot &shot, int y) { return shot.at(wx + 21, wy + y) == 0xC06060u; };
    EXPECT_TRUE(barat(s, 450)) << "the slider came back before its turn";
    run(display, "xdotool key ctrl+z");
    ASSERT_TRUE(shootwhen("e2e-undo", s, [&](const screenshot &shot) { return barat(shot, 420); }));
    EXPECT_TRUE(barat(s, 420) && !barat(s, 450)) << "Ctrl+Z did not bring the slider back";
    run(display, "xdotool key ctrl+y");
    ASSERT_TRUE(shootwhen("e2e-undo", s, [&](const screenshot &shot) { return barat(shot, 450); }));

    run(display, "xdotool key Escape");                  // unsaved again: Discard ends
    ASSERT_TRUE(shootwhen("e2e-question", asked, question));
    run(display, "xdotool key d");
    int status = waitfor(designer, 10.0);
    designer = -1;
    EXPECT_EQ(status, 0) << "-1: still running 10 s after Discard";
}

// A fresh folder under /tmp, without its trailing "/".
std::string tempfolder()
{
    char name[] = "/tmp/pelmora-e2e-XXXXXX";
    return mkdtemp(name) ? name : "";
}

std::string readbytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Polls until `ready` holds, at most 15 s.
template <typename test>
bool waituntil(test ready)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        pause(100);
    }
    return true;
}

bool exists(const std::string &path)
{
    return access(path.c_str(), F_OK) == 0;
}

// The built-in chooser's title bar, centred on the 800 x 600 frame.
bool choosershown(const screenshot &s, int wx, int wy)
{
    return s.at(wx + 400, wy + 125) == 0x404080u && s.at(wx + 680, wy + 130) == 0x404080u;
}

// The PNG size question's title bar right of its title (276 x 128,
// centred on the 800 x 600 frame).
bool pngquestionshown(const screenshot &s, int wx, int wy)
{
    return s.at(wx + 500, wy + 240) == 0x404080u && s.at(wx + 530, wy + 248) == 0x404080u;
}

// The editor's modified mark "*" beside its first line.
bool modifiedshown(const screenshot &s, int wx, int wy)
{
    for (int y = 40; y < 48; y++)
        for (int x = 294; x < 300; x++)
            if (s.at(wx + x, wy + y) == 0xC0C0C0u)
                return true;
    return false;
}

TEST_F(DesignerEndToEnd, SaveLoadAndExportThroughTheBuiltInChooser)
{
    if (!onpath("Xvfb") || !onpath("xdotool") || !onpath("xwd"))
        GTEST_SKIP() << "Xvfb, xdotool or xwd is missing (bash scripts/setup.sh test installs them)";
    std::string dir = tempfolder();
    ASSERT_FALSE(dir.empty());
    ASSERT_TRUE(startserver());
    designer = spawn({PELMORA}, {"DISPLAY=" + display, "ASAN_OPTIONS=detect_leaks=0", "PELMORA_DIALOGS=builtin"}, -1,
                     dir);
    int wx = -1, wy = -1;
    ASSERT_TRUE(findwindow(wx, wy)) << "no designer window appeared";
    screenshot s;
    auto drawn = [&](const screenshot &shot) { return shot.at(wx + 20, wy + 8) == 0x404080u; };
    ASSERT_TRUE(shootwhen("e2e-files", s, drawn));
    auto dialog = [&](const screenshot &shot) { return choosershown(shot, wx, wy); };
    auto nodialog = [&](const screenshot &shot) { return !choosershown(shot, wx, wy); };

    // Replace the expression and compile it.
    const std::string expression = "d1*c1*sc+fn*c3";
    run(display, "xdotool key ctrl+End shift+ctrl+Home BackSpace");
    run(display, "xdotool type '" + expression + "'");
    ASSERT_TRUE(shootwhen("e2e-files", s, [&](const screenshot &shot) { return modifiedshown(shot, wx, wy); }));
    run(display, "xdotool key ctrl+Return");
    ASSERT_TRUE(shootwhen("e2e-files", s, [&](const screenshot &shot) { return !modifiedshown(shot, wx, wy); }));
    EXPECT_FALSE(modifiedshown(s, wx, wy));
    EXPECT_NE(s.at(wx + 300, wy + 30), 0x601010u) << "a compile error is shown";

    // F3: the first dialog opens in the start-up directory; the name gets ".tx".
    run(display, "xdotool key F3");
    ASSERT_TRUE(shootwhen("e2e-files", s, dialog));
    ASSERT_TRUE(dialog(s)) << "no chooser after F3";
    run(display, "xdotool type e2e");
    run(display, "xdotool key Return");
    ASSERT_TRUE(waituntil([&] { return exists(dir + "/e2e.tx"); })) << "nothing saved";
    EXPECT_NE(readbytes(dir + "/e2e.tx").find(expression), std::string::npos);

    // Change the text, then F2 loads the saved script back (its name is proposed).
    ASSERT_TRUE(shootwhen("e2e-files", s, nodialog));
    run(display, "xdotool key End");
    run(display, "xdotool type '+1'");
    ASSERT_TRUE(shootwhen("e2e-files", s, [&](const screenshot &shot) { return modifiedshown(shot, wx, wy); }));
    run(display, "xdotool key F2");                     // unsaved: the question first
    pause(500);
    run(display, "xdotool key d");
    ASSERT_TRUE(shootwhen("e2e-files", s, dialog));
    ASSERT_TRUE(dialog(s)) << "no chooser after F2";
    run(display, "xdotool key Return");
    ASSERT_TRUE(shootwhen("e2e-files", s, [&](const screenshot &shot) {
        return !choosershown(shot, wx, wy) && !modifiedshown(shot, wx, wy);
    }));
    EXPECT_FALSE(modifiedshown(s, wx, wy)) << "the load did not clear the modified mark";

    // F4 proposes "e2e"; Enter in the size question exports the preview.
    run(display, "xdotool key F4");
    ASSERT_TRUE(shootwhen("e2e-files", s, dialog));
    ASSERT_TRUE(dialog(s)) << "no chooser after F4";
    run(display, "xdotool key Return");
    ASSERT_TRUE(shootwhen("e2e-files", s, [&](const screenshot &shot) { return pngquestionshown(shot, wx, wy); }));
    ASSERT_TRUE(pngquestionshown(s, wx, wy)) << "no size question after the file";
    run(display, "xdotool key Return");
    ASSERT_TRUE(waituntil([&] { return exists(dir + "/e2e.png"); })) << "nothing exported";

    std::string out;
    std::string command = std::string(TXTOOL) + " render " + dir + "/e2e.tx " + dir + "/txtool.png 2>&1";
    if (FILE *p = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, p))
            out += buffer;
        EXPECT_EQ(pclose(p), 0) << out;
    }
    std::string exported = readbytes(dir + "/e2e.png");
    EXPECT_GT(exported.size(), 256u * 256u * 4u);
    EXPECT_TRUE(exported == readbytes(dir + "/txtool.png")) << "the F4 export differs from txtool render";

    run(display, "xdotool key Escape");
    int status = waitfor(designer, 10.0);
    designer = -1;
    EXPECT_EQ(status, 0) << "-1: still running 10 s after ESC";
    std::filesystem::remove_all(dir);
}

// A stand-in zenity records its arguments and answers as told: a chosen
// name (with quotes and shell syntax in it) is saved with ".tx" added and
// proposed word for word next time; an answer with a NUL byte in it is
// refused in a message box that says so; a zenity that fails hands over to
// the built-in chooser.
TEST_F(DesignerEndToEnd, DesktopDialogHelper)
{
    if (!onpath("Xvfb") || !onpath("xdotool") || !onpath("xwd"))
        GTEST_SKIP() << "Xvfb, xdotool or xwd is missing (bash scripts/setup.sh test installs them)";
    std::string dir = tempfolder();
    ASSERT_FALSE(dir.empty());
    ASSERT_EQ(mkdir((dir + "/bin").c_str(), 0755), 0);
    std::string zenity = dir + "/bin/zenity", args = dir + "/args", code = dir + "/code";
    std::ofstream(zenity) << "#!/bin/sh\n"
                             "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$FAKE_ARGS.new\"\n"
                             "mv \"$FAKE_ARGS.new\" \"$FAKE_ARGS\"\n"
                             "if [ -e \"$FAKE_CODE.nul\" ]; then printf '%s\\0x\\n' \"$FAKE_ANSWER\";\n"
                             "else printf '%s\\n' \"$FAKE_ANSWER\"; fi\n"
                             "exit \"$(cat \"$FAKE_CODE\")\"\n";
    ASSERT_EQ(chmod(zenity.c_str(), 0755), 0);
    std::string answer = dir + "/it's \"a\" $(touch gotcha) & b";
    std::ofstream(code) << "0\n";
    const char *path = std::getenv("PATH");
    ASSERT_TRUE(startserver());
    designer = spawn({PELMORA},
                     {"DISPLAY=" + display, "ASAN_OPTIONS=detect_leaks=0", "PATH=" + dir + "/bin:" + (path ? path : ""),
                      "FAKE_ARGS=" + args, "FAKE_ANSWER=" + answer, "FAKE_CODE=" + code, "XDG_CURRENT_DESKTOP=GNOME"},
                     -1, dir);
    int wx = -1, wy = -1;
    ASSERT_TRUE(findwindow(wx, wy)) << "no designer window appeared";
    screenshot s;
    auto drawn = [&](const screenshot &shot) { return shot.at(wx + 20, wy + 8) == 0x404080u; };
    ASSERT_TRUE(shootwhen("e2e-desktop", s, drawn));

    run(display, "xdotool key F3");
    ASSERT_TRUE(waituntil([&] { return exists(answer + ".tx"); })) << "nothing saved";
    std::string first = readbytes(args);
    EXPECT_NE(first.find("--file-selection\n--title=Save texture script...\n--filename=" + dir + "/\n--save\n"),
              std::string::npos)
        << first;
    EXPECT_NE(first.find("--file-filter=Texture script (.TX) | *.tx *.TX\n--file-filter=All files (*.*) | *\n"),
              std::string::npos)
        << first;

    // A NUL byte in the answer: a box of two lines of 60 characters (392 x 88
    // at 204, 256), not one of "The path is too long" (344 x 78 at 228, 261).
    std::ofstream(code + ".nul") << "";
    auto nulbox = [&](const screenshot &shot) {
        return shot.at(wx + 204, wy + 256) == 0x404080u && shot.at(wx + 595, wy + 343) == 0x404080u;
    };
    run(display, "xdotool key F3");
    ASSERT_TRUE(shootwhen("e2e-desktop", s, nulbox));
    EXPECT_TRUE(nulbox(s));
    EXPECT_NE(s.at(wx + 203, wy + 260), 0x404080u);
    EXPECT_NE(s.at(wx + 596, wy + 260), 0x404080u);
    run(display, "xdotool key Return");
    ASSERT_TRUE(shootwhen("e2e-desktop", s, [&](const screenshot &shot) { return !nulbox(shot); }));
    unlink((code + ".nul").c_str());

    unlink(args.c_str());
    std::ofstream(code) << "1\n";                       // cancel
    run(display, "xdotool key F3");
    ASSERT_TRUE(waituntil([&] { return exists(args); }));
    EXPECT_NE(readbytes(args).find("\n--filename=" + answer + ".tx\n"), std::string::npos) << readbytes(args);

    std::ofstream(code) << "3\n";                       // a failure: the built-in chooser
    run(display, "xdotool key F3");
    ASSERT_TRUE(shootwhen("e2e-desktop", s, [&](const screenshot &shot) { return choosershown(shot, wx, wy); }));
    EXPECT_TRUE(choosershown(s, wx, wy));
    run(display, "xdotool key Escape");
    ASSERT_TRUE(shootwhen("e2e-desktop", s, [&](const screenshot &shot) { return !choosershown(shot, wx, wy); }));
    run(display, "xdotool key Escape");
    int status = waitfor(designer, 10.0);
    designer = -1;
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(exists(dir + "/gotcha"));
    EXPECT_FALSE(exists("gotcha"));
    std::filesystem::remove_all(dir);
}

} // namespace
