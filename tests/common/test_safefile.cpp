// Safe file replacement: what it refuses, and what it leaves behind after a
// failure or a signal. (Writers racing for one target: txtool's tests.)
#include "safefile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <dirent.h>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Scratch directories, removed when the tests end (forked children leave
// through _exit and remove nothing).
struct scratchdirs {
    std::vector<std::string> made;
    ~scratchdirs()
    {
        for (const std::string &d : made)
            std::filesystem::remove_all(d);
    }
} scratch;

std::string freshdir()
{
    char pattern[] = "/tmp/safefileXXXXXX";
    if (!mkdtemp(pattern))
        return "/tmp";
    scratch.made.push_back(pattern);
    return pattern;
}

std::string slurp(const std::string &path)
{
    std::string s;
    if (FILE *f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            s.append(buf, n);
        std::fclose(f);
    }
    return s;
}

void put(const std::string &path, const std::string &bytes)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::vector<std::string> names(const std::string &dir)
{
    std::vector<std::string> out;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                out.push_back(e->d_name);
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

unsigned filetype(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

std::unique_ptr<safefile> newfile()
{
    return std::make_unique<safefile>();
}

} // namespace

// Streamed pieces of every size arrive in order; the target keeps its old
// bytes until the commit; the new file gets the mode umask gives a new file.
TEST(safefile, streamsAndReplacesOnlyAtTheCommit)
{
    std::string dir = freshdir(), path = dir + "/out.bin";
    put(path, "old");
    mode_t mask = umask(027);
    auto f = newfile();
    ASSERT_EQ(safeopen(*f, path.c_str()), 1) << f->message;
    EXPECT_EQ(filetype(f->temppath), unsigned(S_IFREG));
    std::string want;
    for (size_t size : {size_t(1), safebuffersize - 1, size_t(3), 3 * safebuffersize, size_t(0), size_t(77)}) {
        std::string piece(size, char('a' + want.size() % 26));
        want += piece;
        ASSERT_EQ(safewrite(*f, piece.data(), piece.size()), 1);
    }
    EXPECT_EQ(slurp(path), "old");
    ASSERT_EQ(safecommit(*f), 1) << f->message;
    umask(mask);
    EXPECT_TRUE(slurp(path) == want);
    EXPECT_EQ(names(dir), std::vector<std::string>{"out.bin"});
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// A file of several sync steps is synced ahead as it grows, in pieces
// that go through the buffer and past it, and still holds exactly the bytes
// written; given up half way it leaves the old file and nothing beside it.
TEST(safefile, largeFilesSyncAheadAndStillCommitOrAbortWhole)
{
    std::string dir = freshdir(), path = dir + "/map.gmv";
    put(path, "old");
    for (bool commit : {true, false}) {
        auto f = newfile();
        ASSERT_EQ(safeopen(*f, path.c_str()), 1) << f->message;
        std::string want;
        for (uint32_t i = 0; want.size() < 5 * safesyncstep / 2; i++) {
            std::string piece(size_t(i * 2654435761u % (3 * safebuffersize)), char('a' + i % 26));
            want += piece;
            ASSERT_EQ(safewrite(*f, piece.data(), piece.size()), 1);
        }
        EXPECT_GE(f->syncedupto, safesyncstep);   // a sync ahead started
        EXPECT_EQ(slurp(path), "old");
        if (commit) {
            ASSERT_EQ(safecommit(*f), 1) << f->message;
            EXPECT_TRUE(slurp(path) == want);
            put(path, "old");
        } else {
            safeabort(*f);
            EXPECT_EQ(slurp(path), "old");
        }
        EXPECT_EQ(names(dir), std::vector<std::string>{"map.gmv"});
    }
}

// A target that is not a regular file is never replaced, and nothing is
// created beside it.
TEST(safefile, refusesTargetsThatAreNotRegularFiles)
{
    std::string dir = freshdir();
    mkdir((dir + "/adir").c_str(), 0755);
    mkfifo((dir + "/afifo").c_str(), 0644);
    symlink("afifo", (dir + "/alink").c_str());
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s/asock", dir.c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    struct row {
        const char *name, *says;
        unsigned type;
    } rows[] = {
        {"adir", "it is a directory, not a regular file", S_IFDIR},
        {"afifo", "it is a FIFO, not a regular file", S_IFIFO},
        {"alink", "it is a FIFO, not a regular file", S_IFLNK},
        {"asock", "it is a socket, not a regular file", S_IFSOCK},
    };
    for (const row &r : rows) {
        std::string path = dir + "/" + r.name;
        char why[600];
        EXPECT_EQ(safereplace(path.c_str(), "new", 3, why, sizeof why), 0) << r.name;
        EXPECT_EQ(std::string(why), "cannot write " + path + ": " + r.says);
        EXPECT_EQ(filetype(path), r.type) << r.name;
    }
    close(sock);
    char why[600];
    EXPECT_EQ(safereplace("", "new", 3, why, sizeof why), 0);
    EXPECT_EQ(std::string(why), "cannot write : the name is empty");
    EXPECT_EQ(names(dir), (std::vector<std::string>{"adir", "afifo", "alink", "asock"}));
    EXPECT_TRUE(names(dir + "/adir").empty());
}

// A failed write (a file-size limit standing in for a full disk) is reported
// with the system's reason and leaves the old file; SIGXFSZ does not kill.
TEST(safefile, writeFailureKeepsTheOldFile)
{
    std::string dir = freshdir(), path = dir + "/big.bin";
    put(path, "old");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit = {1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string bytes(5000, 'x');
        char why[600];
        int ok = safereplace(path.c_str(), bytes.data(), bytes.size(), why, sizeof why);
        _exit(ok == 0 && std::string(why) == "cannot write " + path + ": File too large" ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(slurp(path), "old");
    EXPECT_EQ(names(dir), std::vector<std::string>{"big.bin"});
}

namespace {

// A child that opens a file, writes and says so; the signals are then sent
// in order, and a child still alive is told to commit. Returns the signal
// that ended it, or 0 when it committed.
int signalledwriter(const std::string &path, bool ignoreint, const std::vector<int> &signals, size_t extra)
{
    int ready[2], go[2];
    if (pipe(ready) != 0 || pipe(go) != 0)
        return -1;
    pid_t child = fork();
    if (child == 0) {
        if (ignoreint)
            signal(SIGINT, SIG_IGN);
        static safefile f;
        safeopen(f, path.c_str());
        safewrite(f, "partial", 7);
        std::string more(extra, 'x');   // past a sync step: a sync ahead runs
        safewrite(f, more.data(), more.size());
        char c = 'r';
        if (write(ready[1], &c, 1) != 1 || read(go[0], &c, 1) != 1)
            _exit(2);
        _exit(safecommit(f) ? 0 : 1);
    }
    char c;
    if (read(ready[0], &c, 1) == 1) {
        for (int sig : signals)
            kill(child, sig);
        if (write(go[1], "c", 1) != 1)
            kill(child, SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    for (int fd : {ready[0], ready[1], go[0], go[1]})
        close(fd);
    if (WIFSIGNALED(status))
        return WTERMSIG(status);
    return WEXITSTATUS(status) == 0 ? 0 : 100 + WEXITSTATUS(status);
}

} // namespace

// SIGINT, SIGTERM and SIGHUP remove the temporary file and still end the
// process by that signal; a SIGINT ignored before (nohup, a background job)
// stays ignored and the write goes on to its end.
TEST(safefile, signalsRemoveTheTemporaryFile)
{
    struct row {
        std::vector<int> signals;
        bool ignoreint;
        int endedby;          // 0: committed
        const char *content;
        size_t extra;         // bytes after "partial"
    } rows[] = {
        {{SIGINT}, false, SIGINT, "old", 0},
        {{SIGTERM}, false, SIGTERM, "old", 0},
        {{SIGHUP}, false, SIGHUP, "old", 0},
        {{SIGINT}, true, 0, "partial", 0},
        {{SIGINT, SIGTERM}, true, SIGTERM, "old", 0},
        {{SIGTERM}, false, SIGTERM, "old", safesyncstep + safebuffersize},
    };
    for (const row &r : rows) {
        std::string dir = freshdir(), path = dir + "/map.gmv";
        put(path, "old");
        EXPECT_EQ(signalledwriter(path, r.ignoreint, r.signals, r.extra), r.endedby);
        EXPECT_EQ(names(dir), std::vector<std::string>{"map.gmv"}) << r.endedby;
        EXPECT_EQ(slurp(path), r.content);
    }
    // After the last commit the handlers that were there before are back.
    struct sigaction before, after;
    sigaction(SIGTERM, nullptr, &before);
    char why[600];
    ASSERT_EQ(safereplace((freshdir() + "/x").c_str(), "x", 1, why, sizeof why), 1) << why;
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

// The table of open files is finite: one too many is refused with a message.
TEST(safefile, tooManyOpenFilesAreRefused)
{
    std::string dir = freshdir();
    std::vector<std::unique_ptr<safefile>> files;
    for (int i = 0; i < safeopenmax; i++) {
        files.push_back(newfile());
        ASSERT_EQ(safeopen(*files.back(), (dir + "/f" + std::to_string(i)).c_str()), 1) << files.back()->message;
    }
    auto extra = newfile();
    EXPECT_EQ(safeopen(*extra, (dir + "/extra").c_str()), 0);
    EXPECT_NE(std::string(extra->message).find("too many files"), std::string::npos) << extra->message;
    for (auto &f : files)
        safeabort(*f);
    EXPECT_TRUE(names(dir).empty());
}
