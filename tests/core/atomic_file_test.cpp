// Files written whole or not at all: a new file, a replaced one, a write that stops at a full
// disk, a writer killed half way, links and devices as targets, and the temporaries that dead
// writers left beside a target.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "../common/file_kinds.h"
#include "../common/file_limit.h"
#include "core/atomic_file.h"
#include "core/ini.h"
#include "core/trace.h"
#include "core_test_util.h"

using pvk::core::AtomicFile;
using pvk::core::FileKind;
using pvk::testing::fileBytes;
using pvk::testing::filesIn;
using pvk::testing::withFileLimit;
using Names = std::set<std::string>;

namespace {

class AtomicWrite : public pvk::test::TempDirTest {
 protected:
  std::string target() const { return path("out.bin"); }
  // A pid that names no process: a child that has already been reaped.
  static pid_t deadPid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
  }
};

TEST_F(AtomicWrite, NewAndReplacedFilesAppearWholeWithTheirMode) {
  const std::string big(100000, 'x');
  ASSERT_TRUE(pvk::core::writeFileAtomically(target().c_str(), big.data(), big.size()));
  EXPECT_EQ(fileBytes(target()), big);
  ::chmod(target().c_str(), 0640);
  ASSERT_TRUE(pvk::core::writeFileAtomically(target().c_str(), "new", 3, FileKind::kState));
  EXPECT_EQ(fileBytes(target()), "new");
  struct stat st {};
  ::stat(target().c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(filesIn(dir_), Names{"out.bin"});
}

TEST_F(AtomicWrite, AFullDiskLeavesTheOldFileWholeAndNothingElse) {
  pvk::test::writeFile(target(), "old contents");
  const int r = withFileLimit(4096, [&] {
    AtomicFile f(target().c_str());
    if (!f.open()) return 1;
    const std::string chunk(1000, 'n');
    for (int i = 0; i < 10; ++i) f.write(chunk);
    if (f.commit()) return 2;
    return errno == EFBIG && f.error() == EFBIG ? 0 : 3;
  });
  EXPECT_EQ(r, 0);
  EXPECT_EQ(fileBytes(target()), "old contents");
  EXPECT_EQ(filesIn(dir_), Names{"out.bin"});
  // A failure that the flush finds (the bytes fit the stream's buffer) is caught as well.
  EXPECT_EQ(withFileLimit(10, [&] { return pvk::core::writeFileAtomically(target().c_str(), "0123456789ab", 12); }), 0);
  EXPECT_EQ(fileBytes(target()), "old contents");
  EXPECT_EQ(filesIn(dir_), Names{"out.bin"});
}

TEST_F(AtomicWrite, AnUncommittedFileIsDropped) {
  pvk::test::writeFile(target(), "old");
  {
    AtomicFile f(target().c_str());
    ASSERT_TRUE(f.open());
    f.write("half", 4);
  }
  AtomicFile g(target().c_str());
  ASSERT_TRUE(g.open());
  g.fail(EIO);
  EXPECT_FALSE(g.commit());
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(fileBytes(target()), "old");
  EXPECT_EQ(filesIn(dir_), Names{"out.bin"});
}

TEST_F(AtomicWrite, AWriterKilledHalfWayLeavesTheOldFile) {
  pvk::test::writeFile(target(), "old");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    AtomicFile f(target().c_str(), FileKind::kState);
    if (!f.open()) ::_exit(1);
    f.write(std::string(50000, 'k'));
    std::fflush(f.stream());
    char c = 1;
    if (::write(ready[1], &c, 1) != 1) ::_exit(2);
    ::pause();
    ::_exit(3);
  }
  char c;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_EQ(fileBytes(target()), "old");
  // Whatever a killed writer could leave, the next writer of the file clears it away.
  ASSERT_EQ(WritePrivateProfileString("S", "k", "1", target().c_str()), 1);
  EXPECT_EQ(filesIn(dir_), Names{"out.bin"});
}

// Hosts killed at any moment of their counter writes: the file always reads whole, and nothing
// is left beside it once the next writer has been there.
TEST_F(AtomicWrite, HostsKilledDuringCounterWritesLeaveNothingBehind) {
  const std::string reg = path("pid_0009_1.reg");
  ASSERT_EQ(WritePrivateProfileString("General", "nPagesCur", "0", reg.c_str()), 1);
  unsigned seed = 7;
  for (int round = 0; round < 12; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
      for (int i = 1;; ++i) WritePrivateProfileString("General", "nPagesCur", std::to_string(i).c_str(), reg.c_str());
    seed = seed * 1103515245u + 12345u;
    timespec pause{0, static_cast<long>(200000 + (seed >> 16) % 3000000)};
    ::nanosleep(&pause, nullptr);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    char count[32];
    GetPrivateProfileString("General", "nPagesCur", "none", count, sizeof count, reg.c_str());
    EXPECT_TRUE(count[0] >= '0' && count[0] <= '9') << round << ": " << count;
  }
  ASSERT_EQ(WritePrivateProfileString("General", "nPages", "1", reg.c_str()), 1);
  EXPECT_EQ(filesIn(dir_), Names{"pid_0009_1.reg"});
}

TEST_F(AtomicWrite, StaleTemporariesOfDeadWritersAreRemoved) {
  const std::string dead = ".out.bin.pvk" + std::to_string(deadPid()) + "-abc123";
  const std::string live = ".out.bin.pvk1-zzz999";  // pid 1 is always there
  const std::string mine = ".out.bin.pvk" + std::to_string(::getpid()) + "-mine00";
  const std::string other = ".other.bin.pvk" + std::to_string(deadPid()) + "-abc123";
  for (const auto& n : {dead, live, mine, other}) pvk::test::writeFile(path(n), "x");
  ASSERT_EQ(WritePrivateProfileString("S", "k", "1", target().c_str()), 1);
  EXPECT_EQ(filesIn(dir_), (Names{"out.bin", live, mine, other}));
}

TEST(AtomicWriteNames, TemporariesAreToldByTargetPidAndSuffix) {
  using pvk::core::isTemporaryOf;
  const struct { const char* name; bool is; } cases[] = {
      {".a.reg.pvk123-abcdef", true},  {".a.reg.pvk1-000000", true},  {".a.reg.pvk-abcdef", false},
      {".a.reg.pvk123-abcde", false},  {".a.reg.pvk123abcdef", false}, {".a.reg.pvk12x-abcdef", false},
      {"a.reg.pvk123-abcdef", false},  {".b.reg.pvk123-abcdef", false}, {".a.reg", false},
      {".a.reg.pvk123-abcdefg", false},
  };
  for (const auto& c : cases) EXPECT_EQ(isTemporaryOf(c.name, "a.reg"), c.is) << c.name;
  // A long target name is cut in its temporaries, which still belong to it.
  const std::string longName(240, 'L');
  EXPECT_TRUE(isTemporaryOf("." + longName.substr(0, 200) + ".pvk42-qwerty", longName));
}

// A target reached through links is replaced in its own directory and the links stay; what is
// not a regular file or a new one is refused at once and left as it was.
TEST_F(AtomicWrite, LinksAreFollowedAndOnlyRegularFilesReplaced) {
  ASSERT_EQ(::mkdir(path("sub").c_str(), 0700), 0);
  pvk::test::writeFile(path("sub/real.bin"), "old");
  ASSERT_EQ(::symlink("sub/real.bin", path("link").c_str()), 0);
  ASSERT_EQ(::symlink("real.bin", path("sub/inner").c_str()), 0);
  ASSERT_EQ(::symlink("sub/inner", path("chain").c_str()), 0);
  ASSERT_EQ(::symlink("loop", path("loop").c_str()), 0);
  ASSERT_EQ(::symlink("made.bin", path("dangling").c_str()), 0);
  ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(path("dir").c_str(), 0700), 0);
  ASSERT_EQ(pvk::testing::makeDeviceOrFifo(path("dev")), 0);
  ASSERT_EQ(::symlink("dev", path("null").c_str()), 0);
  const struct {
    std::string target;
    int error;  // 0: written
  } cases[] = {
      {path("link"), 0},          {path("chain"), 0},         {path("loop"), ELOOP},
      {path("dangling"), ENOENT}, {path("fifo"), EINVAL},     {path("dir"), EISDIR},
      {path("null"), EINVAL},     {path("dev"), EINVAL},       {path("no/such/dir/x"), ENOENT},
  };
  for (const auto& c : cases) {
    const int r = pvk::testing::withDeadline(10, [&] {
      errno = 0;
      return pvk::core::writeFileAtomically(c.target.c_str(), c.target.data(), c.target.size()) ? 0 : errno;
    });
    EXPECT_EQ(r, c.error) << c.target;
    if (c.error == 0) {
      EXPECT_EQ(fileBytes(path("sub/real.bin")), c.target);
    }
  }
  struct stat st {};
  for (const char* link : {"link", "chain", "sub/inner", "loop", "dangling", "null"})
    EXPECT_TRUE(::lstat(path(link).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) << link;
  EXPECT_TRUE(::stat(path("dev").c_str(), &st) == 0 && !S_ISREG(st.st_mode));
  EXPECT_FALSE(pvk::core::writeFileAtomically(nullptr, "x", 1));
  EXPECT_EQ(filesIn(dir_), (Names{"sub", "link", "chain", "loop", "dangling", "fifo", "dir", "dev", "null"}));
  EXPECT_EQ(filesIn(path("sub")), (Names{"real.bin", "inner"}));
}

// The INI writer and the trace on a full disk: the INI file stays as it was and the writer says
// so; a trace line that does not fit is not left half written.
class FullDisk : public pvk::test::TraceTest {};

TEST_F(FullDisk, IniWriterKeepsTheOldFileAndReportsFailure) {
  const std::string ini = path("t.ini");
  const std::string text = "[General]\r\n" + std::string(200, ';') + "\r\nA=1\r\n";
  pvk::test::writeFile(ini, text);
  EXPECT_EQ(withFileLimit(64, [&] { return WritePrivateProfileString("General", "A", "2", ini.c_str()); }), 0);
  EXPECT_EQ(fileBytes(ini), text);
  EXPECT_EQ(withFileLimit(8, [&] { return WritePrivateProfileString("New", "K", "v", path("new.ini").c_str()); }), 0);
  EXPECT_EQ(filesIn(dir_), Names{"t.ini"});
  EXPECT_EQ(withFileLimit(1 << 20, [&] { return WritePrivateProfileString("General", "A", "2", ini.c_str()); }), 1);
}

TEST_F(FullDisk, ATraceLineIsWrittenWholeOrNotAtAll) {
  openTrace();
  WriteTrace("first line", false);
  const std::string before = trace();
  const int r = withFileLimit(before.size() + 20, [&] {
    WriteTrace("a line far too long to fit in what is left of the file", false);
    WriteTrace("short", false);  // 7 bytes with its CR LF: still fits
    return 0;
  });
  EXPECT_EQ(r, 0);
  EXPECT_EQ(trace(), before + "short\r\n");
}

}  // namespace
