// A private copy of libPlavikMS.so per test: copied into a fresh temporary directory with an
// INI file beside it that points the configuration directory at another temporary directory,
// then loaded with dlopen. Each copy has its own records, so start-up runs fresh for each.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "PlavikMS.h"

namespace pvk::test {

inline std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

inline int countOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
  return n;
}

class LoadedLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/pvk_api_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    cnfDir_ = root_ + "/cnf";
    std::filesystem::create_directories(cnfDir_);
  }

  void TearDown() override {
    // The copy stays loaded: unloading an instrumented library mid-process gains nothing.
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  // Copies the library to <root>/<libDir>/<libName>, writes the INI beside it (the [General]
  // lines after CnfDir), and loads the copy.
  void load(const std::string& general = "", const std::string& otherSections = "",
            const std::string& libDir = "lib", const std::string& libName = "libPlavikMS.so",
            bool withIni = true) {
    const std::string dir = root_ + "/" + libDir;
    std::filesystem::create_directories(dir);
    const std::string lib = dir + "/" + libName;
    std::filesystem::copy_file(PVK_LIBRARY_FILE, lib);
    if (withIni)
      writeText(dir + "/libPlavikMS.ini",
                "[General]\r\nCnfDir=" + cnfDir_ + "\r\n" + general + otherSections);
    handle_ = ::dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << ::dlerror();
  }

  template <typename F>
  F* fn(const char* name) {
    void* p = ::dlsym(handle_, name);
    EXPECT_NE(p, nullptr) << name;
    return reinterpret_cast<F*>(p);
  }

  // The calls most tests use.
  int libInfo(char* buf, int size) { return fn<decltype(PVKLibInfo)>("PVKLibInfo")(buf, size); }
  int lastResult() { return fn<decltype(PVKGetLastResult)>("PVKGetLastResult")(); }
  void setLastResult(int code) { fn<decltype(PVKSetLastResult)>("PVKSetLastResult")(code); }
  int errMsg(int code, char* buf, int size) {
    return fn<decltype(PVKErrMsg)>("PVKErrMsg")(code, buf, size);
  }
  int errorString(char* buf, int size) {
    return fn<decltype(PVKErrorString)>("PVKErrorString")(buf, size);
  }
  std::string configDir(void* handle = nullptr) {
    char buf[260] = "x";
    fn<decltype(PVKConfigDirGet)>("PVKConfigDirGet")(handle, buf);
    return buf;
  }
  void start() {
    char buf[64];
    ASSERT_EQ(libInfo(buf, sizeof buf), 28);
  }

  // The trace of this test program in the configuration directory.
  std::string tracePath() const { return cnfDir_ + "/libPlavikMS_test_api_loaded.log"; }
  std::string trace() const { return readText(tracePath()); }

  std::string root_;
  std::string cnfDir_;
  void* handle_ = nullptr;
};

}  // namespace pvk::test
