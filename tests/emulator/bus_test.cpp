// The software scanner's bus: enumeration, unplug and replug, faults, the request log, the
// asynchronous bulk path and the virtual clock.
#include <gtest/gtest.h>
#include <libusb.h>
#include <semaphore.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "pvkemu.h"

namespace {

std::vector<libusb_device*> listDevices() {
  libusb_device** list = nullptr;
  ssize_t n = libusb_get_device_list(nullptr, &list);
  std::vector<libusb_device*> out(list, list + (n > 0 ? n : 0));
  for (auto* d : out) libusb_ref_device(d);
  libusb_free_device_list(list, 1);
  return out;
}

libusb_device_handle* openFirst() {
  auto devs = listDevices();
  libusb_device_handle* h = nullptr;
  if (devs.empty() || libusb_open(devs[0], &h) != 0) h = nullptr;
  for (auto* d : devs) libusb_unref_device(d);
  return h;
}

TEST(DefaultBus, OneFullFeaturedScannerWithoutConfiguration) {
  auto devs = listDevices();
  ASSERT_EQ(devs.size(), 1u);
  libusb_device_descriptor desc;
  ASSERT_EQ(libusb_get_device_descriptor(devs[0], &desc), 0);
  EXPECT_EQ(desc.idVendor, PVK_USB_VENDOR_ID);
  EXPECT_EQ(desc.idProduct, 9);
  EXPECT_EQ(desc.bcdUSB, 0x0200);
  libusb_unref_device(devs[0]);
}

TEST(Enumeration, DescriptorsSerialAndUnplugReplug) {
  pvkemu_reset();
  pvkemu_profile p;
  pvkemu_profile_basic(&p);
  std::strcpy(p.serial, "ABC1234567890");
  int dev = pvkemu_add_device(&p);
  libusb_device_handle* h = openFirst();
  ASSERT_NE(h, nullptr);
  unsigned char sn[1024];
  EXPECT_EQ(libusb_get_string_descriptor_ascii(h, 4, sn, sizeof sn), 13);
  EXPECT_STREQ(reinterpret_cast<char*>(sn), "ABC1234567890");
  EXPECT_EQ(libusb_claim_interface(h, 0), 0);
  EXPECT_EQ(pvkemu_claimed(dev), 1);

  pvkemu_unplug(dev);
  EXPECT_TRUE(listDevices().empty());
  uint8_t buf[8];
  EXPECT_EQ(libusb_control_transfer(h, 0xC0, 4, 3, 0, buf, 8, 100), LIBUSB_ERROR_NO_DEVICE);
  pvkemu_replug(dev);
  // The old handle stays dead; a new open works.
  EXPECT_EQ(libusb_control_transfer(h, 0xC0, 4, 3, 0, buf, 8, 100), LIBUSB_ERROR_NO_DEVICE);
  libusb_device_handle* h2 = openFirst();
  ASSERT_NE(h2, nullptr);
  EXPECT_EQ(libusb_control_transfer(h2, 0xC0, 4, 3, 0, buf, 8, 100), 8);
  libusb_close(h);
  libusb_close(h2);
  EXPECT_EQ(pvkemu_open_handles(dev), 0);
  EXPECT_EQ(pvkemu_error_count(), 0) << pvkemu_last_error();
}

TEST(Faults, PerRequestFaultsAndTheLog) {
  pvkemu_reset();
  pvkemu_profile p;
  pvkemu_profile_full(&p);
  int dev = pvkemu_add_device(&p);
  libusb_device_handle* h = openFirst();
  ASSERT_NE(h, nullptr);
  pvkemu_fault(dev, 3, PVKEMU_DIR_IN, PVKEMU_FAULT_TIMEOUT, 1, 0);
  pvkemu_fault(dev, 2, PVKEMU_DIR_IN, PVKEMU_FAULT_SHORT, 1, 2);
  pvkemu_fault(dev, PVKEMU_ANY_REQUEST, PVKEMU_DIR_OUT, PVKEMU_FAULT_STALL, -1, 0);
  uint8_t buf[8] = {0};
  EXPECT_EQ(libusb_control_transfer(h, 0xC0, 4, 3, 0, buf, 8, 100), LIBUSB_ERROR_TIMEOUT);
  EXPECT_EQ(libusb_control_transfer(h, 0xC0, 4, 3, 0, buf, 8, 100), 8);
  EXPECT_EQ(libusb_control_transfer(h, 0xC0, 4, 2, 0, buf, 5, 100), 2);
  EXPECT_EQ(libusb_control_transfer(h, 0x40, 4, 34, 0, buf, 1, 100), LIBUSB_ERROR_PIPE);
  EXPECT_EQ(libusb_control_transfer(h, 0x40, 4, 34, 0, buf, 1, 100), LIBUSB_ERROR_PIPE);
  pvkemu_fault_claim(dev, LIBUSB_ERROR_BUSY, 1);
  EXPECT_EQ(libusb_claim_interface(h, 0), LIBUSB_ERROR_BUSY);
  EXPECT_EQ(libusb_claim_interface(h, 0), 0);

  ASSERT_EQ(pvkemu_log_count(), 5u);
  pvkemu_request r;
  ASSERT_EQ(pvkemu_log_get(2, &r), 0);
  EXPECT_EQ(r.request_type, 0xC0);
  EXPECT_EQ(r.value, 2);
  EXPECT_EQ(r.length, 5);
  EXPECT_EQ(r.result, 2);
  EXPECT_EQ(r.data[1], 5);  // first digit of 0x5011
  ASSERT_EQ(pvkemu_log_get(4, &r), 0);
  EXPECT_EQ(r.request_type, 0x40);
  EXPECT_EQ(pvkemu_log_get(5, &r), -1);
  libusb_close(h);
  // Use after close is recorded, not a crash.
  EXPECT_EQ(libusb_control_transfer(h, 0xC0, 4, 3, 0, buf, 8, 100), LIBUSB_ERROR_NO_DEVICE);
  EXPECT_EQ(pvkemu_error_count(), 1);
}

struct Bulk : ::testing::Test {
  int dev = -1;
  libusb_device_handle* h = nullptr;
  std::vector<int> statuses;
  std::vector<int> lengths;
  void SetUp() override {
    pvkemu_reset();
    pvkemu_profile p;
    pvkemu_profile_full(&p);
    dev = pvkemu_add_device(&p);
    h = openFirst();
    ASSERT_NE(h, nullptr);
    pvkemu_clock_virtual(1);
  }
  void TearDown() override {
    pvkemu_clock_virtual(0);
    libusb_close(h);
  }
  static void LIBUSB_CALL done(libusb_transfer* t) {
    auto* self = static_cast<Bulk*>(t->user_data);
    self->statuses.push_back(t->status);
    self->lengths.push_back(t->actual_length);
  }
  libusb_transfer* submit(unsigned char* buf, int len, unsigned timeout) {
    libusb_transfer* t = libusb_alloc_transfer(0);
    libusb_fill_bulk_transfer(t, h, 0x82, buf, len, done, this, timeout);
    EXPECT_EQ(libusb_submit_transfer(t), 0);
    return t;
  }
  void pump(int times) {
    timeval tv{0, 0};
    for (int i = 0; i < times; ++i) libusb_handle_events_timeout(nullptr, &tv);
  }
};

TEST_F(Bulk, TransfersCompleteOnlyInsideEventHandlingAndInOrder) {
  std::vector<uint8_t> data(300);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  pvkemu_stream_push(dev, data.data(), data.size());
  pvkemu_stream_end(dev);
  unsigned char a[256], b[256];
  libusb_transfer* ta = submit(a, 256, 1000);
  libusb_transfer* tb = submit(b, 256, 1000);
  EXPECT_TRUE(statuses.empty());
  pump(1);
  ASSERT_EQ(statuses.size(), 2u);
  EXPECT_EQ(statuses[0], LIBUSB_TRANSFER_COMPLETED);
  EXPECT_EQ(lengths[0], 256);
  EXPECT_EQ(lengths[1], 44);  // the stream ended: a short transfer
  EXPECT_EQ(a[255], 255);
  EXPECT_EQ(b[0], 0);  // byte 256 of the stream
  libusb_free_transfer(ta);
  libusb_free_transfer(tb);
  EXPECT_EQ(pvkemu_error_count(), 0);
}

// Pushes between reads, reads of every size: the stream comes out in the order it went in,
// whatever was taken before a push.
TEST_F(Bulk, PushesBetweenReadsKeepTheStreamInOrder) {
  struct Step {
    size_t push, read;
  };
  const Step steps[] = {{1000, 10}, {0, 600}, {50, 390}, {0, 40}, {0, 10},
                        {70000, 1}, {0, 65000}, {0, 4998}, {3, 4}};
  uint8_t next = 0, expect = 0;
  for (const Step& s : steps) {
    std::vector<uint8_t> data(s.push);
    for (uint8_t& b : data) b = next++;
    if (s.push) pvkemu_stream_push(dev, data.data(), data.size());
    std::vector<unsigned char> buf(s.read);
    int got = -1;
    libusb_bulk_transfer(h, 0x82, buf.data(), static_cast<int>(s.read), &got, 100);
    ASSERT_EQ(got, static_cast<int>(s.read)) << s.push << " " << s.read;
    for (int i = 0; i < got; ++i) ASSERT_EQ(buf[i], expect++) << "byte " << i << " of a read of " << s.read;
  }
  pvkemu_stream_end(dev);
  unsigned char rest[8];
  int got = -1;
  EXPECT_EQ(libusb_bulk_transfer(h, 0x82, rest, 8, &got, 100), 0);
  EXPECT_EQ(got, 0);  // all was read: an ended stream gives nothing more
}

TEST_F(Bulk, CancelTimeoutAndFreeWhileInFlight) {
  unsigned char a[64], b[64];
  libusb_transfer* ta = submit(a, 64, 2000);
  libusb_transfer* tb = submit(b, 64, 0);
  EXPECT_EQ(libusb_cancel_transfer(tb), 0);
  pump(1);
  ASSERT_EQ(statuses.size(), 1u);
  EXPECT_EQ(statuses[0], LIBUSB_TRANSFER_CANCELLED);
  // No data: the first transfer times out once its deadline is reached, in virtual time.
  pump(1);
  ASSERT_EQ(statuses.size(), 2u);
  EXPECT_EQ(statuses[1], LIBUSB_TRANSFER_TIMED_OUT);
  EXPECT_GE(pvkemu_clock_elapsed_ms(), 1999u);  // whole milliseconds of the deadline
  EXPECT_EQ(libusb_cancel_transfer(ta), LIBUSB_ERROR_NOT_FOUND);
  ASSERT_EQ(libusb_submit_transfer(ta), 0);
  libusb_free_transfer(ta);
  EXPECT_EQ(pvkemu_error_count(), 1);
  EXPECT_NE(std::strstr(pvkemu_last_error(), "in flight"), nullptr);
  libusb_free_transfer(tb);
}

TEST_F(Bulk, UnplugCompletesPendingTransfersWithNoDevice) {
  unsigned char a[64];
  libusb_transfer* ta = submit(a, 64, 0);
  pvkemu_unplug(dev);
  pump(1);
  ASSERT_EQ(statuses.size(), 1u);
  EXPECT_EQ(statuses[0], LIBUSB_TRANSFER_NO_DEVICE);
  EXPECT_EQ(libusb_submit_transfer(ta), LIBUSB_ERROR_NO_DEVICE);
  libusb_free_transfer(ta);
}

TEST_F(Bulk, SynchronousOutCollectsTheInkjetColumns) {
  unsigned char cols[6] = {1, 0, 2, 0, 3, 0};
  int done = 0;
  EXPECT_EQ(libusb_bulk_transfer(h, 0x06, cols, 6, &done, 5000), 0);
  EXPECT_EQ(done, 6);
  unsigned char back[6];
  EXPECT_EQ(pvkemu_bulk_out_take(dev, back, sizeof back), 6u);
  EXPECT_EQ(std::memcmp(back, cols, 6), 0);
}

TEST(VirtualClock, SleepsAndSemaphoreWaitsCostNoRealTime) {
  timespec r0;
  clock_gettime(CLOCK_MONOTONIC, &r0);
  pvkemu_clock_virtual(1);
  timespec v0, v1;
  clock_gettime(CLOCK_REALTIME, &v0);
  sleep(30);
  usleep(500000);
  clock_gettime(CLOCK_REALTIME, &v1);
  int64_t ns = (v1.tv_sec - v0.tv_sec) * 1000000000LL + (v1.tv_nsec - v0.tv_nsec);
  EXPECT_EQ(ns, 30500000000LL);
  sem_t s;
  sem_init(&s, 0, 0);
  timespec deadline = v1;
  deadline.tv_sec += 60;
  EXPECT_EQ(sem_timedwait(&s, &deadline), -1);
  EXPECT_EQ(errno, ETIMEDOUT);
  sem_post(&s);
  EXPECT_EQ(sem_timedwait(&s, &deadline), 0);
  sem_destroy(&s);
  EXPECT_GE(pvkemu_clock_elapsed_ms(), 90500u);
  pvkemu_clock_virtual(0);
  timespec r1;
  clock_gettime(CLOCK_MONOTONIC, &r1);
  EXPECT_LT(r1.tv_sec - r0.tv_sec, 5);  // real time barely moved
}

}  // namespace
