// Image files and the counters file at paths that are not regular files: a FIFO no one opens,
// /dev/zero and a directory are refused at once with the call's failure; a link to a file is
// written through to its target and stays a link; a link loop or a dangling link is refused.
// Each call runs in a child stopped after a deadline, so one that blocks fails the test.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "../../common/child_process.h"
#include "../../common/file_kinds.h"
#include "../../common/file_limit.h"
#include "acquired_cheque.h"
#include "geometry/geometry.h"

namespace {

using Kind = pvk::testing::FileOfKind;
using pvk::testing::fileBytes;

const std::string kOld = "the file that stood here before";

class FileKindImages : public imgtest::AcquiredCheque {
 protected:
  void SetUp() override
  {
    ASSERT_NO_FATAL_FAILURE(AcquiredCheque::SetUp());
    ASSERT_EQ(PVKImgSave(handle(), 1, nullptr, 0, 4, const_cast<char*>(bmp().c_str())), 0);
  }
  std::string bmp() const { return path("side.bmp"); }
  // The call on the path in a child stopped after a deadline, once a file of the kind stands there.
  int onKind(Kind k, const std::string& p, const std::function<int(const char*)>& call,
             const std::string& text = kOld)
  {
    EXPECT_EQ(pvk::testing::makeFileOfKind(k, p, text), 0) << p;
    return pvk::testing::withDeadline(10, [&] { return call(p.c_str()); });
  }
};

struct Call {
  const char* name;
  std::function<int(const char*)> run;
  int ok, failed;  // the results of a call that did its work and of one refused
};

TEST_F(FileKindImages, WritersRefuseWhatIsNotARegularFileAndWriteThroughLinks)
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
      {"PVKImgSave3FR", [&](const char* t) { return PVKImgSave3FR(handle(), 1, 0, 0, 0, 0, 0, 90, 0, 0, 0, 0, p(t)); }, 0, -5},
      {"PVKImgeSaveFR", [&](const char* t) { return PVKImgeSaveFR(handle(), 1, 0, 90, 0, p(t)); }, 0, -5},
      {"multipage", [&](const char* t) { const int r = Vx3MultiPageInit(t, 3, 0);
         return r != 0 ? r : Vx3MultiPageAdd(bmp().c_str()) * 100 + Vx3MultiPageClose(); }, 0, -1},
      {"ConvertiImg", [&](const char* t) { int hh, w, d; return ConvertiImg(t, 0, 80, &hh, &w, &d); }, 1, 0},
      {"ImgWrite", [&](const char* t) { return ImgWrite(t, &plane) ? 1 : 0; }, 1, 0},
      {"ImgBPMWrite", [&](const char* t) { return ImgBPMWrite(t, &MyDev.img[1]) ? 1 : 0; }, 1, 0},
      {"ImgPGMWrite", [&](const char* t) { return ImgPGMWrite(t, &plane); }, 0, 0},  // 0 either way
  };
  int n = 0;
  for (const Call& w : writers) {
    for (Kind k : {Kind::kFifo, Kind::kDirectory, Kind::kLinkToFile, Kind::kLinkLoop, Kind::kDangling}) {
      SCOPED_TRACE(std::string(w.name) + " on a " + pvk::testing::nameOf(k));
      const std::string target = path("out" + std::to_string(n++) + (w.name[0] == 'I' ? ".bmp" : ".jpg"));
      // What a conversion in place needs at the target: a picture.
      const std::string before = std::string(w.name) == "ConvertiImg" ? fileBytes(bmp()) : kOld;
      const bool written = k == Kind::kLinkToFile;
      EXPECT_EQ(onKind(k, target, w.run, before), written ? w.ok : w.failed);
      EXPECT_EQ(pvk::testing::typeAt(target), static_cast<mode_t>(k == Kind::kFifo ? S_IFIFO : k == Kind::kDirectory ? S_IFDIR : S_IFLNK));
      EXPECT_TRUE(!written || fileBytes(target + ".real") != before);
      EXPECT_NE(::access((target + ".none").c_str(), F_OK), 0);
    }
  }
}

TEST_F(FileKindImages, ReadersRefuseWhatIsNotARegularFileAtOnce)
{
  const std::string good = bmp();
  const Call readers[] = {
      {"GetImageInfo", [](const char* t) { short x, y, hh, w; return GetImageInfo(t, &x, &y, &hh, &w); }, 1, 0},
      {"ConvertiImg", [](const char* t) { int hh, w, d; return ConvertiImg(t, 0, 80, &hh, &w, &d); }, 1, 0},
      {"Vx3MultiPageAdd", [&](const char* t) { if (Vx3MultiPageInit(path("pages.tif").c_str(), 3, 0) != 0) return 99;
         const int r = Vx3MultiPageAdd(t); Vx3MultiPageClose(); return r; }, 0, -1},
      {"PVKIQACheck front", [&](const char* t) { return PVKIQACheck(handle(), const_cast<char*>(t), const_cast<char*>(good.c_str())); }, -11, -6},
      {"PVKIQACheck rear", [&](const char* t) { return PVKIQACheck(handle(), const_cast<char*>(good.c_str()), const_cast<char*>(t)); }, -11, -6},
      {"ImgRead", [](const char* t) { PVKImg img{0, 0, 0, 0, nullptr}; const bool r = ImgRead(t, &img, false, false); std::free(img.data); return r ? 1 : 0; }, 1, 0},
      {"ImgBMPRead", [](const char* t) { ImgInfo side{}; const bool r = ImgBMPRead(t, &side, true); std::free(side.allocBase); return r ? 1 : 0; }, 1, 0},
      {"ImgPGMRead", [](const char* t) { PVKImg img{0, 0, 0, 0, nullptr}; const bool r = ImgPGMRead(t, &img); std::free(img.data); return r ? 1 : 0; }, 1, 0},
  };
  int n = 0;
  for (const Call& r : readers) {
    for (Kind k : {Kind::kFifo, Kind::kZero, Kind::kDirectory}) {
      EXPECT_EQ(onKind(k, path("in" + std::to_string(n++) + ".bmp"), r.run), r.failed) << r.name << " on a " << pvk::testing::nameOf(k);
    }
    // On a copy of the side's picture the call reads it (a conversion replaces it).
    std::ofstream(path("copy.bmp"), std::ios::binary | std::ios::trunc) << fileBytes(good);
    if (std::string(r.name) != "ImgPGMRead") {
      EXPECT_EQ(r.run(path("copy.bmp").c_str()), r.ok) << r.name;
    }
  }
}

// The counters file of the device, a FIFO or /dev/zero: the device still opens, at once.
TEST_F(FileKindImages, ACountersFileThatIsNotRegularDoesNotHoldUpTheOpening)
{
  const std::string counters = MyLog.deviceFile;
  ASSERT_FALSE(counters.empty());
  for (Kind k : {Kind::kFifo, Kind::kZero}) {
    Vx3DeviceClose(false);
    std::remove(counters.c_str());
    EXPECT_GT(onKind(k, counters, [&](const char*) { return Vx3Initialize(0, dir.data(), -1, nullptr); }), 0)
        << pvk::testing::nameOf(k);
  }
}

}  // namespace
