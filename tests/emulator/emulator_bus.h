// A test that talks to the software scanner through its own libusb calls: one device put on a
// fresh bus and opened, and vendor requests as the firmware receives them.
#pragma once

#include <gtest/gtest.h>
#include <libusb.h>

#include <cstdint>
#include <vector>

#include "pvkemu.h"

namespace emutest {

struct Bus : ::testing::Test {
  libusb_device_handle* h = nullptr;
  int dev = -1;

  // Puts the one device with this profile on a fresh bus and opens it.
  void plug(const pvkemu_profile& p) {
    pvkemu_reset();
    dev = pvkemu_add_device(&p);
    ASSERT_EQ(libusb_init(nullptr), 0);
    libusb_device** list = nullptr;
    ASSERT_EQ(libusb_get_device_list(nullptr, &list), 1);
    ASSERT_EQ(libusb_open(list[0], &h), 0);
    libusb_free_device_list(list, 1);
  }
  void TearDown() override {
    if (h) libusb_close(h);
    EXPECT_EQ(pvkemu_error_count(), 0) << pvkemu_last_error();
  }
  std::vector<uint8_t> in(uint16_t value, uint16_t length) {
    std::vector<uint8_t> buf(length, 0xEE);
    int rc = libusb_control_transfer(h, 0xC0, 4, value, 0, buf.data(), length, 1000);
    if (rc < 0) return {};
    buf.resize(static_cast<size_t>(rc));
    return buf;
  }
  int out(uint16_t value, std::vector<uint8_t> data) {
    return libusb_control_transfer(h, 0x40, 4, value, 0, data.data(), static_cast<uint16_t>(data.size()), 1000);
  }
  int command(uint16_t value, uint16_t length = 1) {
    uint8_t scratch = 0xEE;
    return libusb_control_transfer(h, 0xC0, 4, value, 0, length ? &scratch : nullptr, length, 1000);
  }
};

}  // namespace emutest
