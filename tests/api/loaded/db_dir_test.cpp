// Where the OCR engine looks for its font databases before any device is opened: the INI's
// DBDir, else the databases installed beside the library, else the configuration directory.
#include "loaded_library.h"

using pvk::test::LoadedLibrary;

namespace {

class FontDbDir : public LoadedLibrary {
 protected:
  void fill(const std::string& dir) {
    std::filesystem::create_directories(dir);
    for (const auto& e : std::filesystem::directory_iterator(PVK_FONT_DB_DIR))
      std::filesystem::copy_file(e.path(), dir + "/" + e.path().filename().string());
  }
  std::string dbDir() {
    char buf[300] = "";
    EXPECT_EQ(fn<decltype(PVKDBDirGet)>("PVKDBDirGet")(nullptr, buf, sizeof buf), 0);
    return buf;
  }
};

TEST_F(FontDbDir, TheIniTheInstallThenTheConfigurationDirectory) {
  constexpr short kOcrB = 3;
  struct Case {
    const char* copy;      // each copy of the library in <root>/<copy>/lib
    bool named, namedFull;  // the INI names <root>/<copy>/named, with or without databases
    bool installedFull;     // databases in <root>/<copy>/share/PlavikMS/fontdb
    const char* want;       // the directory, below <root>/<copy>/ ("" for the configuration one)
    int result;
  } cases[] = {
      {"a", true, true, false, "named/", 0},
      {"b", true, false, true, "named/", -34},
      {"c", false, false, true, "lib/../share/PlavikMS/fontdb/", 0},
      {"d", false, false, false, "", -34},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.copy);
    const std::string base = root_ + "/" + c.copy + "/";
    if (c.named) std::filesystem::create_directories(base + "named");
    if (c.namedFull) fill(base + "named");
    if (c.installedFull) fill(base + "share/PlavikMS/fontdb");
    load("LogTimeStamp=0\r\n", c.named ? "[OCR]\r\nDBDir=" + base + "named\r\n" : "",
         std::string(c.copy) + "/lib");
    EXPECT_EQ(fn<decltype(PVKCheckOCRType)>("PVKCheckOCRType")(kOcrB), c.result);
    EXPECT_EQ(dbDir(), *c.want ? base + c.want : cnfDir_ + "/");
  }
}

}  // namespace
