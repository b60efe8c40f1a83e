#include "support/fuzzinput.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct inputfile {
    std::string path;
    int fd = -1;
};
inputfile input;

void removeinput()
{
    if (!input.path.empty())
        unlink(input.path.c_str());
}

std::string inputdirectory()
{
    struct stat st;
    if (stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    const char *tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

} // namespace

const char *fuzzinputfile(const uint8_t *data, size_t size)
{
    if (input.fd < 0) {
        std::string pattern = inputdirectory() + "/fuzzinput-XXXXXX";
        input.fd = mkstemp(pattern.data());
        if (input.fd < 0) {
            std::perror("fuzzinputfile: mkstemp");
            __builtin_trap();
        }
        input.path = pattern;
        std::atexit(removeinput);
    }
    if (ftruncate(input.fd, 0) != 0)
        __builtin_trap();
    for (size_t done = 0; done < size;) {
        ssize_t n = pwrite(input.fd, data + done, size - done, off_t(done));
        if (n <= 0)
            __builtin_trap();
        done += size_t(n);
    }
    return input.path.c_str();
}
