// Files that are not regular at the paths of INI files, the trace and the configuration
// directory's probe. Each call runs in a child stopped after a deadline (10 s, long enough for a
// loaded machine), so one that blocks fails the test instead of hanging it.
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

namespace {

using Kind = pvk::testing::FileOfKind;
using pvk::testing::nameOf;
using pvk::testing::typeAt;
using pvk::testing::withDeadline;

class FileKinds : public pvk::test::TraceTest {};

// The errno of an open for reading and of one for appending (0: it opened, and blocks again);
// whether the INI writer writes there. The INI readers give their defaults whatever stands at
// the path, and what stood there stays.
TEST_F(FileKinds, OnlyRegularFilesAreOpened) {
  const struct {
    Kind kind;
    int read, append;
    bool iniWritten;
  } cases[] = {
      {Kind::kRegular, 0, 0, true},           {Kind::kFifo, EINVAL, EINVAL, false},   {Kind::kZero, EINVAL, EINVAL, false},
      {Kind::kDirectory, EISDIR, EISDIR, false}, {Kind::kLinkToFile, 0, 0, true},     {Kind::kLinkLoop, ELOOP, ELOOP, false},
      {Kind::kDangling, ENOENT, 0, false},    {Kind::kMissing, ENOENT, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(nameOf(c.kind));
    const std::string p = path("f" + std::to_string(static_cast<int>(c.kind))), ini = p + ".ini";
    ASSERT_EQ(pvk::testing::makeFileOfKind(c.kind, p, "abc"), 0);
    ASSERT_EQ(pvk::testing::makeFileOfKind(c.kind, ini, "abc"), 0);
    const mode_t before = typeAt(ini);
    auto errnoOf = [&](int flags) {
      return withDeadline(10, [&] {
        errno = 0;
        const int fd = pvk::core::openRegularFd(p.c_str(), flags);
        if (fd < 0) return errno;
        const int blocking = (::fcntl(fd, F_GETFL) & O_NONBLOCK) == 0;
        ::close(fd);
        return blocking ? 0 : -1;
      });
    };
    EXPECT_EQ(errnoOf(O_RDONLY), c.read);
    EXPECT_EQ(errnoOf(O_WRONLY | O_APPEND | O_CREAT), c.append);
    EXPECT_EQ(withDeadline(10, [&] {
                char buf[32];
                const char* f = ini.c_str();
                const bool defaults = GetPrivateProfileString("General", "Log", "dflt", buf, sizeof buf, f) == 4 &&
                                      std::string(buf) == "dflt" && get_private_profile_int("General", "Log", 7, f) == 7;
                return (defaults ? 0 : 1) | (WritePrivateProfileString("General", "Log", "1", f) == 0 ? 0 : 2);
              }),
              c.iniWritten ? 2 : 0);
    EXPECT_EQ(typeAt(ini), c.kind == Kind::kMissing ? S_IFREG : before);
  }
  // A whole file is read up to a limit: a file of the limit is read, one a byte longer is not.
  std::vector<unsigned char> bytes{1, 2};
  pvk::test::writeFile(path("four"), "1234");
  EXPECT_TRUE(pvk::core::readRegularFile(path("four").c_str(), bytes, 4) && bytes.size() == 4);
  EXPECT_FALSE(pvk::core::readRegularFile(path("four").c_str(), bytes, 3));
  EXPECT_TRUE(errno == EFBIG && bytes.empty());
}

// Any regular file costs bounded time and memory: the readers stop at their limit, a line cut
// by it is not read, and the writer refuses a file it could not read whole.
TEST_F(FileKinds, IniFilesAreReadUpToTheirLimit) {
  const size_t limit = size_t{1} << 20;  // 1 MiB
  const std::string head = "[S]\r\n", key = "k=v\r\n", filler = "f=" + std::string(197, 'x') + "\r\n";
  for (const size_t end : {limit, limit + 1}) {  // where the key's line ends
    std::string text = head;
    while (end - key.size() - text.size() >= filler.size() + 2) text += filler;
    text += std::string(end - key.size() - text.size() - 2, 'y') + "\r\n" + key;
    pvk::test::writeFile(path("t.ini"), text);
    char buf[16];
    GetPrivateProfileString("S", "k", "dflt", buf, sizeof buf, path("t.ini").c_str());
    EXPECT_EQ(std::string(buf), end == limit ? "v" : "dflt") << text.size();
    EXPECT_EQ(WritePrivateProfileString("S", "k", "w", path("t.ini").c_str()), 0) << "longer once rewritten";
  }
  // Gigabytes with no line end after a key: the key is found, a missing key gives its default,
  // and the writer refuses, each at once.
  const std::string huge = path("huge.ini");
  pvk::test::writeFile(huge, "[S]\r\nk=v\r\n");
  ASSERT_EQ(::truncate(huge.c_str(), off_t{8} << 30), 0);
  EXPECT_EQ(withDeadline(10, [&] {
              char buf[16], none[16];
              GetPrivateProfileString("S", "k", "dflt", buf, sizeof buf, huge.c_str());
              GetPrivateProfileString("S", "none", "dflt", none, sizeof none, huge.c_str());
              return std::string(buf) == "v" && std::string(none) == "dflt" &&
                     get_private_profile_int("S", "none", 7, huge.c_str()) == 7 &&
                     WritePrivateProfileString("S", "k", "w", huge.c_str()) == 0;
            }),
            1);
}

// The trace and the directory probe neither block on a FIFO nor write into it.
TEST_F(FileKinds, TraceAndProbeSkipAFifo) {
  openTrace();
  ASSERT_EQ(::mkfifo(tracePath().c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((dir_ + pvk::core::kProbeFile).c_str(), 0600), 0);
  const int r = withDeadline(10, [&] {
    WriteTrace("a line", false);
    bool flag = true;
    FILE* t = TraceOpen(flag);
    if (t != nullptr) std::fclose(t);
    return (t == nullptr ? 0 : 1) | (DirExist(dir_.c_str()) ? 2 : 0);
  });
  EXPECT_EQ(r, 0);
  EXPECT_EQ(typeAt(tracePath()), static_cast<mode_t>(S_IFIFO));
}

}  // namespace
