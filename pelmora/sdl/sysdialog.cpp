// The desktop's own file dialogs: zenity (GNOME and most desktops) or
// kdialog (KDE), started as a child process with an argument vector (never
// through a shell, so no file name is ever parsed as a command), the chosen
// path read from its standard output.
//
// While the helper runs the designer's window keeps its last frame on the
// screen (drawn again when the window is exposed), the system cursor has
// the mouse, and the window's keys and clicks are dropped. Exit code 0 with
// a path: chosen; 1: cancelled; anything else, or a helper that cannot be
// started: none could be shown, and the built-in chooser takes over.
//
// PELMORA_DIALOGS=builtin (checked in main.cpp) never starts a helper;
// PELMORA_DIALOGS=zenity or kdialog tries that one alone; otherwise KDE
// desktops try kdialog first, others zenity first.
#include "input.h"
#include "sdlplatform.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

constexpr size_t helperoutputmax = 65536;      // more than any path; the rest is read and dropped
constexpr int helperpollms = 50;

using arguments = std::vector<std::string>;

// "*.tx" -> "*.tx *.TX" (the dialogs match case-sensitively), "*.*" -> "*".
static std::string patternsof(const char *pattern)
{
    if (std::strcmp(pattern, "*.*") == 0)
        return "*";
    std::string upper = pattern;
    for (char &c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return upper == pattern ? upper : std::string(pattern) + " " + upper;
}

// Where the dialog opens: the proposed path, else the folder.
static std::string startpath(const filerequest &r)
{
    return r.proposed[0] ? r.proposed : r.folder ? r.folder : "";
}

static arguments zenityarguments(const filerequest &r)
{
    arguments a = {"zenity", "--file-selection", std::string("--title=") + r.title};
    std::string start = startpath(r);
    if (!start.empty())
        a.push_back("--filename=" + start);
    if (r.save) {
        a.push_back("--save");
        a.push_back("--confirm-overwrite");
    }
    for (const filefilter *f = r.filters; f->description; f++)
        a.push_back(std::string("--file-filter=") + f->description + " | " + patternsof(f->pattern));
    return a;
}

static arguments kdialogarguments(const filerequest &r)
{
    std::string filters;
    for (const filefilter *f = r.filters; f->description; f++)
        filters += (filters.empty() ? "" : "\n") + patternsof(f->pattern) + "|" + f->description;
    std::string start = startpath(r);
    return {"kdialog", "--title", r.title, r.save ? "--getsavefilename" : "--getopenfilename",
            start.empty() ? "." : start, filters};
}

struct helper {
    const char *program;
    arguments (*argumentsof)(const filerequest &r);
};

static const helper helpers[] = {
    {"zenity", zenityarguments},
    {"kdialog", kdialogarguments},
};

// The full path of an executable file on PATH, or "".
static std::string findonpath(const char *program)
{
    const char *path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    for (size_t start = 0; start <= dirs.size();) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        std::string full = (dir.empty() ? "." : dir) + "/" + program;
        struct stat st;
        if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(full.c_str(), X_OK) == 0)
            return full;
        start = end + 1;
    }
    return "";
}

// Starts the program with its standard output on a pipe; -1 when it could not.
static pid_t starthelper(const std::string &program, const arguments &args, int &out)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (failed) {
        close(fds[0]);
        return -1;
    }
    out = fds[0];
    return pid;
}

// Reads the helper's answer to its end, keeping the window alive; a
// window closed meanwhile ends the helper. The helper's exit status.
static int waithelper(pid_t pid, int out, std::string &answer, bool &closed)
{
    char buffer[4096];
    for (;;) {
        if (pumpwindowevents())
            sdlrepresent();
        if ((sdl.closing || sdl.quitasked) && !closed) {
            closed = true;
            kill(pid, SIGTERM);
        }
        pollfd p = {out, POLLIN, 0};
        if (poll(&p, 1, helperpollms) <= 0)
            continue;
        ssize_t n = read(out, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (answer.size() < helperoutputmax)
            answer.append(buffer, size_t(n));
    }
    close(out);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// One helper's answer as a systemchoice.
static int runhelper(const helper &h, const std::string &program, const filerequest &r, char *path, int size)
{
    int out = -1;
    pid_t pid = starthelper(program, h.argumentsof(r), out);
    if (pid < 0)
        return systemunavailable;
    std::string answer;
    bool closed = false;
    int status = waithelper(pid, out, answer, closed);
    if (closed)
        return systemcancelled;
    if (!WIFEXITED(status))
        return systemunavailable;
    if (WEXITSTATUS(status) == 1)
        return systemcancelled;
    if (WEXITSTATUS(status) != 0)
        return systemunavailable;
    if (!answer.empty() && answer.back() == '\n')
        answer.pop_back();
    if (answer.empty())
        return systemcancelled;
    if (answer.find('\0') != std::string::npos)
        return systemnulbyte;
    if (answer.size() >= size_t(size))
        return systemtoolong;
    std::memcpy(path, answer.c_str(), answer.size() + 1);
    return systemchosen;
}

// The helpers to try, in order.
static std::vector<const helper *> helperorder()
{
    const char *wanted = std::getenv("PELMORA_DIALOGS");
    const char *desktop = std::getenv("XDG_CURRENT_DESKTOP");
    std::vector<const helper *> order;
    for (const helper &h : helpers)
        if (!wanted || !wanted[0] || std::strcmp(wanted, h.program) == 0)
            order.push_back(&h);
    if ((!wanted || !wanted[0]) && desktop && std::strstr(desktop, "KDE") && order.size() == 2)
        std::swap(order[0], order[1]);
    return order;
}

int sdlsystemdialog(const filerequest &request, char *path, int size)
{
    sdl.quitasked = 0;
    for (const helper *h : helperorder()) {
        std::string program = findonpath(h->program);
        if (program.empty())
            continue;
        bool relative = SDL_GetRelativeMouseMode();
        SDL_SetRelativeMouseMode(SDL_FALSE);
        int got = runhelper(*h, program, request, path, size);
        if (got != systemunavailable) {
            // The keyboard comes back to the designer, with or without a
            // window manager to hand it over.
            SDL_RaiseWindow(sdl.window);
            SDL_SetWindowInputFocus(sdl.window);
        }
        if (relative && !sdl.released)
            SDL_SetRelativeMouseMode(SDL_TRUE);
        SDL_FlushEvents(SDL_MOUSEMOTION, SDL_MOUSEWHEEL);
        inputmousestart(sdlclock());
        if (got != systemunavailable)
            return got;
    }
    return systemunavailable;
}
