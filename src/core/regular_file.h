// Files opened only when they are regular files. A FIFO at a path blocks an open or a read for
// ever, a device such as /dev/zero feeds a reader without end, a directory reads as nothing: each
// is refused at once, before it is opened, so no call of the library waits on a FIFO or a device.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <vector>

namespace pvk::core {

// open(2) of path with flags (O_CLOEXEC added) that never blocks: the descriptor, in blocking
// mode, when path names a regular file (or, with O_CREAT, none, which it then creates); else -1
// with errno (EISDIR for a directory, EINVAL for any other kind of file, the open's own errno).
int openRegularFd(const char* path, int flags, mode_t mode = 0666);

// The same as a stdio stream ("rb", "ab", ...); null with errno when refused.
FILE* openRegularFile(const char* path, int flags, const char* mode);

// A regular file opened "rb"; null with errno otherwise.
FILE* openForReading(const char* path);

// The whole of a regular file of at most maxBytes bytes into out (emptied first), and the status
// of the file opened into *opened when not null. False with errno when it cannot be opened or
// read, or is longer (EFBIG).
bool readRegularFile(const char* path, std::vector<unsigned char>& out, size_t maxBytes,
                     struct stat* opened = nullptr);

}  // namespace pvk::core
