#pragma once

// Standard input, output and error of the Linux programs.

// Opens /dev/null onto each of descriptors 0, 1 and 2 that is closed. Call it first thing in
// main(), before anything else is opened: a program started with stdout or stderr closed would
// otherwise get its serial device as descriptor 1 or 2, and write its own text to the radio.
// False if one could not be opened (the program should then exit).
bool openStandardDescriptors();

// True when `fd` is a stream that systemd connected to the journal: $JOURNAL_STREAM then
// names its device and inode ("8:12345"). The journal stamps every line with the time itself.
bool writesToJournal(int fd);

// Standard output or error, written without ever blocking the program.
//
// A pipe, FIFO or terminal is opened again through /proc/self/fd with O_NONBLOCK. That is a new
// open file description, so the shell and any other process sharing the old one keep theirs
// blocking, even if this program is killed. A regular file is written as it is: it never blocks
// for long, and a new description would lose the offset that stdout and stderr share after
// `>log 2>&1`. Anything else (a socket) gets O_NONBLOCK on the shared description, put back when
// this object is destroyed.
class StandardStream {
public:
    explicit StandardStream(int fd);
    ~StandardStream();

    StandardStream(const StandardStream&) = delete;
    StandardStream& operator=(const StandardStream&) = delete;

    // Where to write; never blocks.
    int descriptor() const { return fd; }

private:
    int original;
    int fd;
    int restoreFlags = -1;  // the shared description's flags before O_NONBLOCK, or -1
};
