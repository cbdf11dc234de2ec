// A host run by an ordinary user, on a machine where root drove the same scanner first: with no
// INI file it opens with the directory it gives (its first call the open, or another call before
// it), reads a zone, and its trace lies in that directory without a line against the directory
// or the control endpoint's lock. Run as root, the user's host runs in a child that drops to an
// unprivileged uid; otherwise it runs as it is.
#include <grp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <opencv2/imgcodecs.hpp>

#include "../../common/child_process.h"
#include "../../common/ep0_lock_file.h"
#include "../../../emulator/pvkemu_image.h"
#include "loaded_library.h"

using pvk::test::countOf;
using pvk::test::LoadedLibrary;
using pvk::test::readText;

namespace {

constexpr uid_t kNobody = 65534;

bool asOrdinaryUser() {
  if (::geteuid() != 0) return true;
  // A process that changed its uid is not dumpable, which would hide /proc/self/exe from it.
  return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 &&
         ::prctl(PR_SET_DUMPABLE, 1) == 0;
}

class OrdinaryUser : public LoadedLibrary {
 protected:
  void SetUp() override {
    LoadedLibrary::SetUp();
    ASSERT_EQ(::chmod(root_.c_str(), 0755), 0);
    std::filesystem::create_directories(root_ + "/lib");
    ASSERT_EQ(::chmod((root_ + "/lib").c_str(), 0755), 0);
    library_ = root_ + "/lib/libPlavikMS.so";  // no INI file beside it
    std::filesystem::copy_file(PVK_LIBRARY_FILE, library_);
    ASSERT_EQ(::chmod(library_.c_str(), 0755), 0);
    // The software scanner, loaded first, stands in for the libusb the library asks for.
    emulator_ = ::dlopen(PVK_SOFTWARE_SCANNER, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(emulator_, nullptr) << ::dlerror();
    emu<void(pvkemu_profile*)>("pvkemu_profile_full")(&profile_);
    std::snprintf(profile_.serial, sizeof profile_.serial, "4%07d", static_cast<int>(::getpid() % 10000000));
    cheque_ = cv::imread(PVK_BINARY_DIR "/examples/cheque.pgm", cv::IMREAD_GRAYSCALE);
    ASSERT_FALSE(cheque_.empty());
  }
  void TearDown() override {
    pvk::testing::removeEp0LockFile(profile_);
    LoadedLibrary::TearDown();
  }

  template <typename F>
  F* emu(const char* name) {
    return reinterpret_cast<F*>(::dlsym(emulator_, name));
  }
  template <typename F>
  F* lib(void* l, const char* name) {
    return reinterpret_cast<F*>(::dlsym(l, name));
  }

  // A directory of root_ that the user of the host owns.
  std::string dirOf(const std::string& name, uid_t owner) {
    const std::string d = root_ + "/" + name;
    std::filesystem::create_directories(d);
    if (::geteuid() == 0 && ::chown(d.c_str(), owner, owner) != 0) return "";
    return d;
  }

  // The quick start's host in this process: the cheque fed, the open with dir (after PVKLibInfo
  // when asked), its Code 128 read. 0 when it read it; else the result that failed, or 1.
  int host(std::string dir, bool libInfoFirst) {
    emu<void(int)>("pvkemu_clock_virtual")(1);
    emu<void()>("pvkemu_reset")();
    const int dev = emu<int(const pvkemu_profile*)>("pvkemu_add_device")(&profile_);
    pvkemu_document doc{};
    doc.width = static_cast<uint32_t>(cheque_.cols);
    doc.height = static_cast<uint32_t>(cheque_.rows);
    doc.front[PVKEMU_PLANE_GREY] = cheque_.data;
    if (emu<int(int, const pvkemu_document*)>("pvkemu_feed")(dev, &doc) != 0) return 1;
    void* l = ::dlopen(library_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (l == nullptr) return 1;
    char info[64];
    if (libInfoFirst) lib<decltype(PVKLibInfo)>(l, "PVKLibInfo")(info, sizeof info);
    const int h = lib<decltype(PVKInitialize)>(l, "PVKInitialize")(reinterpret_cast<unsigned char*>(dir.data()));
    if (h <= 0) return lib<decltype(PVKGetLastResult)>(l, "PVKGetLastResult")();
    void* scanner = reinterpret_cast<void*>(static_cast<intptr_t>(h));
    lib<decltype(PVKImgCreate)>(l, "PVKImgCreate")(scanner, 300, 300);
    auto* zones = lib<PVKOCRDoc>(l, "OCRDoc");
    lib<decltype(PVKOCRZoneAdd)>(l, "PVKOCRZoneAdd")(scanner, 300, 64, 214, 715, 168, 1, 304, 0);
    char text[64], conf[64];
    int r = lib<decltype(PVKImgScan1)>(l, "PVKImgScan1")(scanner, zones, text, conf, sizeof text);
    if (r == 0 && std::string(text) != "DEMO-128-2026") r = 1;
    lib<decltype(PVKClose)>(l, "PVKClose")(scanner);
    return r;
  }

  std::string library_;
  void* emulator_ = nullptr;
  pvkemu_profile profile_{};
  cv::Mat cheque_;
};

TEST_F(OrdinaryUser, OpensWithItsOwnDirectoryAfterRootDroveTheScanner) {
  const std::string trace = "/libPlavikMS_test_api_loaded.log";
  for (const bool libInfoFirst : {false, true}) {
    SCOPED_TRACE(libInfoFirst ? "PVKLibInfo first" : "the open first");
    const std::string rootDir = dirOf(libInfoFirst ? "root1" : "root0", 0);
    const std::string userDir = dirOf(libInfoFirst ? "user1" : "user0", kNobody);
    ASSERT_FALSE(userDir.empty());
    using pvk::testing::inChild;
    EXPECT_EQ(inChild([] { return true; }, [&] { return host(rootDir, false); }), 0) << "root's host";
    EXPECT_EQ(inChild(asOrdinaryUser, [&] { return host(userDir, libInfoFirst); }), 0) << "the user's host";
    // Started in the directory given first: the start-up lines are there, never moved from /home/.
    EXPECT_EQ(readText(rootDir + trace).find("log moved"), std::string::npos);
    const std::string t = readText(userDir + trace);
    EXPECT_EQ(countOf(t, "libPlavikMS ver. 2.2.5.2 ZUN\r\n"), 1) << t;
    EXPECT_EQ(countOf(t, "log moved"), libInfoFirst ? 1 : 0) << "from the default of start-up\n" << t;
    EXPECT_EQ(t.find("CnfDir"), t.find("CnfDir " + userDir)) << t;
    EXPECT_EQ(t.find("EP0Sem"), std::string::npos) << t;
    EXPECT_EQ(t.find("not Accessible"), std::string::npos) << t;
  }
}

}  // namespace
