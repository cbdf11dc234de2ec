// A host killed in the middle of a calibration: the run goes on in a child process that is
// killed (SIGKILL) at a chosen point, and the previous calibration must still load, whole, with
// PVKCheckCalibration as it was; once the new set is committed, it must load whole instead.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "../common/file_limit.h"
#include "calib_sheet_fixture.h"

namespace {

using Files = std::map<std::string, std::string>;  // calibration file name -> its bytes

class CalibrationKill : public Calibration {
 protected:
  Files calibSet() const {
    Files out;
    for (const std::string& n : calibFiles()) out[n] = pvk::testing::fileBytes(dir + "/" + n);
    return out;
  }
  // Puts a set back: the calibration files, the commit list and the temporaries go first.
  void restore(const Files& set) const {
    for (const std::string& n : pvk::testing::filesIn(dir))
      if (n.find(".pcf") != std::string::npos || n.find(".commit") != std::string::npos)
        std::remove((dir + "/" + n).c_str());
    for (const auto& [name, bytes] : set) {
      FILE* f = std::fopen((dir + "/" + name).c_str(), "wb");
      ASSERT_NE(f, nullptr);
      ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
      std::fclose(f);
    }
  }
  bool commitListLeft() const {
    for (const std::string& n : pvk::testing::filesIn(dir))
      if (n.find(".commit") != std::string::npos) return true;
    return false;
  }
};

// What the child is to do and where it dies: before its n-th acquisition of the sheet, after the
// n-th step of the commit that reached the disk, or nowhere (0).
struct Stop {
  int acquisition = 0;
  int commitStep = 0;
};

struct Outcome {
  bool killed = false;
  int result = 0;
  int acquisitions = 0;
};

Stop stop;
int acquisitions = 0;
int commitSteps = 0;
int32_t (*realAcquire)(uint16_t, ImgInfo*, bool) = nullptr;

int32_t countedAcquire(uint16_t lines, ImgInfo* sides, bool forward) {
  if (++acquisitions == stop.acquisition) raise(SIGKILL);
  return realAcquire(lines, sides, forward);
}

void countedStep() {
  if (++commitSteps == stop.commitStep) raise(SIGKILL);
}

// Runs body in a child with the stop installed; the parent's files are what it left.
Outcome inChild(const Stop& where, const std::function<int()>& body) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    stop = where;
    realAcquire = pvk::control::roadHooks.acquireImg;
    pvk::control::roadHooks.acquireImg = countedAcquire;
    pvk::calibration::afterCommitStep = countedStep;
    const int out[2] = {body(), acquisitions};
    _exit(write(fds[1], out, sizeof out) == sizeof out ? 0 : 1);
  }
  close(fds[1]);
  int in[2] = {0, 0};
  const bool told = read(fds[0], in, sizeof in) == sizeof in;
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  Outcome o;
  o.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  o.result = told ? in[0] : pvk::testing::kChildCrashed;
  o.acquisitions = in[1];
  return o;
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
    return [this, length] {
      const pvkemu_sensor model = sensor(120);
      pvkemu_sensor_model(dev, &model);
      sheet(length);
      return PVKCalibrate(h());
    };
  };
  const Outcome whole = inChild({}, calibrate(1500));
  ASSERT_EQ(whole.result, 0);
  const Files fresh = calibSet();
  ASSERT_EQ(fresh.size(), old.size());
  for (const auto& [name, bytes] : fresh) ASSERT_NE(bytes, old.at(name)) << name;
  ASSERT_GT(whole.acquisitions, 6);
  restore(old);

  // The commit of the fresh set alone, without the run before it.
  auto commitFresh = [this, &fresh] {
    pvk::calibration::beginCalibSet();
    for (const auto& [name, bytes] : fresh)
      pvk::calibration::holdCalibFile((dir + "/" + name).c_str(), std::vector<uint8_t>(bytes.begin(), bytes.end()));
    return pvk::calibration::commitCalibSet();
  };
  const int n = static_cast<int>(fresh.size());
  const int a = whole.acquisitions;
  struct Row {
    const char* where;
    Stop stop;
    bool commitOnly;
    uint32_t length;  // of the sheet, for a run
    int result;       // of a child that was not killed
    bool fresh;       // the set expected afterwards: the fresh one, else the old one
  };
  const Row rows[] = {
      {"after the first black pass", {3, 0}, false, 1500, 0, false},
      {"before the last white pass", {a, 0}, false, 1500, 0, false},
      {"a run that fails, not killed", {}, false, 1000, PVK_ERR_CALIB, false},
      {"first temporary written", {0, 1}, true, 0, 0, false},
      {"every temporary written, no list", {0, n}, true, 0, 0, false},
      {"list written, nothing renamed", {0, n + 1}, true, 0, 0, true},
      {"one file renamed", {0, n + 2}, true, 0, 0, true},
      {"every file renamed, list left", {0, 2 * n + 1}, true, 0, 0, true},
      {"list removed", {0, 2 * n + 2}, true, 0, 0, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.where);
    const Outcome o =
        inChild(row.stop, row.commitOnly ? std::function<int()>(commitFresh) : calibrate(row.length));
    EXPECT_EQ(o.killed, row.stop.acquisition != 0 || row.stop.commitStep != 0) << o.result;
    if (!o.killed) {
      EXPECT_EQ(o.result, row.result);
    }
    EXPECT_EQ(PVKCheckCalibration(h()), 0);
    EXPECT_FALSE(commitListLeft());
    const Files now = calibSet();
    EXPECT_TRUE(now == (row.fresh ? fresh : old))
        << (now == old ? "the old set" : now == fresh ? "the fresh set" : "a mixed set");
    restore(old);
  }
  // Temporaries a commit killed before its list left behind go at the next commit.
  const std::string& name = old.begin()->first;  // ends in the setting's four hex digits and ".pcf"
  const std::string orphan = dir + "/." + name.substr(0, name.size() - 8) + "ffff.pcf.next";
  std::fclose(std::fopen(orphan.c_str(), "wb"));
  EXPECT_EQ(inChild({}, commitFresh).result, 0);
  EXPECT_NE(access(orphan.c_str(), F_OK), 0) << orphan;
  EXPECT_TRUE(calibSet() == fresh);
}

}  // namespace
