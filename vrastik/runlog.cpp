#include "runlog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "sigclean.h"

runlogstate runlog = {"vrastik.log", {}};

// One entry: local time, a blank, the text, a line feed; one formatted write
// between open and close, so concurrent runs never interleave inside a line.
static int appendentry(const char *text)
{
    FILE *f = std::fopen(runlog.path, "a+");
    if (!f)
        return -1;
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    std::fprintf(f, "%i-%02i-%02i %02i:%02i:%02i %s\n", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                 t.tm_hour, t.tm_min, t.tm_sec, text);
    return std::fclose(f);
}

void logline(const char *text)
{
    appendentry(text);
}

int logmessage(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(runlog.message, messagesize, format, args);
    va_end(args);
    std::printf("%s\n", runlog.message);
    std::fflush(stdout);
    return appendentry(runlog.message);
}

void printprogress(int percent)
{
    static const char bars[] = "==================================================";
    static const char blanks[] = "                                                  ";
    int n = percent / 2;
    std::printf("|%s%s| %i%%\r", bars + 50 - n, blanks + n, percent);
}

// The line a signal leaves, written from inside the signal handler: built
// with plain copies and write(2) alone, since stdio, the allocator and the
// time zone files are not safe there. The local time comes from the offset
// to UTC when logging was set.
struct signallogstate {
    const char *mapname;
    long utcoffset;   // seconds east of UTC
};
static signallogstate signallog;

static char *putcopy(char *p, const char *text, size_t most)
{
    for (size_t i = 0; i < most && text[i]; i++)
        *p++ = text[i];
    return p;
}

static char *putnumber(char *p, long long v, int width)
{
    char digits[24];
    int n = 0;
    do {
        digits[n++] = char('0' + v % 10);
        v /= 10;
    } while (v > 0 || n < width);
    while (n > 0)
        *p++ = digits[--n];
    return p;
}

// "2026-12-10 13:06:19 ", as appendentry writes it, for seconds since 1970
// (the civil date from a day count, counted in 400-year eras from March).
static char *puttime(char *p, long long t)
{
    long long days = t / 86400 + 719468, secs = t % 86400;
    long long era = days / 146097, dayofera = days - era * 146097;
    long long yearofera = (dayofera - dayofera / 1460 + dayofera / 36524 - dayofera / 146096) / 365;
    long long dayofyear = dayofera - (365 * yearofera + yearofera / 4 - yearofera / 100);
    long long monthfrommarch = (5 * dayofyear + 2) / 153;
    long long day = dayofyear - (153 * monthfrommarch + 2) / 5 + 1;
    long long month = monthfrommarch < 10 ? monthfrommarch + 3 : monthfrommarch - 9;
    long long year = yearofera + era * 400 + (month <= 2);
    p = putnumber(p, year, 1);
    *p++ = '-';
    p = putnumber(p, month, 2);
    *p++ = '-';
    p = putnumber(p, day, 2);
    *p++ = ' ';
    p = putnumber(p, secs / 3600, 2);
    *p++ = ':';
    p = putnumber(p, secs / 60 % 60, 2);
    *p++ = ':';
    p = putnumber(p, secs % 60, 2);
    *p++ = ' ';
    return p;
}

static void logsignal(int sig, int removed)
{
    char line[400];
    char *p = puttime(line, (long long)std::time(nullptr) + signallog.utcoffset);
    p = putcopy(p, "...stopped by ", 20);
    if (const char *name = sigabbrev_np(sig))
        p = putcopy(putcopy(p, "SIG", 3), name, 20);
    else
        p = putnumber(putcopy(p, "signal ", 10), sig, 1);
    if (const char *what = sigdescr_np(sig))
        p = putcopy(putcopy(putcopy(p, " (", 2), what, 60), ")", 1);
    if (removed > 0 && signallog.mapname)
        p = putcopy(putcopy(putcopy(p, ": ", 2), signallog.mapname, 200), " left as it was", 20);
    *p++ = '\n';
    int fd = open(runlog.path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd >= 0) {
        ssize_t written = write(fd, line, size_t(p - line));
        (void)written;   // nothing more can be done about a log that fails now
        close(fd);
    }
}

void logsignals(const char *mapname)
{
    if (mapname) {
        std::time_t now = std::time(nullptr);
        std::tm t{};
        localtime_r(&now, &t);
        signallog = {mapname, t.tm_gmtoff};
    }
    cleannote(mapname ? logsignal : nullptr);
}
