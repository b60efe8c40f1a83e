// Safe file replacement: what it refuses, what a replaced file keeps, and
// what it leaves behind after a failure. (Signals: test_sigclean.cpp;
// writers racing for one target: txtool's tests.)
#include "safefile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <dirent.h>
#include <cstring>
#include <filesystem>
#include <memory>
#include <pwd.h>
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
// bytes until the commit.
TEST(safefile, streamsAndReplacesOnlyAtTheCommit)
{
    std::string dir = freshdir(), path = dir + "/out.bin";
    put(path, "old");
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
    EXPECT_TRUE(slurp(path) == want);
    EXPECT_EQ(names(dir), std::vector<std::string>{"out.bin"});
}

namespace {

struct owner {
    uid_t uid;
    gid_t gid;
};

// The user nobody and its group, or, when not run as root, our own.
owner someoneelse()
{
    if (geteuid() != 0)
        return {geteuid(), getegid()};
    const passwd *p = getpwnam("nobody");
    return p ? owner{p->pw_uid, p->pw_gid} : owner{65534, 65534};
}

} // namespace

// A new file gets the mode the umask gives; a replaced one keeps its mode
// whatever the umask, and (the tests run as root) its owner and group.
TEST(safefile, replacedFilesKeepModeOwnerAndGroup)
{
    const owner other = someoneelse(), me = {geteuid(), getegid()};
    const struct row {
        const char *name;
        bool exists;
        unsigned mode;
        owner who;
        unsigned expected;
    } rows[] = {
        {"new", false, 0, me, 0640},
        {"private", true, 0600, me, 0600},
        {"someone else's", true, 0640, other, 0640},
        {"read-only", true, 0444, other, 0444},   // root may write it
        {"set-group-ID", true, 02750, other, 02750},
    };
    std::string dir = freshdir();
    mode_t mask = umask(027);
    for (const row &r : rows) {
        std::string path = dir + "/" + r.name;
        if (r.exists) {
            put(path, "old");
            ASSERT_EQ(chown(path.c_str(), r.who.uid, r.who.gid), 0) << r.name;
            ASSERT_EQ(chmod(path.c_str(), r.mode), 0) << r.name;
        }
        char why[600];
        EXPECT_EQ(safereplace(path.c_str(), "new", 3, why, sizeof why), 1) << r.name << ": " << why;
        EXPECT_EQ(slurp(path), "new") << r.name;
        struct stat st = {};
        stat(path.c_str(), &st);
        EXPECT_EQ(st.st_mode & 07777, r.expected) << r.name;
        EXPECT_EQ(st.st_uid, r.who.uid) << r.name;
        EXPECT_EQ(st.st_gid, r.who.gid) << r.name;
    }
    umask(mask);
}

// For an ordinary user (a child run as nobody) a file it may not write is
// refused with the system's reason, as opening it for writing would be,
// even in a folder it may write; the one it may write is replaced.
TEST(safefile, targetsTheUserMayNotWriteAreRefused)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "acting as another user needs root";
    const owner user = someoneelse();
    std::string dir = freshdir();
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    const struct row {
        const char *name;
        unsigned mode;
        bool theirs;
        const char *says;   // "" when replaced
    } rows[] = {
        {"read-only.tx", 0444, true, "Permission denied"},
        {"root-owned.tx", 0644, false, "Permission denied"},
        {"writable.tx", 0644, true, ""},
    };
    for (const row &r : rows) {
        std::string path = dir + "/" + r.name;
        put(path, "old");
        if (r.theirs) {
            ASSERT_EQ(chown(path.c_str(), user.uid, user.gid), 0);
        }
        ASSERT_EQ(chmod(path.c_str(), r.mode), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (setgid(user.gid) != 0 || setuid(user.uid) != 0)
                _exit(2);
            char why[600] = "";
            int ok = safereplace(path.c_str(), "new", 3, why, sizeof why);
            _exit(ok == !r.says[0] && why == (r.says[0] ? "cannot write " + path + ": " + r.says : "") ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << r.name;
        EXPECT_EQ(slurp(path), r.says[0] ? "old" : "new") << r.name;
    }
    EXPECT_EQ(names(dir), (std::vector<std::string>{"read-only.tx", "root-owned.tx", "writable.tx"}));
}

// A file of several write-out steps is written out as it grows, in pieces
// that go through the buffer and past it, and still holds exactly the bytes
// written; given up half way it leaves the old file and nothing beside it.
TEST(safefile, largeFilesWriteOutAheadAndStillCommitOrAbortWhole)
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
        EXPECT_GE(f->syncedupto, safesyncstep);   // a write-out started
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
