// Opening a regular file for reading; the kinds of file it refuses.
#include "regularfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char *filekind(unsigned mode)
{
    switch (mode & S_IFMT) {
    case S_IFREG: return "a regular file";
    case S_IFDIR: return "a directory";
    case S_IFCHR: return "a character device";
    case S_IFBLK: return "a block device";
    case S_IFIFO: return "a FIFO";
    case S_IFSOCK: return "a socket";
    case S_IFLNK: return "a symbolic link";
    default: return "not a regular file";
    }
}

// O_NONBLOCK so that opening a FIFO without a writer returns at once; it is
// taken off again for the regular file that remains.
int openregular(const char *path, char *why, size_t whysize)
{
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        std::snprintf(why, whysize, "%s", std::strerror(errno));
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        std::snprintf(why, whysize, "%s", std::strerror(errno));
        close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        std::snprintf(why, whysize, "it is %s, not a regular file", filekind(st.st_mode));
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::FILE *fopenregular(const char *path, char *why, size_t whysize)
{
    int fd = openregular(path, why, whysize);
    if (fd < 0)
        return nullptr;
    std::FILE *f = fdopen(fd, "rb");
    if (!f) {
        std::snprintf(why, whysize, "%s", std::strerror(errno));
        close(fd);
    }
    return f;
}
