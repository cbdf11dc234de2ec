// Every writer of image files on a full disk (a child process whose files stop at a few KiB):
// the call says it failed, the file that stood at the path is still whole, and no partial or
// temporary file is left. A multipage TIFF keeps the pages added before the failure.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "../../common/file_limit.h"
#include "../image_test_util.h"
#include "acquired_cheque.h"
#include "PlavikMS.h"
#include "device/device.h"
#include "document/document.h"
#include "geometry/geometry.h"
#include "image/image.h"
#include "rasterlib/rasterlib.h"
#include "pvkemu.h"

namespace {

using pvk::testing::fileBytes;
using pvk::testing::filesIn;
using pvk::testing::withFileLimit;

constexpr rlim_t kRoom = 4096;
const std::string kOld = "the file that stood here before";

void writeOld(const std::string& p) { std::ofstream(p, std::ios::binary) << kOld; }

class FullDiskOutput : public imgtest::AcquiredCheque {
 protected:
  // The directory's names other than the trace, which the limit may or may not let grow.
  std::set<std::string> outputs() const
  {
    auto names = filesIn(dir);
    for (auto it = names.begin(); it != names.end();)
      it = it->find(".log") != std::string::npos ? names.erase(it) : std::next(it);
    return names;
  }
};

TEST_F(FullDiskOutput, EveryWriterKeepsTheOldFileAndSaysItFailed)
{
  // A readable picture that a conversion would replace.
  const std::string bmp = path("side.bmp");
  ASSERT_EQ(PVKImgSave(handle(), 1, nullptr, 0, 4, const_cast<char*>(bmp.c_str())), 0);
  ASSERT_GT(fileBytes(bmp).size(), kRoom);
  // Noise, so that no encoding of it fits the room left.
  std::vector<uint8_t> pixels(400 * 300);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  PVKImg side{400, 300, 400, 200, pixels.data()};
  const struct {
    const char* name;
    std::function<bool(const char*)> failed;  // true when the writer reported its failure
  } writers[] = {
      {"jpeg.jpg", [&](const char* p) { return PVKImgSave(handle(), 1, nullptr, 90, 0, const_cast<char*>(p)) == -5; }},
      {"bmp.bmp", [&](const char* p) { return PVKImgSave(handle(), 1, nullptr, 0, 4, const_cast<char*>(p)) == -5; }},
      {"lzw.tif", [&](const char* p) { return PVKImgSave(handle(), 1, nullptr, 0, 3, const_cast<char*>(p)) == -5; }},
      {"stack.jpg", [&](const char* p) { return PVKImgSaveFR(handle(), 1, 0, 90, 0, const_cast<char*>(p)) == -5; }},
      {"dump.bmp", [&](const char* p) { return !ImgBPMWrite(p, &MyDev.img[1]); }},
      {"dump.pgm", [&](const char* p) { return ImgPGMWrite(p, &side) == 0; }},
      {"dump.jpg", [&](const char* p) { return !ImgWrite(p, &side); }},
      {"raster.bmp", [&](const char* p) {
         RasterImage img(IMAGE_TYPE_BMP);
         return img.Load(bmp.c_str(), IMAGE_TYPE_BMP) && !img.Save(p, IMAGE_TYPE_BMP);
       }},
  };
  for (const auto& w : writers) {
    const std::string target = path(w.name);
    writeOld(target);
    const auto before = outputs();
    EXPECT_EQ(withFileLimit(kRoom, [&] { return w.failed(target.c_str()) ? 0 : 1; }), 0) << w.name;
    EXPECT_TRUE(fileBytes(target) == kOld) << w.name;
    EXPECT_EQ(outputs(), before) << w.name;
  }
  // The conversion in place: the picture stays readable as it was.
  const std::string picture = fileBytes(bmp);
  int height = 0, width = 0, dpi = 0;
  EXPECT_EQ(withFileLimit(kRoom, [&] { return ConvertiImg(bmp.c_str(), 0, 80, &height, &width, &dpi); }), 0);
  EXPECT_TRUE(fileBytes(bmp) == picture);
}

TEST_F(FullDiskOutput, AMultipageFileKeepsThePagesBeforeTheFailure)
{
  const std::string page = path("page.bmp");
  ASSERT_EQ(PVKImgSave(handle(), 1, nullptr, 0, 4, const_cast<char*>(page.c_str())), 0);
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

}  // namespace
