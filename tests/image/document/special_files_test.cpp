// Image files at paths that are not regular files: every writer and reader of image files, the
// counters file at opening. A FIFO that no one reads or writes, /dev/zero and a directory are
// refused at once with the call's failure; a link to a file is written through to its target and
// stays a link; a link loop or a dangling link is refused. Each call runs in a child stopped
// after a deadline, so one that blocks fails instead of hanging the test.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "../../common/cheque_feed.h"
#include "../../common/child_process.h"
#include "../../common/file_limit.h"
#include "../../common/synthetic_cheque.h"
#include "PlavikMS.h"
#include "core/records.h"
#include "device/device.h"
#include "document/document.h"
#include "geometry/geometry.h"
#include "image/image.h"
#include "pvkemu.h"

namespace {

using pvk::testing::fileBytes;
using pvk::testing::kChildTimedOut;
using pvk::testing::withDeadline;

constexpr unsigned kDeadline = 10;
const std::string kOld = "the file that stood here before";

enum class Kind { kFifo, kZero, kDirectory, kLinkToFile, kLinkLoop, kDangling };
const char* const kKindNames[] = {"FIFO", "link to /dev/zero", "directory", "link to a file", "link loop",
                                  "dangling link"};

class SpecialFileImages : public ::testing::Test {
 protected:
  void SetUp() override
  {
    pvkemu_clock_virtual(1);
    pvkemu_reset();
    char tmpl[] = "/tmp/pvk_special_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    pvkemu_profile p;
    pvkemu_profile_basic(&p);
    dev = pvkemu_add_device(&p);
    h = Vx3Initialize(0, dir.data(), -1, nullptr);
    ASSERT_GT(h, 0);
    ASSERT_TRUE(Vx3PVKImgCreate(200, 200, 0));
    pvk::testing::ChequeSpec spec;
    pvk::testing::feedGrey(dev, pvk::testing::drawSide(spec, 1, false), pvk::testing::drawSide(spec, 1, true));
    MyAcq.cfgFlags[kCfgWaitDoc] = 0;
    ASSERT_EQ(AcquireImg(0, MyDev.img, true), 0);
    ASSERT_EQ(PVKImgSave(handle(), 1, nullptr, 0, 4, const_cast<char*>(bmp().c_str())), 0);
  }
  void TearDown() override
  {
    Vx3MultiPageClose();
    Vx3DeviceClose(false);
    (void)!std::system(("rm -rf '" + dir + "'").c_str());
  }
  std::string path(const std::string& name) const { return dir + "/" + name; }
  std::string bmp() const { return path("side.bmp"); }
  void* handle() const { return reinterpret_cast<void*>(static_cast<intptr_t>(h)); }
  // Puts a file of the kind at p; a link to a file points at p + ".real", which holds text.
  void make(Kind k, const std::string& p, const std::string& text = kOld)
  {
    switch (k) {
      case Kind::kFifo: ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); break;
      case Kind::kZero: ASSERT_EQ(::symlink("/dev/zero", p.c_str()), 0); break;
      case Kind::kDirectory: ASSERT_EQ(::mkdir(p.c_str(), 0700), 0); break;
      case Kind::kLinkToFile:
        std::ofstream(p + ".real", std::ios::binary) << text;
        ASSERT_EQ(::symlink((p + ".real").c_str(), p.c_str()), 0);
        break;
      case Kind::kLinkLoop: ASSERT_EQ(::symlink(p.c_str(), p.c_str()), 0); break;
      case Kind::kDangling: ASSERT_EQ(::symlink((p + ".none").c_str(), p.c_str()), 0); break;
    }
  }

  std::string dir;
  int dev = -1;
  int h = -1;
};

struct Call {
  const char* name;
  std::function<int(const char*)> run;
  int ok, failed;  // the results of a call that did its work and of one refused
};

TEST_F(SpecialFileImages, WritersRefuseSpecialFilesAndWriteThroughLinks)
{
  uint8_t pixels[40 * 30] = {};
  PVKImg plane{40, 30, 40, 200, pixels};
  auto p = [](const char* path) { return const_cast<char*>(path); };
  const Call writers[] = {
      {"PVKImgSave", [&](const char* t) { return PVKImgSave(handle(), 1, nullptr, 90, 0, p(t)); }, 0, -5},
      {"PVKImgSave2", [&](const char* t) { return PVKImgSave2(handle(), 1, PVKRoi{}, 0, 4, p(t)); }, 0, -5},
      {"PVKImgSave4", [&](const char* t) { return PVKImgSave4(handle(), 1, PVKRoi{}, 0, 3, 0, p(t)); }, 0, -5},
      {"PVKImgSaveCol", [&](const char* t) { return PVKImgSaveCol(handle(), 1, nullptr, 0, 4, -1, t); }, 0, -5},
      {"PVKImgSaveFR", [&](const char* t) { return PVKImgSaveFR(handle(), 1, 0, 90, 0, p(t)); }, 0, -5},
      {"PVKImgSaveFR2", [&](const char* t) { return PVKImgSaveFR2(handle(), 1, 0, 90, 0, 0, 0, 0, p(t)); }, 0, -5},
      {"PVKImgSave3FR",
       [&](const char* t) { return PVKImgSave3FR(handle(), 1, 0, 0, 0, 0, 0, 90, 0, 0, 0, 0, p(t)); }, 0, -5},
      {"PVKImgeSaveFR", [&](const char* t) { return PVKImgeSaveFR(handle(), 1, 0, 90, 0, p(t)); }, 0, -5},
      {"multipage",
       [&](const char* t) {
         const int r = Vx3MultiPageInit(t, 3, 0);
         return r != 0 ? r : Vx3MultiPageAdd(bmp().c_str()) * 100 + Vx3MultiPageClose();
       },
       0, -1},
      {"ConvertiImg", [&](const char* t) { int hh, w, d; return ConvertiImg(t, 0, 80, &hh, &w, &d); }, 1, 0},
      {"ImgWrite", [&](const char* t) { return ImgWrite(t, &plane) ? 1 : 0; }, 1, 0},
      {"ImgBPMWrite", [&](const char* t) { return ImgBPMWrite(t, &MyDev.img[1]) ? 1 : 0; }, 1, 0},
      {"ImgPGMWrite", [&](const char* t) { return ImgPGMWrite(t, &plane); }, 0, 0},  // 0 either way
  };
  int n = 0;
  for (const Call& w : writers) {
    for (Kind k : {Kind::kFifo, Kind::kDirectory, Kind::kLinkToFile, Kind::kLinkLoop, Kind::kDangling}) {
      const std::string target = path("out" + std::to_string(n++) + (w.name[0] == 'I' ? ".bmp" : ".jpg"));
      // What a conversion in place needs at the target: a picture.
      const std::string before = std::string(w.name) == "ConvertiImg" ? fileBytes(bmp()) : kOld;
      make(k, target, before);
      const bool written = k == Kind::kLinkToFile;
      const std::string what = std::string(w.name) + " on a " + kKindNames[static_cast<int>(k)];
      EXPECT_EQ(withDeadline(kDeadline, [&] { return w.run(target.c_str()); }), written ? w.ok : w.failed) << what;
      struct stat st {};
      EXPECT_EQ(::lstat(target.c_str(), &st), 0) << what;
      const mode_t type = st.st_mode & S_IFMT;
      EXPECT_EQ(type, static_cast<mode_t>(k == Kind::kFifo ? S_IFIFO : k == Kind::kDirectory ? S_IFDIR : S_IFLNK)) << what;
      if (written) {
        EXPECT_TRUE(fileBytes(target + ".real") != before) << what;
      }
      EXPECT_NE(::access((target + ".none").c_str(), F_OK), 0) << what;
    }
  }
}

TEST_F(SpecialFileImages, ReadersRefuseSpecialFilesAtOnce)
{
  const std::string good = bmp();
  const Call readers[] = {
      {"GetImageInfo", [](const char* t) { short x, y, hh, w; return GetImageInfo(t, &x, &y, &hh, &w); }, 1, 0},
      {"ConvertiImg", [](const char* t) { int hh, w, d; return ConvertiImg(t, 0, 80, &hh, &w, &d); }, 1, 0},
      {"Vx3MultiPageAdd",
       [&](const char* t) {
         if (Vx3MultiPageInit(path("pages.tif").c_str(), 3, 0) != 0) return 99;
         const int r = Vx3MultiPageAdd(t);
         Vx3MultiPageClose();
         return r;
       },
       0, -1},
      {"PVKIQACheck front", [&](const char* t) { return PVKIQACheck(handle(), const_cast<char*>(t), const_cast<char*>(good.c_str())); }, -11, -6},
      {"PVKIQACheck rear", [&](const char* t) { return PVKIQACheck(handle(), const_cast<char*>(good.c_str()), const_cast<char*>(t)); }, -11, -6},
      {"ImgRead", [](const char* t) { PVKImg img{0, 0, 0, 0, nullptr}; const bool r = ImgRead(t, &img, false, false); std::free(img.data); return r ? 1 : 0; }, 1, 0},
      {"ImgBMPRead", [](const char* t) { ImgInfo side{}; const bool r = ImgBMPRead(t, &side, true); std::free(side.allocBase); return r ? 1 : 0; }, 1, 0},
      {"ImgPGMRead", [](const char* t) { PVKImg img{0, 0, 0, 0, nullptr}; const bool r = ImgPGMRead(t, &img); std::free(img.data); return r ? 1 : 0; }, 1, 0},
  };
  int n = 0;
  for (const Call& r : readers) {
    for (Kind k : {Kind::kFifo, Kind::kZero, Kind::kDirectory}) {
      const std::string source = path("in" + std::to_string(n++) + ".bmp");
      make(k, source);
      const std::string what = std::string(r.name) + " on a " + kKindNames[static_cast<int>(k)];
      EXPECT_EQ(withDeadline(kDeadline, [&] { return r.run(source.c_str()); }), r.failed) << what;
    }
  }
  // The same calls on a copy of the side's picture read it (a conversion replaces it).
  const std::string copy = path("copy.bmp");
  for (const Call& r : readers) {
    std::ofstream(copy, std::ios::binary | std::ios::trunc) << fileBytes(good);
    if (std::string(r.name) != "ImgPGMRead") {
      EXPECT_EQ(r.run(copy.c_str()), r.ok) << r.name;
    }
  }
}

// The counters file of the device, a FIFO or /dev/zero: the device still opens, at once.
TEST_F(SpecialFileImages, ACountersFileThatIsNotRegularDoesNotHoldUpTheOpening)
{
  const std::string counters = MyLog.deviceFile;
  ASSERT_FALSE(counters.empty());
  for (Kind k : {Kind::kFifo, Kind::kZero}) {
    Vx3DeviceClose(false);
    std::remove(counters.c_str());
    make(k, counters);
    EXPECT_GT(withDeadline(kDeadline, [&] { return Vx3Initialize(0, dir.data(), -1, nullptr); }), 0)
        << kKindNames[static_cast<int>(k)];
  }
}

}  // namespace
