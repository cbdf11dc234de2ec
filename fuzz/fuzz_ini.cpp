// INI files as they enter: any bytes as the file, then reads of a few keys and a write in a
// temporary directory. What a read returns must be what the buffer holds; a key the writer
// set reads back; writing the same value again leaves the file as it is; no file is left over.
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/ini.h"
#include "core/records.h"

namespace {

constexpr size_t kMaxInput = 1 << 16;

char dir[] = "/tmp/pvk_fuzz_ini_XXXXXX";
std::string iniPath;

void removeDir() {
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

void setUp() {
  static bool done = false;
  if (done) return;
  done = true;
  if (::mkdtemp(dir) == nullptr) std::abort();
  iniPath = std::string(dir) + "/f.ini";
  std::atexit(removeDir);
  std::memset(&MyLog, 0, sizeof MyLog);  // no trace file
}

void check(bool ok) {
  if (!ok) __builtin_trap();
}

std::string readAll() {
  std::ifstream in(iniPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int filesInDir() {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    (void)e;
    ++n;
  }
  return n;
}

const char* const kSections[] = {"S", "T", "General", ""};
const char* const kKeys[] = {"k", "key", "Log", "LogPath", "n"};
const char* const kValues[] = {"v9", "", "x y", "[1]", "a=b", "12345678901234567890"};

// Reads a key with a buffer of the given size; the result is the length of what buf holds.
void readString(const char* section, const char* key, long size) {
  char buf[300];
  std::memset(buf, 'z', sizeof buf);
  const long n = GetPrivateProfileString(section, key, "dflt", buf, size, iniPath.c_str());
  check(n >= 0 && n < size && buf[n] == '\0' && std::strlen(buf) == static_cast<size_t>(n));
}

void readLines(long size) {
  FILE* f = std::fopen(iniPath.c_str(), "rb");
  if (f == nullptr) return;
  char buf[300];
  int n;
  while ((n = read_line(f, buf, static_cast<int>(size))) >= 0)
    check(buf[0] == '\0' || (static_cast<int>(std::strlen(buf)) <= n && n < size));
  std::fclose(f);
}

std::string valueOf(const char* section, const char* key) {
  char buf[300];
  GetPrivateProfileString(section, key, "<none>", buf, sizeof buf, iniPath.c_str());
  return buf;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setUp();
  if (size < 3 || size > kMaxInput) return 0;
  // The first bytes choose the read buffer, the section, the key and the value; the rest is the file.
  const long bufSize = 1 + data[0] % 300;
  const char* section = kSections[data[1] % std::size(kSections)];
  const char* key = kKeys[(data[1] >> 2) % std::size(kKeys)];
  const char* value = kValues[data[2] % std::size(kValues)];
  {
    std::ofstream out(iniPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data + 3), static_cast<std::streamsize>(size - 3));
  }
  for (const char* s : kSections)
    for (const char* k : kKeys) {
      readString(s, k, bufSize);
      get_private_profile_int(s, k, 7, iniPath.c_str());
    }
  readLines(bufSize);

  if (WritePrivateProfileString(section, key, value, iniPath.c_str()) == 1) {
    check(valueOf(section, key) == value);
    const std::string once = readAll();
    check(WritePrivateProfileString(section, key, value, iniPath.c_str()) == 1);
    check(readAll() == once);
    check(WritePrivateProfileString(section, "n", "42", iniPath.c_str()) == 1);
    check(get_private_profile_int(section, "n", 7, iniPath.c_str()) == 42);
    if (std::strcmp(key, "n") != 0) check(valueOf(section, key) == value);
  }
  check(filesInDir() == 1);
  return 0;
}
