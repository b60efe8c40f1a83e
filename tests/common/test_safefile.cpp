// Safe file replacement: what it refuses, what a replaced file keeps, and
// what it leaves behind after a failure. (Signals: test_sigclean.cpp;
// writers racing for one target: txtool's tests.)
#include "safefile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <dirent.h>
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

// A new file gets the umask's mode; a replaced one keeps its mode whatever
// the umask, and its owner and group (the tests run as root). An ordinary
// user (a child as nobody) is refused a file it may not write, with the
// system's reason, as opening it would be, even in a folder it may write.
TEST(safefile, replacedFilesKeepModeOwnerAndRights)
{
    const passwd *nobody = geteuid() == 0 ? getpwnam("nobody") : nullptr;
    const uid_t myuid = geteuid(), theiruid = nobody ? nobody->pw_uid : myuid;
    const gid_t mygid = getegid(), theirgid = nobody ? nobody->pw_gid : mygid;
    const struct row {
        const char *name;
        unsigned mode;         // 0: no file before
        bool theirs, bythem;   // the file is nobody's; nobody writes it
        const char *says;      // "" when replaced
    } rows[] = {
        {"new", 0, false, false, ""},
        {"someone else's", 0640, true, false, ""},
        {"read-only", 0444, true, false, ""},   // root may write it
        {"set-group-ID", 02750, true, false, ""},
        {"read-only to its owner", 0444, true, true, "Permission denied"},
        {"root's", 0644, false, true, "Permission denied"},
        {"writable", 0600, true, true, ""},
    };
    std::string dir = freshdir();
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    mode_t mask = umask(027);
    size_t files = 0;
    for (const row &r : rows) {
        if ((r.theirs || r.bythem) && !nobody)
            continue;   // acting as another user, or giving them a file, needs root
        files++;
        std::string path = dir + "/" + r.name;
        const uid_t uid = r.theirs ? theiruid : myuid;
        const gid_t gid = r.theirs ? theirgid : mygid;
        if (r.mode) {
            put(path, "old");
            ASSERT_EQ(chown(path.c_str(), uid, gid), 0) << r.name;
            ASSERT_EQ(chmod(path.c_str(), r.mode), 0) << r.name;
        }
        pid_t child = fork();
        if (child == 0) {
            char why[600] = "";
            bool ok = (!r.bythem || (setgid(theirgid) == 0 && setuid(theiruid) == 0)) &&
                      safereplace(path.c_str(), "new", 3, why, sizeof why) == !r.says[0];
            _exit(ok && why == (r.says[0] ? "cannot write " + path + ": " + r.says : "") ? 0 : 1);
        }
        int status = -1;
        waitpid(child, &status, 0);
        struct stat st = {};
        stat(path.c_str(), &st);
        EXPECT_EQ(status, 0) << r.name;
        EXPECT_EQ(slurp(path), r.says[0] ? "old" : "new") << r.name;
        EXPECT_EQ((std::vector<unsigned>{st.st_mode & 07777, st.st_uid, st.st_gid}),
                  (std::vector<unsigned>{r.mode ? r.mode : 0640, uid, gid})) << r.name;
    }
    umask(mask);
    EXPECT_EQ(names(dir).size(), files) << "temporary files left";
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
