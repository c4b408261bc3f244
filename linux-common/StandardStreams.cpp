#include "StandardStreams.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

bool openStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) {
            continue;
        }
        // The lowest free descriptor is this one, as 0 to fd - 1 are open by now.
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != fd) {
            if (opened >= 0) {
                close(opened);
            }
            return false;
        }
    }
    return true;
}

bool writesToJournal(int fd) {
    const char* stream = getenv("JOURNAL_STREAM");
    unsigned long long device = 0;
    unsigned long long inode = 0;
    char end = 0;
    struct stat info {};
    return stream != nullptr && sscanf(stream, "%llu:%llu%c", &device, &inode, &end) == 2 &&
           fstat(fd, &info) == 0 && info.st_dev == device && info.st_ino == inode;
}

StandardStream::StandardStream(int stream) : original(stream), fd(stream) {
    struct stat info {};
    if (fstat(stream, &info) != 0 || S_ISREG(info.st_mode)) {
        return;
    }
    const int flags = fcntl(stream, F_GETFL);
    if (flags < 0 || (flags & O_NONBLOCK) != 0) {
        return;
    }
    if (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode)) {
        char path[32];
        snprintf(path, sizeof path, "/proc/self/fd/%d", stream);
        const int reopened =
            open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (flags & O_APPEND));
        if (reopened >= 0) {
            fd = reopened;
            return;
        }
    }
    if (fcntl(stream, F_SETFL, flags | O_NONBLOCK) == 0) {
        restoreFlags = flags;
    }
}

StandardStream::~StandardStream() {
    if (fd != original) {
        close(fd);
    }
    if (restoreFlags >= 0) {
        fcntl(original, F_SETFL, restoreFlags);
    }
}
