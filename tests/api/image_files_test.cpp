// The image file calls as a C++ host sees them: one grey plane written and read back through
// the shipped library, and the records that are refused.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "PlavikMS.h"
#include "host_test_util.h"

namespace {

TEST(ImageFiles, AGreyPlaneGoesOutAndComesBack) {
  const std::string path = apitest::processDir() + "/plane.png";
  std::vector<uint8_t> px(40 * 24);  // 37 columns in rows of 40 bytes
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 37; ++x) px[static_cast<size_t>(y) * 40 + x] = static_cast<uint8_t>(x * 6 + y);
  PVKImg out{37, 24, 40, 200, px.data()};
  ASSERT_TRUE(ImgWrite(path.c_str(), &out));

  PVKImg in{0, 0, 0, 0, nullptr};
  ASSERT_TRUE(ImgRead(path.c_str(), &in, false, true));  // turned upside down
  ASSERT_NE(in.data, nullptr);
  EXPECT_EQ(in.width, 37);
  EXPECT_EQ(in.height, 24);
  EXPECT_EQ(in.dpi, 100);  // a dpi below 100 becomes 100
  bool same = true;
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 37; ++x) same &= in.data[static_cast<size_t>(23 - y) * in.stride + x] == px[static_cast<size_t>(y) * 40 + x];
  EXPECT_TRUE(same);
  // An image that already has a buffer, no image and unreadable files are refused.
  EXPECT_FALSE(ImgRead(path.c_str(), &in, false, false));
  std::free(in.data);
  PVKImg none{0, 0, 0, 0, nullptr};
  EXPECT_FALSE(ImgRead((apitest::processDir() + "/missing.png").c_str(), &none, false, false));
  EXPECT_EQ(none.data, nullptr);
  EXPECT_FALSE(ImgRead(path.c_str(), static_cast<PVKImg*>(nullptr), false, false));
  EXPECT_FALSE(ImgRead(path.c_str(), static_cast<ImgInfo*>(nullptr), false, false));
  EXPECT_FALSE(ImgWrite(path.c_str(), nullptr));
  PVKImg empty{37, 0, 40, 200, px.data()};
  EXPECT_FALSE(ImgWrite(path.c_str(), &empty));
}

}  // namespace
