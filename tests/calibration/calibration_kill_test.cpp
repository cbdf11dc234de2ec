// A host killed in the middle of a calibration: the run goes on in a child process killed
// (SIGKILL) at a chosen point; the previous calibration must still load whole, with
// PVKCheckCalibration as it was, and once the new set is committed, the new one whole.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <map>

#include "../common/child_process.h"
#include "../common/file_limit.h"
#include "calib_sheet_fixture.h"

namespace {

using Files = std::map<std::string, std::string>;  // calibration file name -> its bytes
using pvk::testing::kChildCrashed;

class CalibrationKill : public Calibration {
 protected:
  Files calibSet() const {
    Files out;
    for (const std::string& n : calibFiles()) out[n] = pvk::testing::fileBytes(path(n));
    return out;
  }
  // Puts a set back alone: the calibration files, the commit list and the temporaries go first.
  void restore(const Files& set) const {
    for (const std::string& n : pvk::testing::filesIn(dir))
      if (n.find(".pcf") != std::string::npos || n.find(".commit") != std::string::npos) std::remove(path(n).c_str());
    for (const auto& [name, bytes] : set) std::ofstream(path(name), std::ios::binary) << bytes;
  }
};

// Where the child dies: before its n-th acquisition of the sheet, or once the n-th step of the
// commit reached the disk (0: nowhere).
int killAcquisition = 0, killStep = 0, acquisitions = 0, steps = 0;
int32_t (*realAcquire)(uint16_t, ImgInfo*, bool) = nullptr;

int32_t countedAcquire(uint16_t lines, ImgInfo* sides, bool forward) {
  if (++acquisitions == killAcquisition) raise(SIGKILL);
  return realAcquire(lines, sides, forward);
}

// body in a child with the stop installed: what it returned, kChildCrashed once killed.
int killedAt(int acquisition, int step, const std::function<int()>& body) {
  return pvk::testing::inChild(
      [=] {
        killAcquisition = acquisition;
        killStep = step;
        realAcquire = pvk::control::roadHooks.acquireImg;
        pvk::control::roadHooks.acquireImg = countedAcquire;
        pvk::calibration::afterCommitStep = [] {
          if (++steps == killStep) raise(SIGKILL);
        };
        return true;
      },
      body);
}

TEST_F(CalibrationKill, AKilledRunLeavesThePreviousCalibrationWhole) {
  pvkemu_profile p;
  pvkemu_profile_basic(&p);
  openProfile(p, sensor(200));
  sheet(1500);
  ASSERT_EQ(PVKCalibrate(h()), 0);
  ASSERT_EQ(PVKCheckCalibration(h()), 0);
  const Files old = calibSet();
  ASSERT_GE(old.size(), 2u);

  // A new run on a sensor that saturates later: every file of its set differs from the old.
  auto calibrate = [this](uint32_t length) {
    const pvkemu_sensor model = sensor(120);
    pvkemu_sensor_model(dev, &model);
    sheet(length);
    return PVKCalibrate(h());
  };
  const int a = killedAt(0, 0, [&] { return calibrate(1500) == 0 ? acquisitions : -1; });
  ASSERT_GT(a, 6);
  const Files fresh = calibSet();
  ASSERT_EQ(fresh.size(), old.size());
  for (const auto& [name, bytes] : fresh) ASSERT_NE(bytes, old.at(name)) << name;
  restore(old);

  // The commit of the fresh set alone, without the run before it.
  auto commitFresh = [&] {
    pvk::calibration::beginCalibSet();
    for (const auto& [name, bytes] : fresh)
      pvk::calibration::holdCalibFile(path(name).c_str(), std::vector<uint8_t>(bytes.begin(), bytes.end()));
    return pvk::calibration::commitCalibSet();
  };
  const int n = static_cast<int>(fresh.size());
  const struct {
    const char* where;
    int acquisition, step;
    uint32_t length;  // of the sheet, for a run; 0: the commit alone
    int result;
    bool fresh;  // the set expected afterwards: the fresh one, else the old one
  } rows[] = {
      {"after the first black pass", 3, 0, 1500, kChildCrashed, false},
      {"before the last white pass", a, 0, 1500, kChildCrashed, false},
      {"a run that fails, not killed", 0, 0, 1000, PVK_ERR_CALIB, false},
      {"every temporary written, no list", 0, n, 0, kChildCrashed, false},
      {"list written, nothing renamed", 0, n + 1, 0, kChildCrashed, true},
      {"one file renamed", 0, n + 2, 0, kChildCrashed, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.where);
    EXPECT_EQ(killedAt(row.acquisition, row.step, [&] { return row.length ? calibrate(row.length) : commitFresh(); }),
              row.result);
    EXPECT_EQ(PVKCheckCalibration(h()), 0);
    for (const std::string& name : pvk::testing::filesIn(dir)) EXPECT_EQ(name.find(".commit"), std::string::npos);
    const Files now = calibSet();
    EXPECT_TRUE(now == (row.fresh ? fresh : old))
        << (now == old ? "the old set" : now == fresh ? "the fresh set" : "a mixed set");
    restore(old);
  }
  // Temporaries a commit killed before its list left behind go at the next commit.
  const std::string& name = old.begin()->first;  // ends in the setting's four hex digits and ".pcf"
  const std::string orphan = path("." + name.substr(0, name.size() - 8) + "ffff.pcf.next");
  std::ofstream(orphan) << "";
  EXPECT_EQ(killedAt(0, 0, commitFresh), 0);
  EXPECT_NE(access(orphan.c_str(), F_OK), 0) << orphan;
  EXPECT_TRUE(calibSet() == fresh);
}

}  // namespace
