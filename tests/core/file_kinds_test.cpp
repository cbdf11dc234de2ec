// Files that are not regular where the library looks for its own: FIFOs, devices, directories
// and symbolic links at the paths of INI files, the trace and the probe of the configuration
// directory. Each call runs in a child that is stopped after a deadline, so a call that blocks
// fails the test instead of hanging it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "../common/child_process.h"
#include "../common/file_kinds.h"
#include "core/cnf_dir.h"
#include "core/ini.h"
#include "core/regular_file.h"
#include "core/trace.h"
#include "core_test_util.h"

using pvk::testing::kChildTimedOut;
using pvk::testing::withDeadline;

namespace {

// Long enough for a loaded machine, short enough for a blocked call to be found soon.
constexpr unsigned kDeadline = 10;

using Kind = pvk::testing::FileOfKind;
using pvk::testing::nameOf;
using pvk::testing::typeAt;

class FileKinds : public pvk::test::TraceTest {
 protected:
  void make(Kind k, const std::string& p, const std::string& text = "") {
    ASSERT_EQ(pvk::testing::makeFileOfKind(k, p, text), 0) << p;
  }
};

// errno of an open for reading and of an open for appending, 0 when it opened.
TEST_F(FileKinds, OnlyRegularFilesAreOpened) {
  const struct {
    Kind kind;
    int read, append;
  } cases[] = {
      {Kind::kRegular, 0, 0},          {Kind::kFifo, EINVAL, EINVAL},   {Kind::kZero, EINVAL, EINVAL},
      {Kind::kDirectory, EISDIR, EISDIR}, {Kind::kLinkToFile, 0, 0},   {Kind::kLinkLoop, ELOOP, ELOOP},
      {Kind::kDangling, ENOENT, 0},     {Kind::kMissing, ENOENT, 0},
  };
  int i = 0;
  for (const auto& c : cases) {
    const std::string p = path("f" + std::to_string(i++));
    make(c.kind, p, "abc");
    auto errnoOf = [&](int flags) {
      return withDeadline(kDeadline, [&] {
        errno = 0;
        const int fd = pvk::core::openRegularFd(p.c_str(), flags);
        if (fd < 0) return errno;
        const int blocking = (::fcntl(fd, F_GETFL) & O_NONBLOCK) == 0;
        ::close(fd);
        return blocking ? 0 : -1;
      });
    };
    EXPECT_EQ(errnoOf(O_RDONLY), c.read) << nameOf(c.kind);
    EXPECT_EQ(errnoOf(O_WRONLY | O_APPEND | O_CREAT), c.append) << nameOf(c.kind);
  }
  // A whole file is read up to a limit: a file of the limit is read, one a byte longer is not.
  std::vector<unsigned char> bytes{1, 2};
  pvk::test::writeFile(path("four"), "1234");
  EXPECT_TRUE(pvk::core::readRegularFile(path("four").c_str(), bytes, 4));
  EXPECT_EQ(bytes, (std::vector<unsigned char>{'1', '2', '3', '4'}));
  EXPECT_FALSE(pvk::core::readRegularFile(path("four").c_str(), bytes, 3));
  EXPECT_EQ(errno, EFBIG);
  EXPECT_TRUE(bytes.empty());
}

// The readers give their defaults and the writer refuses, at once; what stands at the path stays.
TEST_F(FileKinds, IniFilesThatAreNotRegularGiveDefaults) {
  int i = 0;
  for (Kind k : {Kind::kFifo, Kind::kZero, Kind::kDirectory, Kind::kLinkLoop}) {
    const std::string p = path("ini" + std::to_string(i++));
    make(k, p);
    const int r = withDeadline(kDeadline, [&] {
      char buf[32];
      const bool defaults = GetPrivateProfileString("General", "Log", "dflt", buf, sizeof buf, p.c_str()) == 4 &&
                            std::string(buf) == "dflt" && get_private_profile_int("General", "Log", 7, p.c_str()) == 7;
      return (defaults ? 0 : 1) | (WritePrivateProfileString("General", "Log", "1", p.c_str()) == 0 ? 0 : 2);
    });
    EXPECT_EQ(r, 0) << nameOf(k);
    EXPECT_EQ(typeAt(p), static_cast<mode_t>(k == Kind::kFifo ? S_IFIFO : k == Kind::kDirectory ? S_IFDIR : S_IFLNK))
        << nameOf(k);
  }
}

// A regular file of any length costs bounded time and memory: the readers stop at their limit, a
// line cut by it is not read, and the writer refuses a file it could not read whole.
TEST_F(FileKinds, IniFilesAreReadUpToTheirLimit) {
  const size_t limit = pvk::core::kIniMaxBytes;
  const std::string head = "[S]\r\n";
  const std::string key = "k=v\r\n";
  const std::string filler = "f=" + std::string(197, 'x') + "\r\n";  // 201 bytes
  const struct {
    size_t before;  // bytes of filler lines and of one shorter line between head and key
    bool found;
  } cases[] = {{limit - head.size() - key.size(), true}, {limit - head.size() - key.size() + 1, false}};
  for (const auto& c : cases) {
    std::string text = head;
    while (head.size() + c.before - text.size() >= filler.size() + 2) text += filler;
    text += std::string(head.size() + c.before - text.size() - 2, 'y') + "\r\n" + key;
    pvk::test::writeFile(path("t.ini"), text);
    char buf[16];
    GetPrivateProfileString("S", "k", "dflt", buf, sizeof buf, path("t.ini").c_str());
    EXPECT_EQ(std::string(buf), c.found ? "v" : "dflt") << text.size();
    EXPECT_EQ(WritePrivateProfileString("S", "k", "w", path("t.ini").c_str()), 0) << "longer once rewritten";
  }
  // Gigabytes with no line end after a key: the key is found, a missing key gives its default,
  // and the writer refuses, each at once.
  const std::string huge = path("huge.ini");
  pvk::test::writeFile(huge, "[S]\r\nk=v\r\n");
  ASSERT_EQ(::truncate(huge.c_str(), off_t{8} << 30), 0);
  const int r = withDeadline(kDeadline, [&] {
    char buf[16];
    GetPrivateProfileString("S", "k", "dflt", buf, sizeof buf, huge.c_str());
    const bool found = std::string(buf) == "v";
    GetPrivateProfileString("S", "none", "dflt", buf, sizeof buf, huge.c_str());
    const bool missing = std::string(buf) == "dflt" && get_private_profile_int("S", "none", 7, huge.c_str()) == 7;
    return (found ? 0 : 1) | (missing ? 0 : 2) | (WritePrivateProfileString("S", "k", "w", huge.c_str()) == 0 ? 0 : 4);
  });
  EXPECT_EQ(r, 0);
  // read_line holds no more of a line than its buffer takes, however long the line.
  FILE* f = std::fopen(huge.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  char line[8];
  EXPECT_EQ(read_line(f, line, sizeof line), 5);
  EXPECT_EQ(read_line(f, line, sizeof line), 5);
  EXPECT_EQ(std::string(line), "k=v\r\n");
  std::fclose(f);
}

// The trace and the directory probe neither block on a FIFO nor write into it.
TEST_F(FileKinds, TraceAndProbeSkipAFifo) {
  openTrace();
  make(Kind::kFifo, tracePath());
  make(Kind::kFifo, dir_ + pvk::core::kProbeFile);
  const int r = withDeadline(kDeadline, [&] {
    WriteTrace("a line", false);
    bool flag = true;
    FILE* t = TraceOpen(flag);
    const bool refused = t == nullptr;
    if (t != nullptr) std::fclose(t);
    return (refused ? 0 : 1) | (DirExist(dir_.c_str()) ? 2 : 0);
  });
  EXPECT_EQ(r, 0);
  EXPECT_EQ(typeAt(tracePath()), static_cast<mode_t>(S_IFIFO));
}

}  // namespace
