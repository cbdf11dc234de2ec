// The INI path of the library file and the names of the library.
#include "core/frame.h"
#include "core_test_util.h"

namespace {

std::string iniOf(const char* lib, size_t size = 264) {
  char out[600];
  std::strcpy(out, "unchanged");
  return pvk::core::iniPathFromLibraryPath(lib, out, size) ? out : std::string("refused");
}

TEST(IniPath, SoBecomesIniInTheBaseNameOnly) {
  EXPECT_EQ(iniOf("/usr/lib/libPlavikMS.so"), "/usr/lib/libPlavikMS.ini");
  EXPECT_EQ(iniOf("/usr/lib/libPlavikMS.so.1"), "/usr/lib/libPlavikMS.ini");
  EXPECT_EQ(iniOf("/opt/x.solutions/libPlavikMS.so"), "/opt/x.solutions/libPlavikMS.ini");
  EXPECT_EQ(iniOf("libPlavikMS.so"), "libPlavikMS.ini");
  EXPECT_EQ(iniOf("/opt/x.solutions/plavik"), "refused");
  EXPECT_EQ(iniOf(nullptr), "refused");
  const std::string deep = "/" + std::string(300, 'd') + "/libPlavikMS.so";
  EXPECT_EQ(iniOf(deep.c_str()), "refused");
  EXPECT_EQ(iniOf("/a/libPlavikMS.so", 18), "refused") << "no room for the terminator";
  EXPECT_EQ(iniOf("/a/libPlavikMS.so", 19), "/a/libPlavikMS.ini");
}

TEST(Names, DllNameAndSelectorReset) {
  char full[64], base[64];
  GetDllName(full, base);
  EXPECT_STREQ(full, "libPlavikMS.so");
  EXPECT_STREQ(base, "libPlavikMS");
  GetDllName(nullptr, nullptr);
  pidDLL = 10;
  std::strcpy(SerialFilter, "123");
  EXPECT_EQ(pidDLLClose(), 0);
  EXPECT_EQ(pidDLL, 0);
  EXPECT_STREQ(SerialFilter, "");
}

}  // namespace
