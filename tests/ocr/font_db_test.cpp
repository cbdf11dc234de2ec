// Font database files as the layout defines them, the registration of databases in the list,
// and the template store they are loaded into.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <future>

#include "ocr_base_fixture.h"

namespace {

using pvk::test::Cell;
using pvk::test::countOf;
using pvk::test::DbChar;
using pvk::test::dbBytes;
using pvk::test::OcrBaseTest;
using pvk::test::someChars;

class FontDb : public OcrBaseTest {};

// Row 0 holds the top-left pixel only, row 1 the two right columns, row 31 one pixel at
// column 15: any swap of bytes, bits or rows shows.
TEST_F(FontDb, CellsKeepTheirRowAndBitOrder) {
  writeDb("ASYM.DB", {{'7', Cell{0x80000000u, 0x00000003u}, 0x5A}});
  std::string bytes = pvk::test::readFile(path("ASYM.DB"));
  ASSERT_EQ(bytes.substr(0, 9), std::string("\x01\0\0\0" "7\0\0\0\x80", 9));
  bytes[5 + 31 * 4 + 2] = 0x01;  // row 31, third byte: bit 16
  pvk::test::writeFile(path("ASYM.DB"), bytes);

  ASSERT_TRUE(registerDb("asym.db"));
  EXPECT_EQ(data_ascii[1], '7');
  EXPECT_EQ(data_std_bbk[1][0], 0x80000000u);
  EXPECT_EQ(data_std_bbk[1][1], 0x00000003u);
  EXPECT_EQ(data_std_bbk[1][31], 0x00010000u);
  for (int row = 2; row < 31; ++row) EXPECT_EQ(data_std_bbk[1][row], 0u) << row;
  EXPECT_EQ(data_attr[1][0], 0x5A);
  EXPECT_EQ(data_attr[1][31], 0x5A);
}

TEST_F(FontDb, DatabasesFillTheStoreInOrderFromIndexOne) {
  writeDb("FIRSTA.DB", someChars(2, 'a'));
  // Bytes after the last attribute record are ignored.
  pvk::test::writeFile(path("SECOND.DB"), dbBytes(someChars(3, 'X')) + "trailing bytes");
  ASSERT_TRUE(registerDb("firstA.db", true, 1.3f, false));
  ASSERT_TRUE(registerDb("Second.db", false, 0.8f, true));
  EXPECT_EQ(nDBLoaded, 2);
  EXPECT_EQ(dfnchars, 6);
  EXPECT_EQ(nchars, 6);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data_ascii + 1), 5), "abXYZ");
  EXPECT_EQ(data_ascii[6], 0);
  for (int i = 1; i <= 5; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(data_std_bbk[i][0], data_ascii[i]);
    EXPECT_EQ(data_attr[i][7], data_ascii[i]);
    EXPECT_EQ(pDB[i], &DBList[i <= 2 ? 0 : 1]);
  }
  const DBEntry& second = DBList[1];
  EXPECT_STREQ(second.name, "SECOND.DB");
  EXPECT_EQ(second.index, 1);
  EXPECT_EQ(second.narrow, 0);
  EXPECT_EQ(second.split, 1);
  EXPECT_EQ(second.loaded, 1);
  EXPECT_FLOAT_EQ(second.spaceFactor, 0.8f);
  EXPECT_EQ(ValidDB[0] + ValidDB[1], 2);
  char name[kDBNameSize];
  ASSERT_TRUE(ocr_db_fname(0, name));
  EXPECT_STREQ(name, "FIRSTA.DB");
  EXPECT_FALSE(ocr_db_fname(2, name));
  EXPECT_FALSE(ocr_db_fname(-1, name));
}

// A file that ends inside the count, the codes, a cell or an attribute record, and one whose
// count is 0: a database without characters.
TEST_F(FontDb, ShortFilesAreRefused) {
  const std::string whole = dbBytes(someChars(3));
  const struct {
    const char* what;
    std::string bytes;
  } cuts[] = {{"count", whole.substr(0, 2)},
              {"codes", whole.substr(0, 6)},
              {"cell", whole.substr(0, 7 + 128 + 60)},
              {"attribute", whole.substr(0, whole.size() - 1)},
              {"no character", dbBytes(someChars(3), 0)}};
  for (const auto& cut : cuts) {
    SCOPED_TRACE(cut.what);
    ocr_clear();
    MyDev.lastResult = 0;
    pvk::test::writeFile(path("SHORT.DB"), cut.bytes);
    const size_t before = countOf(trace(), "err -  Reading database  ");
    EXPECT_FALSE(registerDb("short.db"));
    EXPECT_EQ(MyDev.lastResult, -34);
    EXPECT_EQ(countOf(trace(), "err -  Reading database  "), before + 1) << trace();
    EXPECT_EQ(nDBLoaded, 0) << "a failed load is not counted";
    EXPECT_EQ(DBList[0].loaded, 0);
  }
}

// A FIFO or a directory named like a database is no database: refused at once, never waited on
// (a FIFO without a writer would hold the host in open() for ever).
TEST_F(FontDb, OnlyRegularFilesAreOpened) {
  ASSERT_EQ(mkfifo(path("FIFO.DB").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(path("DIR.DB").c_str(), 0700), 0);
  for (const char* name : {"fifo.db", "dir.db"}) {
    SCOPED_TRACE(name);
    ocr_clear();
    MyDev.lastResult = 0;
    auto refused = std::async(std::launch::async, [&] { return !registerDb(name); });
    if (refused.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      // Give the blocked open its writer, so that the test ends.
      const int fd = open(path("FIFO.DB").c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) close(fd);
      FAIL() << "opening waited on the FIFO";
    }
    EXPECT_TRUE(refused.get());
    EXPECT_EQ(MyDev.lastResult, -34);
    EXPECT_EQ(nDBLoaded, 0);
  }
}

TEST_F(FontDb, AMissingFileIsTracedWithItsUpperCasePath) {
  writeDb("ocrba04.db", someChars(1));  // lower case on disk is not found
  EXPECT_FALSE(registerDb("ocrbA04.db"));
  EXPECT_EQ(MyDev.lastResult, -34);
  EXPECT_NE(trace().find("- err - Reading database " + path("OCRBA04.DB") + "\r\n"), std::string::npos) << trace();
  EXPECT_FALSE(ocr_init("ocrbA04.db", 1, true, 1.0f, false, false));
  EXPECT_EQ(countOf(trace(), "Reading database"), 1) << "quiet without verbose";
}

TEST_F(FontDb, ARegisteredDatabaseIsReadOnce) {
  writeDb("ONCE.DB", someChars(4));
  ASSERT_TRUE(registerDb("once.db"));
  ASSERT_EQ(std::remove(path("ONCE.DB").c_str()), 0);
  EXPECT_TRUE(registerDb("ONCE.DB"));
  EXPECT_TRUE(registerDb("once.d")) << "a listed name that begins with the new one matches";
  EXPECT_EQ(nDBLoaded, 1);
  EXPECT_EQ(dfnchars, 5);
}

// The files are kept between set-ups, but a file rewritten since (here within the same second,
// the same size) is read again, and one removed is missing again.
TEST_F(FontDb, AKeptFileThatChangedIsReadAgain) {
  for (char first : {'a', 'k'}) {
    writeDb("KEPT.DB", someChars(3, first));
    ocr_clear();
    ASSERT_TRUE(registerDb("kept.db"));
    EXPECT_EQ(data_ascii[1], first);
  }
  ASSERT_EQ(std::remove(path("KEPT.DB").c_str()), 0);
  ocr_clear();
  EXPECT_FALSE(registerDb("kept.db"));
  EXPECT_EQ(MyDev.lastResult, -34);
}

TEST_F(FontDb, NameLengthsAndTheNullName) {
  caricadati = false;
  EXPECT_TRUE(registerDb("abcd"));
  EXPECT_TRUE(registerDb(std::string(31, 'n').c_str()));
  for (const std::string& bad : {std::string("abc"), std::string(32, 'n'), std::string(300, 'n')}) {
    MyDev.lastResult = 0;
    EXPECT_FALSE(registerDb(bad.c_str())) << bad.size();
    EXPECT_EQ(MyDev.lastResult, -34);
  }
  EXPECT_EQ(countOf(trace(), "databases filename error abc\r\n"), 1) << trace();
  EXPECT_FALSE(registerDb(nullptr));
  EXPECT_EQ(MyDev.lastResult, -3);
  EXPECT_NE(trace().find("err -  opening DB without filename\r\n"), std::string::npos);
  EXPECT_EQ(nDBLoaded, 2);
}

// With loading off nothing is opened: 63 names fit, the 64th does not, and all stay listed.
TEST_F(FontDb, SixtyThreeNamesFitTheList) {
  caricadati = false;
  char name[16];
  for (int i = 0; i < kDBMax; ++i) {
    std::snprintf(name, sizeof name, "db%02d.db", i);
    ASSERT_TRUE(registerDb(name)) << name;
  }
  EXPECT_FALSE(registerDb("db63.db"));
  EXPECT_EQ(MyDev.lastResult, -34);
  EXPECT_NE(trace().find("err -  too many databases loaded - clearing previous\r\n"), std::string::npos);
  EXPECT_TRUE(registerDb("db07.db")) << "a listed name is still found";
  EXPECT_EQ(nDBLoaded, kDBMax);
  EXPECT_EQ(ValidDB[kDBMax - 1], 1);
  char listed[kDBNameSize];
  for (short i = 0; i < kDBMax; ++i) {
    std::snprintf(name, sizeof name, "DB%02d.DB", i);
    ASSERT_TRUE(ocr_db_fname(i, listed));
    EXPECT_STREQ(listed, name);
  }
  EXPECT_EQ(dfnchars, 1) << "nothing was loaded";
}

// A name listed while loading was off is loaded into its own entry once loading is on.
TEST_F(FontDb, AListedNameIsLoadedInPlace) {
  caricadati = false;
  ASSERT_TRUE(registerDb("first.db"));
  ASSERT_TRUE(registerDb("later.db"));
  writeDb("LATER.DB", someChars(2));
  caricadati = true;
  ASSERT_TRUE(registerDb("later.db", false, 2.5f));
  EXPECT_EQ(nDBLoaded, 2);
  EXPECT_EQ(DBList[1].loaded, 1);
  EXPECT_FLOAT_EQ(DBList[1].spaceFactor, 2.5f);
  EXPECT_EQ(pDB[1], &DBList[1]);
}

TEST_F(FontDb, TheStoreHoldsTwoThousandCells) {
  writeDb("BIG.DB", someChars(1500, 0));
  writeDb("MORE.DB", someChars(600, 0));
  writeDb("ONE.DB", someChars(1));
  ASSERT_TRUE(registerDb("big.db"));
  EXPECT_FALSE(registerDb("more.db"));
  EXPECT_EQ(MyDev.lastResult, -34);
  EXPECT_EQ(dfnchars, 2101);
  EXPECT_FALSE(registerDb("one.db")) << "every later load fails until the list is cleared";
  EXPECT_EQ(countOf(trace(), "err -  Reading database - too many chars 2101\r\n"), 1) << trace();
  EXPECT_EQ(countOf(trace(), "err -  Reading database - too many chars 2102\r\n"), 1);
  EXPECT_EQ(nchars, 1501);
  ocr_clear();
  EXPECT_EQ(DBList, nullptr);
  EXPECT_EQ(dfnchars, 0);
  EXPECT_EQ(nchars, 0);
  ASSERT_TRUE(registerDb("one.db"));
  EXPECT_EQ(dfnchars, 2);
  EXPECT_EQ(data_ascii[1], 'A');
  // Exactly full is allowed.
  writeDb("REST.DB", someChars(1998, 0));
  ASSERT_TRUE(registerDb("rest.db"));
  EXPECT_EQ(dfnchars, 2000);
}

// A count that is negative or wraps the 16-bit index must not pass as a small one.
TEST_F(FontDb, CountsOutOfRangeAreRefusedBeforeReading) {
  const uint32_t counts[] = {0xFFFFFFFFu, 0x80000000u, 65536u, 65535u + 5u};
  for (uint32_t count : counts) {
    SCOPED_TRACE(count);
    ocr_clear();
    pvk::test::writeFile(path("BAD.DB"), dbBytes(someChars(2), count));
    EXPECT_FALSE(registerDb("bad.db"));
    EXPECT_EQ(MyDev.lastResult, -34);
    EXPECT_EQ(dfnchars, 2001);
    EXPECT_EQ(data_ascii[1], 0) << "no code was read";
  }
  EXPECT_EQ(countOf(trace(), "err -  Reading database - too many chars "), 4) << trace();
  EXPECT_NE(trace().find("too many chars 65537\r\n"), std::string::npos);
}

}  // namespace
