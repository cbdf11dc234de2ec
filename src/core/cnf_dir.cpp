// Configuration directory: probed by creating and deleting a file in it.
#include "core/cnf_dir.h"

#include <dirent.h>
#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/frame.h"
#include "core/ini.h"
#include "core/records.h"
#include "core/regular_file.h"
#include "core/trace.h"

bool DirExist(const char* dir) {
  if (dir == nullptr || dir[0] == '\0') return false;
  DIR* d = ::opendir(dir);
  if (d == nullptr) {
    MyDev.cnfDirWritable = 0;
    WriteTrace(dir, errno == ENOENT ? "not exists" : "opening failed", false);
    return false;
  }
  ::closedir(d);
  const std::string probe = std::string(dir) + pvk::core::kProbeFile;
  FILE* f = pvk::core::openRegularFile(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC, "wb");
  if (f == nullptr) {
    WriteTrace(probe.c_str(), "error on write", false);
    MyDev.cnfDirWritable = 0;
    return false;
  }
  std::fclose(f);
  std::remove(probe.c_str());
  MyDev.cnfDirWritable = 1;
  return true;
}

namespace {

// The directory field holds 259 characters; a longer name is refused rather than cut.
bool fitsDirField(const char* dir) {
  if (std::strlen(dir) < sizeof MyDev.cnfDir) return true;
  WriteTrace("err - ", "configuration directory name too long", false);
  return false;
}

}  // namespace

bool Vx3CnfDir() {
  // Read more than the field holds so that a name too long is refused, not cut.
  char dir[1024];
  GetPrivateProfileString("General", "CnfDir", pvk::core::kDefaultCnfDir, dir, sizeof dir,
                          MyLog.iniPath);
  const bool ok = fitsDirField(dir) && DirExist(dir);
  const char* chosen = ok ? dir : pvk::core::kDefaultCnfDir;
  std::memcpy(MyDev.cnfDir, chosen, std::strlen(chosen) + 1);  // fits: checked above
  return ok;
}

bool Vx3CnfDirSet(const char* dir, bool, bool) {
  if (dir == nullptr) return true;
  if (!fitsDirField(dir)) return false;
  if (!DirExist(dir)) return false;
  std::snprintf(MyDev.cnfDir, sizeof MyDev.cnfDir, "%s", dir);
  return true;
}

int GetForcedRes(unsigned short* dpiFront, unsigned short* dpiRear, unsigned short* dpiVert1,
                 unsigned short* dpiVert2) {
  if (MyAcq.modeLocked == 0) {
    WriteTrace("err - ", "forced mode not set", false);
    MyDev.lastResult = PVK_ERR_GENERIC;
    return PVK_ERR_GENERIC;
  }
  if (MyAcq.planesPerLine == 0) {
    WriteTrace("err - ", "invalid n Col", false);
    MyDev.lastResult = PVK_ERR_GENERIC;
    return PVK_ERR_GENERIC;
  }
  if (dpiFront != nullptr) *dpiFront = MyAcq.dpiH[1];
  if (dpiRear != nullptr) *dpiRear = MyAcq.dpiH[0];
  if (dpiVert1 != nullptr) *dpiVert1 = MyAcq.dpiV;
  if (dpiVert2 != nullptr) *dpiVert2 = MyAcq.dpiV;
  MyDev.lastResult = PVK_OK;
  return PVK_OK;
}
