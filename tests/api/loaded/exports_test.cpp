// The shipped library exports exactly the symbols of tests/api/exports.txt.
#include <cstdio>
#include <set>

#include "loaded_library.h"

namespace {

// Symbols every shared object defines, and the sanitizers' markers of instrumented globals.
bool isLinkerSymbol(const std::string& s) {
  return s == "__bss_start" || s == "_edata" || s == "_end" || s == "_init" || s == "_fini" ||
         s.rfind("__odr_asan", 0) == 0 || s.rfind("__asan", 0) == 0 || s.rfind("__ubsan", 0) == 0;
}

std::set<std::string> exportedSymbols() {
  std::set<std::string> names;
  const std::string cmd = std::string("nm -D --defined-only ") + PVK_LIBRARY_FILE;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (p == nullptr) return names;
  char line[512];
  while (std::fgets(line, sizeof line, p) != nullptr) {
    char addr[64], type[8], name[400];
    if (std::sscanf(line, "%63s %7s %399s", addr, type, name) == 3 && !isLinkerSymbol(name))
      names.insert(name);
  }
  ::pclose(p);
  return names;
}

TEST(Exports, ExactlyTheListedSymbols) {
  std::set<std::string> listed;
  std::istringstream in(pvk::test::readText(PVK_EXPORTS_LIST));
  for (std::string s; std::getline(in, s);)
    if (!s.empty()) listed.insert(s);
  ASSERT_FALSE(listed.empty());
  const std::set<std::string> actual = exportedSymbols();
  for (const std::string& s : actual) EXPECT_TRUE(listed.count(s)) << "exported but not listed: " << s;
  for (const std::string& s : listed) EXPECT_TRUE(actual.count(s)) << "listed but not exported: " << s;
}

}  // namespace
