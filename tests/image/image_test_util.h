// Shared helpers of the image output tests: a scratch directory, the trace captured into it,
// files read back, and independent command-line tools run on what we wrote.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/records.h"
#include "image/image_seams.h"

namespace imgtest {

bool plainCopyOut(ImgInfo src, short rotation, int dpi, short brightness, short contrast,
                  ImgInfo& dst, uint8_t threshold, bool flipH, bool flipV);

inline std::string slurp(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Runs a shell command and returns its standard output.
inline std::string run(const std::string& cmd)
{
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p)
    return out;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
    out.append(buf.data(), n);
  pclose(p);
  return out;
}

// A fresh scratch directory with the trace going into it; records cleared.
class ImageTest : public ::testing::Test {
 protected:
  void SetUp() override
  {
    char tmpl[] = "/tmp/pvkimgXXXXXX";
    dir = mkdtemp(tmpl);
    std::memset(&MyDev, 0, sizeof MyDev);
    std::memset(&MyAcq, 0, sizeof MyAcq);
    std::memset(&MyInkjet, 0, sizeof MyInkjet);
    std::memset(&MyMICR, 0, sizeof MyMICR);
    std::memset(&MyLog, 0, sizeof MyLog);
    MyLog.Log = 1;
    std::snprintf(MyLog.tracePath, sizeof MyLog.tracePath, "%s/trace.log", dir.c_str());
    pvk::image::sideCopyOut = &plainCopyOut;
  }
  void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

  std::string path(const std::string& name) const { return dir + "/" + name; }
  std::string trace() const { return slurp(dir + "/trace.log"); }
  bool traced(const std::string& text) const { return trace().find(text) != std::string::npos; }

  std::string dir;
};

}  // namespace imgtest
