// The font database listing as a host sees it: the names are the files the document types use,
// the end and an empty directory answer -1 with the buffer cleared, and the listing leaves the
// document type where the host put it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <set>

#include "../api/loaded/loaded_library.h"

namespace {

using pvk::test::countOf;

class DbListing : public pvk::test::LoadedLibrary {
 protected:
  void loadWith(const std::string& dbDir, const std::string& general = "LogTimeStamp=0\r\n") {
    load(general, "[OCR]\r\nDBDir=" + dbDir + "\r\n[Ocr]\r\ntypeDoc=5\r\n");
  }
  int first(char* b) { return fn<decltype(PVKFirstDataBaseFN)>("PVKFirstDataBaseFN")(b); }
  int next(char* b) { return fn<decltype(PVKNextDataBaseFN)>("PVKNextDataBaseFN")(b); }
  short docType() {
    short v = -1;
    EXPECT_EQ(fn<decltype(PVKGetParameter)>("PVKGetParameter")(3, &v), 0);
    return v;
  }
  std::string ownTrace() const { return pvk::test::readText(cnfDir_ + "/libPlavikMS_scan_read_listing_tests.log"); }
};

bool allZero(const char* b, int n) {
  for (int i = 0; i < n; ++i)
    if (b[i] != 0) return false;
  return true;
}

TEST_F(DbListing, NamesAreTheGeneratedFilesEachOnceThenMinusOneForGood) {
  loadWith(PVK_FONT_DB_DIR);
  std::set<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(PVK_FONT_DB_DIR))
    if (e.path().extension() == ".DB") files.insert(e.path().filename().string());
  ASSERT_GE(files.size(), 20u);

  ASSERT_EQ(docType(), 5);
  std::multiset<std::string> listed;
  char name[260];
  std::memset(name, 'x', sizeof name);
  for (int r = first(name); r == 0; r = next(name)) {
    EXPECT_TRUE(allZero(name + std::strlen(name), 260 - static_cast<int>(std::strlen(name)))) << name;
    listed.insert(name);
    ASSERT_LT(listed.size(), 100u);
  }
  EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), files);
  EXPECT_EQ(listed.size(), files.size()) << "no name twice";
  EXPECT_EQ(lastResult(), -1);
  EXPECT_TRUE(allZero(name, 260));
  EXPECT_EQ(docType(), 5) << "the listing sets every type up and must put the host's back";

  // An index that moved on at every call past the end would wrap around to the first name.
  std::memset(name, 'x', sizeof name);
  int stillEnd = 0;
  for (int i = 0; i < 70000; ++i) stillEnd += next(name) == -1;
  EXPECT_EQ(stillEnd, 70000);
  EXPECT_TRUE(allZero(name, 260));

  // A new first call starts over.
  ASSERT_EQ(first(name), 0);
  EXPECT_EQ(files.count(name), 1u) << name;
  EXPECT_EQ(lastResult(), 0);
}

TEST_F(DbListing, AnEmptyDirectoryListsNothing) {
  const std::string empty = root_ + "/nofonts/";
  std::filesystem::create_directories(empty);
  loadWith(empty);
  char name[260];
  std::memset(name, 'x', sizeof name);
  EXPECT_EQ(first(name), -1);
  EXPECT_TRUE(allZero(name, 260));
  EXPECT_EQ(lastResult(), -1);
  std::memset(name, 'x', sizeof name);
  EXPECT_EQ(next(name), -1);
  EXPECT_TRUE(allZero(name, 260));
  EXPECT_EQ(docType(), 5);
  const std::string t = ownTrace();
  EXPECT_EQ(countOf(t, "setting first database\r\n"), 1) << t;
  EXPECT_EQ(countOf(t, "setting next database\r\n"), 1) << t;
}

// A FIFO named like a database the engine uses is no file it could load: the listing fails at
// once, as for an unreadable file, instead of waiting in open() for a writer that never comes.
TEST_F(DbListing, AFifoNamedLikeADatabaseIsRefusedWithoutWaiting) {
  const std::string dir = root_ + "/fifo/";
  std::filesystem::create_directories(dir);
  ASSERT_EQ(mkfifo((dir + "OCRBA04.DB").c_str(), 0600), 0);
  loadWith(dir);
  char name[260];
  auto listed = std::async(std::launch::async, [&] { return first(name); });
  if (listed.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    const int fd = open((dir + "OCRBA04.DB").c_str(), O_WRONLY | O_NONBLOCK);  // lets the open end
    if (fd >= 0) close(fd);
    FAIL() << "the listing waited on the FIFO";
  }
  EXPECT_EQ(listed.get(), -1);
  EXPECT_EQ(lastResult(), -1);
  EXPECT_NE(ownTrace().find("font database not readable OCRBA04.DB"), std::string::npos) << ownTrace();
}

TEST_F(DbListing, NullBufferIsRefused) {
  loadWith(PVK_FONT_DB_DIR);
  EXPECT_EQ(first(nullptr), -3);
  EXPECT_EQ(lastResult(), -3);
  EXPECT_EQ(next(nullptr), -3);
  EXPECT_EQ(lastResult(), -3);
}

}  // namespace
