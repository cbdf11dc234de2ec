// Files written whole or not at all. Every file the library writes goes to a temporary file in
// the target's own directory, checked write by write, flushed and renamed over the target: on
// failure the old file stays as it was and no partial or temporary file is left behind. The
// target is a new file or a regular one, reached through any symbolic links to it (which stay);
// anything else (a FIFO, a device, a directory, a link loop or a dangling link) is refused.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace pvk::core {

// What a file is worth across a power loss.
enum class FileKind {
  kState,   // INI, counters and calibration files: data and directory entry synced, and the
            // temporaries that killed writers left beside the target are removed
  kOutput,  // images and dumps: the data synced before they replace an existing file
};

class AtomicFile {
 public:
  explicit AtomicFile(const char* path, FileKind kind = FileKind::kOutput);
  ~AtomicFile();  // discards what was not committed
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file. False, with errno set, when it cannot be created or the target
  // is refused (EINVAL not a regular file, EISDIR a directory, ELOOP, ENOENT a dangling link).
  bool open();
  // The stream to write through, opened "w+b" (what is written can be read back); null until
  // open() succeeded. Writers that use it directly report their failures with fail().
  FILE* stream() const { return out_; }
  // Writes the bytes unless an earlier write failed; false once anything failed.
  bool write(const void* data, size_t size);
  bool write(const std::string& text) { return write(text.data(), text.size()); }
  // Marks the file as failed (error: the errno to report).
  void fail(int error);
  bool ok() const { return out_ != nullptr && error_ == 0; }
  // Flushes, syncs and renames the file over the target. False leaves the target as it was,
  // removes the temporary file and sets errno.
  bool commit();
  // Drops what was written; the target stays as it was.
  void discard();
  // The errno of the first failure, 0 when none.
  int error() const { return error_; }

 private:
  bool openTemporary();
  bool nameTemporary();
  void closeStream();

  std::string path_;    // the target, symbolic links followed
  int linkError_ = 0;   // the errno that refuses the links to the target (a loop, a dangling link)
  std::string dir_;
  std::string tmp_;     // the temporary file's name once it has one
  FileKind kind_;
  FILE* out_ = nullptr;
  int error_ = 0;
  bool unnamed_ = false;   // an unnamed temporary file, given a name only at commit
  bool replaces_ = false;  // a regular file stands at the target
  bool done_ = false;
};

// Writes size bytes to path whole or not at all. False, with errno set, when it could not.
bool writeFileAtomically(const char* path, const void* data, size_t size,
                         FileKind kind = FileKind::kOutput);

// The last component of a path, and the directory before it ("." for a bare name).
std::string baseOf(const std::string& path);
std::string dirOf(const std::string& path);
// Makes the entries of a directory (files created, renamed, removed in it) durable.
void syncDirectory(const std::string& dir);

// Whether name (a directory entry) is a temporary file of the writers of target's base name.
bool isTemporaryOf(const std::string& name, const std::string& targetBase);

// Removes the temporary files beside path whose writing process is gone.
void removeStaleTemporaries(const char* path);

}  // namespace pvk::core
