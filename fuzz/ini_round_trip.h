// The INI round trip of the fuzzer, shared with the test that replays its committed inputs:
// any bytes as the file, reads of a few keys, then a write. What a read returns must be what
// the buffer holds; a key the writer set reads back; writing the same value again leaves the
// file as it is; nothing but the INI file is left in its directory.
#pragma once

#include <dirent.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "core/ini.h"

namespace pvk::fuzz {

inline std::string iniFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline int entriesIn(const std::string& dir) {
  int n = 0;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) ++n;
    ::closedir(d);
  }
  return n;
}

// Runs the round trip on iniPath (alone in dir); null when every check held, else the one that
// failed.
inline const char* iniRoundTrip(const uint8_t* data, size_t size, const std::string& dir,
                                const std::string& iniPath) {
  static const char* const kSections[] = {"S", "T", "General", ""};
  static const char* const kKeys[] = {"k", "key", "Log", "LogPath", "n"};
  static const char* const kValues[] = {"v9", "", "x y", "[1]", "a=b", "12345678901234567890"};
  if (size < 3) return nullptr;
  // The first bytes choose the read buffer, the section, the key and the value; the rest is the file.
  const long bufSize = 1 + data[0] % 300;
  const char* section = kSections[data[1] % std::size(kSections)];
  const char* key = kKeys[(data[1] >> 2) % std::size(kKeys)];
  const char* value = kValues[data[2] % std::size(kValues)];
  {
    std::ofstream out(iniPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data + 3), static_cast<std::streamsize>(size - 3));
  }
  const char* path = iniPath.c_str();
  char buf[300];
  for (const char* s : kSections)
    for (const char* k : kKeys) {
      std::memset(buf, 'z', sizeof buf);
      const long n = GetPrivateProfileString(s, k, "dflt", buf, bufSize, path);
      if (n < 0 || n >= bufSize || buf[n] != '\0' || std::strlen(buf) != static_cast<size_t>(n))
        return "a read returned another length than its buffer holds";
      get_private_profile_int(s, k, 7, path);
    }
  if (FILE* f = std::fopen(path, "rb")) {
    int n;
    bool fine = true;
    while ((n = read_line(f, buf, static_cast<int>(bufSize))) >= 0)
      fine = fine && (buf[0] == '\0' || (static_cast<int>(std::strlen(buf)) <= n && n < bufSize));
    std::fclose(f);
    if (!fine) return "read_line returned a line longer than its buffer";
  }
  auto valueOf = [&](const char* k) {
    GetPrivateProfileString(section, k, "<none>", buf, sizeof buf, path);
    return std::string(buf);
  };
  if (WritePrivateProfileString(section, key, value, path) == 1) {
    if (valueOf(key) != value) return "the key just written does not read back";
    const std::string once = iniFileBytes(iniPath);
    if (WritePrivateProfileString(section, key, value, path) != 1) return "writing the same value failed";
    if (iniFileBytes(iniPath) != once) return "writing the same value changed the file";
    if (WritePrivateProfileString(section, "n", "42", path) != 1) return "writing a second key failed";
    if (get_private_profile_int(section, "n", 7, path) != 42) return "the second key does not read back";
    if (std::strcmp(key, "n") != 0 && valueOf(key) != value) return "the second write lost the first key";
  }
  if (entriesIn(dir) != 1) return "a file besides the INI file was left";
  return nullptr;
}

}  // namespace pvk::fuzz
