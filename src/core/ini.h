// Windows-style INI files: the main configuration file (read only), the per-device counters
// file and the calibration scratch file (read and written). Every call opens and closes the file.
#pragma once

#include <cstddef>
#include <cstdio>

namespace pvk::core {
// The readers take no more than the first this many bytes of a file (a line running past them
// is not read), so that any file costs bounded time; the writer refuses a longer file.
constexpr size_t kIniMaxBytes = size_t{1} << 20;
}  // namespace pvk::core

// Reads one line, line end included, into buf (emptied first). A line that does not fit in
// size - 1 bytes leaves buf empty (and is read to its end without being held). Returns the line's length, or -1 at end of file or for a null f.
int read_line(FILE* f, char* buf, int size);

// Copies the value of key in [section] into buf (at most size - 1 characters, terminated) and
// returns its length; a missing file, section, key or '=' gives defaultValue (cut to 255
// characters; it may be buf itself). A key matches the whole text before the line's first '=',
// blanks around it ignored; a section ends at the next line that starts with '['.
// A null buf or a size below 1 returns 0.
long GetPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                             char* buf, long size, const char* path);

// The leading decimal digits of the value of key in [section] (blanks after the '=' skipped);
// defaultNumber when the file, section, key or value is missing, 0 when the value does not
// start with a digit.
int get_private_profile_int(const char* section, const char* key, int defaultNumber,
                            const char* path);

// Sets key=value in [section], adding the section or the key when missing. The file is rewritten
// through a temporary file beside it and renamed over it, so a failure leaves the old file whole.
// Returns 1 on success, 0 on failure.
int WritePrivateProfileString(const char* section, const char* key, const char* value,
                              const char* path);

// Sets keys[i]=values[i] in [section] for each of the count keys in turn, as that many calls of
// WritePrivateProfileString would, with the file rewritten once. Returns 1 on success, 0 on failure
// (the file then as it was).
int WritePrivateProfileStrings(const char* section, const char* const* keys, const char* const* values, int count,
                               const char* path);
