// Every writer of image files where it cannot write. On a full disk (a child process whose files
// stop at a few KiB) the call says it failed, the file that stood at the path is still whole,
// and no partial or temporary file is left; a multipage TIFF keeps the pages added before the
// failure. A FIFO no one opens, /dev/zero and a directory are refused at once by the writers,
// the readers and the opening's counters file; a link to a file is written through to its
// target and stays a link; a link loop or a dangling link is refused. Each call on a file of
// such a kind runs in a child stopped after a deadline, so one that blocks fails the test.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "../../common/cheque_feed.h"
#include "../../common/child_process.h"
#include "../../common/file_kinds.h"
#include "../../common/file_limit.h"
#include "../../common/scanner_scratch.h"
#include "../../common/synthetic_cheque.h"
#include "../image_test_util.h"
#include "PlavikMS.h"
#include "device/device.h"
#include "document/document.h"
#include "geometry/geometry.h"
#include "image/image.h"
#include "rasterlib/rasterlib.h"
#include "pvkemu.h"

namespace {

using Kind = pvk::testing::FileOfKind;
using pvk::testing::fileBytes;
using pvk::testing::filesIn;
using pvk::testing::withFileLimit;

constexpr rlim_t kRoom = 4096;
const std::string kOld = "the file that stood here before";

void writeOld(const std::string& p) { std::ofstream(p, std::ios::binary) << kOld; }

// A call on a path: the results of one that did its work and of one refused.
struct Call {
  const char* name;
  std::function<int(const char*)> run;
  int ok, failed;
};

// One grey cheque acquired from the basic scanner, its front saved as side.bmp.
class FullDiskOutput : public pvk::testing::ScannerScratch {
 protected:
  void SetUp() override
  {
    ASSERT_NO_FATAL_FAILURE(ScannerScratch::SetUp());
    pvkemu_profile p;
    pvkemu_profile_basic(&p);
    const int dev = pvkemu_add_device(&p);
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
  }
  void* handle() const { return reinterpret_cast<void*>(static_cast<intptr_t>(h)); }
  std::string bmp() const { return path("side.bmp"); }
  // The directory's names other than the trace, which the limit may or may not let grow.
  std::set<std::string> outputs() const
  {
    auto names = filesIn(dir);
    for (auto it = names.begin(); it != names.end();)
      it = it->find(".log") != std::string::npos ? names.erase(it) : std::next(it);
    return names;
  }
  // The call on the path in a child stopped after a deadline, once a file of the kind stands there.
  int onKind(Kind k, const std::string& p, const std::function<int(const char*)>& call, const std::string& text = kOld)
  {
    EXPECT_EQ(pvk::testing::makeFileOfKind(k, p, text), 0) << p;
    return pvk::testing::withDeadline(10, [&] { return call(p.c_str()); });
  }

  // Every writer of image files, of the cheque's front or of a plane of noise (no encoding of
  // which fits the full disk's room).
  std::vector<Call> writers()
  {
    noise.resize(400 * 300);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    plane = PVKImg{400, 300, 400, 200, noise.data()};
    auto p = [](const char* path) { return const_cast<char*>(path); };
    void* hd = handle();
    return {
        {"save.jpg", [=](const char* t) { return PVKImgSave(hd, 1, nullptr, 90, 0, p(t)); }, 0, -5},
        {"save.bmp", [=](const char* t) { return PVKImgSave(hd, 1, nullptr, 0, 4, p(t)); }, 0, -5},
        {"save.tif", [=](const char* t) { return PVKImgSave(hd, 1, nullptr, 0, 3, p(t)); }, 0, -5},
        {"save2.bmp", [=](const char* t) { return PVKImgSave2(hd, 1, PVKRoi{}, 0, 4, p(t)); }, 0, -5},
        {"save4.tif", [=](const char* t) { return PVKImgSave4(hd, 1, PVKRoi{}, 0, 3, 0, p(t)); }, 0, -5},
        {"col.bmp", [=](const char* t) { return PVKImgSaveCol(hd, 1, nullptr, 0, 4, -1, t); }, 0, -5},
        {"fr.jpg", [=](const char* t) { return PVKImgSaveFR(hd, 1, 0, 90, 0, p(t)); }, 0, -5},
        {"fr2.jpg", [=](const char* t) { return PVKImgSaveFR2(hd, 1, 0, 90, 0, 0, 0, 0, p(t)); }, 0, -5},
        {"3fr.jpg", [=](const char* t) { return PVKImgSave3FR(hd, 1, 0, 0, 0, 0, 0, 90, 0, 0, 0, 0, p(t)); }, 0, -5},
        {"efr.jpg", [=](const char* t) { return PVKImgeSaveFR(hd, 1, 0, 90, 0, p(t)); }, 0, -5},
        {"dump.bmp", [](const char* t) { return ImgBPMWrite(t, &MyDev.img[1]) ? 1 : 0; }, 1, 0},
        {"dump.pgm", [this](const char* t) { return ImgPGMWrite(t, &plane); }, 0, 0},  // 0 either way
        {"dump.jpg", [this](const char* t) { return ImgWrite(t, &plane) ? 1 : 0; }, 1, 0},
        {"raster.bmp", [this](const char* t) {
           RasterImage img(IMAGE_TYPE_BMP);
           return !img.Load(bmp().c_str(), IMAGE_TYPE_BMP) ? -1 : img.Save(t, IMAGE_TYPE_BMP) ? 1 : 0;
         }, 1, 0},
    };
  }

  int h = -1;
  std::vector<uint8_t> noise;
  PVKImg plane{};
};

class FileKindImages : public FullDiskOutput {};

TEST_F(FullDiskOutput, EveryWriterKeepsTheOldFileAndSaysItFailed)
{
  ASSERT_GT(fileBytes(bmp()).size(), kRoom);
  for (const Call& w : writers()) {
    const std::string target = path(w.name);
    writeOld(target);
    const auto before = outputs();
    EXPECT_EQ(withFileLimit(kRoom, [&] { return w.run(target.c_str()); }), w.failed) << w.name;
    EXPECT_TRUE(fileBytes(target) == kOld) << w.name;
    EXPECT_EQ(outputs(), before) << w.name;
  }
  // The conversion in place: the picture stays readable as it was.
  const std::string picture = fileBytes(bmp());
  int height = 0, width = 0, dpi = 0;
  EXPECT_EQ(withFileLimit(kRoom, [&] { return ConvertiImg(bmp().c_str(), 0, 80, &height, &width, &dpi); }), 0);
  EXPECT_TRUE(fileBytes(bmp()) == picture);
}

TEST_F(FullDiskOutput, AMultipageFileKeepsThePagesBeforeTheFailure)
{
  const std::string page = bmp();
  // How big four and five pages are, to let four of them fit and not the fifth.
  const std::string probe = path("probe.tif");
  size_t sizes[2] = {0, 0};
  for (int n : {4, 5}) {
    ASSERT_EQ(Vx3MultiPageInit(probe.c_str(), 3, 0), 0);
    for (int i = 0; i < n; ++i) ASSERT_EQ(Vx3MultiPageAdd(page.c_str()), 0);
    ASSERT_EQ(Vx3MultiPageClose(), 0);
    sizes[n - 4] = fileBytes(probe).size();
  }
  ASSERT_LT(sizes[0], sizes[1]);
  const std::string multi = path("multi.tif");
  writeOld(multi);
  const auto before = outputs();
  const int r = withFileLimit((sizes[0] + sizes[1]) / 2, [&] {
    if (Vx3MultiPageInit(multi.c_str(), 3, 0) != 0) return 1;
    for (int i = 0; i < 4; ++i)
      if (Vx3MultiPageAdd(page.c_str()) != 0) return 2;
    if (Vx3MultiPageAdd(page.c_str()) != -1) return 3;
    return Vx3MultiPageClose() == -5 ? 0 : 4;
  });
  EXPECT_EQ(r, 0);
  EXPECT_EQ(outputs(), before);
  EXPECT_EQ(imgtest::run("/usr/bin/identify -format '%p\\n' '" + multi + "' 2>&1"), "0\n1\n2\n3\n");
  EXPECT_EQ(imgtest::run("tiffinfo '" + multi + "' 2>&1 | grep -c 'TIFF Directory'"), "4\n");
}

TEST_F(FileKindImages, WritersRefuseWhatIsNotARegularFileAndWriteThroughLinks)
{
  std::vector<Call> calls = writers();
  calls.push_back({"multi.tif", [&](const char* t) { const int r = Vx3MultiPageInit(t, 3, 0);
                     return r != 0 ? r : Vx3MultiPageAdd(bmp().c_str()) * 100 + Vx3MultiPageClose(); }, 0, -1});
  calls.push_back({"convert.bmp", [](const char* t) { int hh, w, d; return ConvertiImg(t, 0, 80, &hh, &w, &d); }, 1, 0});
  int n = 0;
  for (const Call& w : calls) {
    for (Kind k : {Kind::kFifo, Kind::kDirectory, Kind::kLinkToFile, Kind::kLinkLoop, Kind::kDangling}) {
      SCOPED_TRACE(std::string(w.name) + " on a " + pvk::testing::nameOf(k));
      const std::string target = path(std::to_string(n++) + w.name);
      // What a conversion in place needs at the target: a picture.
      const std::string before = std::string(w.name) == "convert.bmp" ? fileBytes(bmp()) : kOld;
      const bool written = k == Kind::kLinkToFile;
      EXPECT_EQ(onKind(k, target, w.run, before), written ? w.ok : w.failed);
      const mode_t type = k == Kind::kFifo ? S_IFIFO : k == Kind::kDirectory ? S_IFDIR : S_IFLNK;
      EXPECT_EQ(pvk::testing::typeAt(target), type);
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
