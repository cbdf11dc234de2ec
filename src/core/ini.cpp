// INI reader and writer. Lines end in "\r\n" when written and in "\n" or "\r\n" when read;
// lines shorter than 3 characters are skipped; there is no comment syntax.
#include "core/ini.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/atomic_file.h"
#include "core/regular_file.h"
#include "core/trace.h"

namespace {

// Lines this long or longer (line end included) are too long for the readers' buffers.
constexpr size_t kReadLineSize = 256;
constexpr size_t kDefaultMax = 255;
constexpr size_t kMinLine = 3;

// The bytes of a file as the line reader takes them, at most `left` of them: the readers of the
// library's own INI files stop at kIniMaxBytes, so that any file, however long, costs bounded
// time; a line that runs past the limit is not read.
struct LineSource {
  FILE* f;
  size_t left;
  bool cut = false;  // stopped at the limit with more of the file behind it
  int get() {
    if (left == 0) {
      cut = cut || getc_unlocked(f) != EOF;
      return EOF;
    }
    --left;
    return getc_unlocked(f);
  }
};

// Reads one line with its line end, holding no more than its first `keep` bytes in line; returns
// the line's whole length, 0 at the end of the file (or of what may be read of it).
size_t readLine(LineSource& in, std::string& line, size_t keep) {
  line.clear();
  size_t n = 0;
  for (int c; (c = in.get()) != EOF;) {
    ++n;
    if (line.size() < keep) line.push_back(static_cast<char>(c));
    if (c == '\n') return n;
  }
  return in.cut ? 0 : n;
}

// A line as the readers see it: empty when too long for their buffer. False at the end.
bool readIniLine(LineSource& in, std::string& line) {
  const size_t n = readLine(in, line, kReadLineSize);
  if (n >= kReadLineSize) line.clear();
  return n > 0;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string stripLineEnd(const std::string& line) {
  size_t n = line.size();
  if (n > 0 && line[n - 1] == '\n') --n;
  if (n > 0 && line[n - 1] == '\r') --n;
  return line.substr(0, n);
}

// A section header: a line that holds "[name]" anywhere, so that a header behind a byte-order
// mark or other leading bytes of a hand-edited file is still found.
bool isSectionLine(const std::string& line, const std::string& bracketed) {
  return line.find(bracketed) != std::string::npos;
}

bool startsSection(const std::string& line) {
  size_t i = 0;
  while (i < line.size() && isBlank(line[i])) ++i;
  return i < line.size() && line[i] == '[';
}

// The whole key before the first '=', blanks around it ignored.
bool isKeyLine(const std::string& line, const char* key) {
  size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  size_t b = 0;
  size_t e = eq;
  while (b < e && isBlank(line[b])) ++b;
  while (e > b && isBlank(line[e - 1])) --e;
  return e - b == std::strlen(key) && line.compare(b, e - b, key) == 0;
}

// Moves f to the first line after the header of section; false when there is none.
bool findSection(LineSource& f, const std::string& bracketed) {
  std::string line;
  while (readIniLine(f, line)) {
    if (line.size() < kMinLine) continue;
    if (isSectionLine(line, bracketed)) return true;
  }
  return false;
}

// The key line of the current section, or false at its end.
bool findKey(LineSource& f, const char* key, std::string& found) {
  std::string line;
  while (readIniLine(f, line)) {
    if (line.size() < kMinLine) continue;
    if (startsSection(line)) return false;
    if (isKeyLine(line, key)) {
      found = line;
      return true;
    }
  }
  return false;
}

// The key line of key in [section] of f, read from the file's first kIniMaxBytes bytes.
bool findKeyLine(FILE* f, const char* section, const char* key, std::string& found) {
  LineSource in{f, pvk::core::kIniMaxBytes};
  return findSection(in, std::string("[") + section + "]") && findKey(in, key, found);
}

// The length returned is that of the text the caller finds in buf, so a garbled value is
// cut at its first NUL byte.
long putText(char* buf, long size, const std::string& text) {
  size_t n = std::min(text.size(), std::strlen(text.c_str()));
  if (n > static_cast<size_t>(size - 1)) n = static_cast<size_t>(size - 1);
  std::memcpy(buf, text.data(), n);
  buf[n] = '\0';
  return static_cast<long>(n);
}

}  // namespace

int read_line(FILE* f, char* buf, int size) {
  if (buf != nullptr && size > 0) buf[0] = '\0';
  if (f == nullptr) return -1;
  const size_t room = buf != nullptr && size > 0 ? static_cast<size_t>(size) : 0;
  LineSource in{f, SIZE_MAX};
  std::string line;
  const size_t n = readLine(in, line, room);
  if (n == 0) return -1;
  if (n < room) std::memcpy(buf, line.c_str(), n + 1);
  return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

long GetPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                             char* buf, long size, const char* path) {
  if (buf == nullptr || size < 1) {
    WriteTrace("GetPrivateProfileString with invalid buffer or lenght", false);
    return 0;
  }
  // The default is copied first: callers pass buf itself as the default of the next key.
  std::string def = defaultValue != nullptr ? defaultValue : "";
  if (def.size() > kDefaultMax) def.resize(kDefaultMax);
  buf[0] = '\0';
  if (path == nullptr) {
    WriteTrace("GetPrivateProfileString with NULL fname", false);
    return putText(buf, size, def);
  }
  if (section == nullptr || key == nullptr || key[0] == '\0') return putText(buf, size, def);
  FILE* f = pvk::core::openForReading(path);
  if (f == nullptr) return putText(buf, size, def);
  std::string line;
  const bool found = findKeyLine(f, section, key, line);
  std::fclose(f);
  if (!found) return putText(buf, size, def);
  std::string value = stripLineEnd(line.substr(line.find('=') + 1));
  return putText(buf, size, value);
}

int get_private_profile_int(const char* section, const char* key, int defaultNumber,
                            const char* path) {
  if (path == nullptr) return defaultNumber;
  FILE* f = pvk::core::openForReading(path);
  if (f == nullptr) return defaultNumber;
  std::string line;
  const bool found = section != nullptr && key != nullptr && key[0] != '\0' && findKeyLine(f, section, key, line);
  std::fclose(f);
  if (!found) return defaultNumber;
  std::string value = stripLineEnd(line.substr(line.rfind('=') + 1));
  size_t i = 0;
  while (i < value.size() && isBlank(value[i])) ++i;
  if (i == value.size()) return defaultNumber;
  if (value[i] < '0' || value[i] > '9') return 0;
  long long n = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    n = n * 10 + (value[i] - '0');
    if (n > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(n);
}

namespace {

// Lines the readers cannot see are copied but never taken for a section or a key, so that
// what the writer sets is what the readers find.
bool readable(const std::string& line) { return line.size() < kReadLineSize; }

// A copied line keeps its own line end and gets "\r\n" added. A last line that ends in a lone
// '\r' becomes a line ending in '\n' of the same length: the readers strip either end, and a
// line that was short enough for them stays short enough (with "\r\n" in place of the '\r'
// a 255-byte line would grow past their limit and vanish). A last line without any line end
// gets "\r\n", or '\n' where "\r\n" would take it past the limit; a 255-byte one cannot be
// given a line end and stay readable, and gives false.
bool copyLine(std::string& out, const std::string& line) {
  if (line.back() == '\r') {
    out.append(line, 0, line.size() - 1).append("\n\r\n");
  } else if (line.back() == '\n' || !readable(line)) {
    out += line + "\r\n";
  } else if (readable(line + "\r\n")) {
    out += line + "\r\n";
  } else if (readable(line + "\n")) {
    out += line + "\n\r\n";
  } else {
    return false;
  }
  return true;
}

// The lines of a file's bytes held in memory, each with its line end, as readLine gives them.
struct TextLines {
  const std::string& text;
  size_t at = 0;
  bool next(std::string& line) {
    if (at >= text.size()) return false;
    size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    line.assign(text, at, end - at);
    at = end;
    return true;
  }
};

enum class Edit { kUnchanged, kChanged, kRefused };

// Sets key=value in section of a file's contents (`exists` false: there is no file yet).
// Copied lines keep their line end and get "\r\n" added; lines shorter than 3 characters are
// dropped. kUnchanged when the key already holds the value, kRefused when a line the readers see
// could not be copied so that they still see it: the contents are then left as they are.
Edit setKey(std::string& text, bool& exists, const std::string& bracketed, const char* key,
            const std::string& keyLine) {
  std::string out;
  if (!exists) {
    text = bracketed + "\r\n" + keyLine + "\r\n\r\n";
    exists = true;
    return Edit::kChanged;
  }
  TextLines in{text};
  std::string line;
  bool inSection = false;
  while (in.next(line)) {
    if (line.size() < kMinLine) continue;
    if (!copyLine(out, line)) return Edit::kRefused;
    if (readable(line) && isSectionLine(line, bracketed)) {
      inSection = true;
      break;
    }
  }
  if (!inSection) {
    out += "\r\n" + bracketed + "\r\n" + keyLine + "\r\n\r\n";
    text.swap(out);
    return Edit::kChanged;
  }
  bool written = false;
  while (in.next(line)) {
    if (line.size() < kMinLine) continue;
    if (!written && readable(line) && isKeyLine(line, key)) {
      if (stripLineEnd(line) == keyLine) return Edit::kUnchanged;
      out += keyLine + "\r\n";
      written = true;
      continue;
    }
    if (!written && readable(line) && startsSection(line)) {
      out += keyLine + "\r\n\r\n";
      written = true;
    }
    if (!copyLine(out, line)) return Edit::kRefused;
  }
  if (!written) out += keyLine + "\r\n";
  out += "\r\n";
  text.swap(out);
  return Edit::kChanged;
}

// A section or key line the readers would skip once written with its line end.
bool fitsTheReaders(const std::string& bracketed, const char* const* keys, const char* const* values,
                    int count) {
  if (!readable(bracketed + "\r\n")) return false;
  for (int i = 0; i < count; ++i)
    if (!readable(std::string(keys[i]) + "=" + values[i] + "\r\n")) return false;
  return true;
}

}  // namespace

int WritePrivateProfileStrings(const char* section, const char* const* keys, const char* const* values, int count,
                               const char* path) {
  bool valid = section != nullptr && keys != nullptr && values != nullptr && count > 0 && path != nullptr &&
               path[0] != '\0';
  for (int i = 0; valid && i < count; ++i)
    valid = keys[i] != nullptr && keys[i][0] != '\0' && values[i] != nullptr;
  if (!valid) {
    WriteTrace("err - ", "WritePrivateProfileString with invalid parameter", false);
    return 0;
  }
  const std::string bracketed = std::string("[") + section + "]";
  if (!fitsTheReaders(bracketed, keys, values, count)) {
    WriteTrace("err - ", "WritePrivateProfileString line too long for", path, false);
    return 0;
  }
  std::vector<unsigned char> bytes;
  const bool exists = pvk::core::readRegularFile(path, bytes, pvk::core::kIniMaxBytes);
  const int readError = exists ? 0 : errno;
  if (readError != 0 && readError != ENOENT && readError != EFBIG) {
    WriteTrace("err - ", "WritePrivateProfileString cannot read", path, false);
    return 0;
  }
  pvk::core::AtomicFile out(path, pvk::core::FileKind::kState);
  if (!out.open()) {
    WriteTrace("err - ", "WritePrivateProfileString cannot create the temporary file for", path,
               false);
    return 0;
  }
  // The keys are set one after the other on the contents in memory, and the file is rewritten
  // once: what one rewrite per key would leave, for one flush to the disk.
  std::string text(bytes.begin(), bytes.end());
  bool ok = readError != EFBIG;
  bool present = exists;
  Edit edit = Edit::kUnchanged;
  for (int i = 0; ok && i < count && edit != Edit::kRefused; ++i) {
    const Edit e = setKey(text, present, bracketed, keys[i], std::string(keys[i]) + "=" + values[i]);
    if (e != Edit::kUnchanged) edit = e;
  }
  if (edit == Edit::kRefused) {
    WriteTrace("err - ", "WritePrivateProfileString a line could not stay readable in", path, false);
    return 0;
  }
  // Nor is a file written whose end the readers would not reach, before the edit or after it.
  if (!ok || text.size() > pvk::core::kIniMaxBytes) {
    errno = EFBIG;
    ok = false;
  }
  if (ok && edit == Edit::kChanged) ok = out.write(text) && out.commit();
  if (!ok) {
    WriteTrace("err - ", "WritePrivateProfileString failed on ", path, static_cast<int>(errno),
               false);
    return 0;
  }
  return 1;
}

int WritePrivateProfileString(const char* section, const char* key, const char* value,
                              const char* path) {
  return WritePrivateProfileStrings(section, &key, &value, 1, path);
}
