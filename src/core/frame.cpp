// Load-time INI path and the one-time start-up shared by every exported call.
#include "core/frame.h"

#include <dlfcn.h>
#include <limits.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/cnf_dir.h"
#include "core/defaults.h"
#include "core/ini.h"
#include "core/records.h"
#include "core/trace.h"

uint8_t initLib;
uint8_t prima_apertura = 1;
uint64_t NULLHandle;
char AppName[260];
char DllName[260];
char FileName[260];
char DefaultCnfDir[260];
uint16_t pidDLL;
char SerialFilter[255];

namespace pvk::core {

bool iniPathFromLibraryPath(const char* libPath, char* out, size_t size) {
  if (libPath == nullptr) return false;
  // Only the file's own name counts: a directory such as "x.solutions" must not match.
  const char* slash = std::strrchr(libPath, '/');
  const char* base = slash != nullptr ? slash + 1 : libPath;
  const char* so = std::strstr(base, ".so");
  if (so == nullptr) return false;
  const int n = std::snprintf(out, size, "%.*s.ini", static_cast<int>(so - libPath), libPath);
  if (n < 0 || static_cast<size_t>(n) >= size) {
    if (size > 0) out[0] = '\0';
    return false;
  }
  return true;
}

namespace {

// The count of exported calls running, with kStopFrame set while PVKStop runs its own frame.
int callsRunning = 0;
constexpr int kStopFrame = 1 << 30;

}  // namespace

CallInProgress::CallInProgress() noexcept {
  int v = __atomic_load_n(&callsRunning, __ATOMIC_ACQUIRE);
  for (unsigned spins = 0;; ++spins) {
    if ((v & kStopFrame) == 0 &&
        __atomic_compare_exchange_n(&callsRunning, &v, v + 1, true, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
      return;
    if ((v & kStopFrame) != 0) {
      // PVKStop's frame is short: yield to it, then sleep a little if it takes longer.
      if (spins < 100) {
        sched_yield();
      } else {
        timespec pause{0, 100000};
        nanosleep(&pause, nullptr);
      }
      v = __atomic_load_n(&callsRunning, __ATOMIC_ACQUIRE);
    }
  }
}

CallInProgress::~CallInProgress() { __atomic_sub_fetch(&callsRunning, 1, __ATOMIC_ACQ_REL); }

StopFrame::StopFrame() noexcept {
  int idle = 0;
  alone_ = __atomic_compare_exchange_n(&callsRunning, &idle, kStopFrame, false, __ATOMIC_ACQ_REL,
                                       __ATOMIC_ACQUIRE);
}

StopFrame::~StopFrame() {
  if (alone_) __atomic_sub_fetch(&callsRunning, kStopFrame, __ATOMIC_ACQ_REL);
}

bool anotherCallInProgress() noexcept {
  return (__atomic_load_n(&callsRunning, __ATOMIC_ACQUIRE) & ~kStopFrame) != 0;
}

}  // namespace pvk::core

namespace {

// The loader reports the name the library was loaded by; a relative one is made absolute at
// load time and kept, so that start-up finds the INI file after the host changed directory.
std::string ownLibraryPath() {
  static std::string known;
  if (!known.empty()) return known;
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&on_load), &info) == 0 || info.dli_fname == nullptr)
    return std::string();
  known = info.dli_fname;
  if (!known.empty() && known[0] != '/') {
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) != nullptr) known = std::string(cwd) + "/" + known;
  }
  return known;
}

}  // namespace

namespace {

// The font database directory beside the library file at path, when it is a directory.
std::string fontDbDirBeside(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  const std::string dir = path.substr(0, slash + 1) + pvk::core::kFontDbFromLibDir + "/";
  struct stat st {};
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? dir : std::string();
}

}  // namespace

bool pvk::core::installedFontDbDir(char* out, size_t size) {
  const std::string lib = ownLibraryPath();
  std::string dir = fontDbDirBeside(lib);
  // A host may load the library through a link that lies elsewhere than the install.
  char resolved[PATH_MAX];
  if (dir.empty() && !lib.empty() && ::realpath(lib.c_str(), resolved) != nullptr) dir = fontDbDirBeside(resolved);
  if (dir.empty() || dir.size() >= size) return false;
  std::memcpy(out, dir.c_str(), dir.size() + 1);
  return true;
}

__attribute__((constructor)) void on_load() {
  const std::string lib = ownLibraryPath();
  if (pvk::core::iniPathFromLibraryPath(lib.c_str(), MyLog.iniPath, sizeof MyLog.iniPath)) return;
  if (lib.size() >= sizeof MyLog.iniPath)
    WriteTrace("err - ", "library path too long", lib.c_str(), false);
  std::snprintf(MyLog.iniPath, sizeof MyLog.iniPath, "%s", pvk::core::kFallbackIni);
}

void GetApplication(char* buf) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/%d/exe", static_cast<int>(::getpid()));
  const ssize_t n = ::readlink(link, buf, 259);
  if (n <= 0) {
    std::strcpy(buf, "unknown");
    std::strcpy(MyLog.progName, "unknown");
    return;
  }
  buf[n] = '\0';
  // The name after the last '/', searched from the second-to-last character.
  for (ssize_t i = n - 2; i >= 0; --i) {
    if (buf[i] == '/') {
      std::snprintf(MyLog.progName, sizeof MyLog.progName, "%s", buf + i + 1);
      return;
    }
  }
  std::strcpy(MyLog.progName, "unknown");
}

void GetDllName(char* fullName, char* baseName) {
  if (fullName != nullptr) std::strcpy(fullName, pvk::core::kLibraryFile);
  if (baseName != nullptr) {
    std::strcpy(baseName, pvk::core::kLibraryFile);
    char* dot = std::strchr(baseName, '.');
    if (dot != nullptr) *dot = '\0';
  }
}

void DefaultFile(const char* cnfDir) {
  GetDllName(DllName, FileName);
  std::strcpy(DllName, FileName);
  on_load();
  if (cnfDir == nullptr || cnfDir[0] == '\0')
    Vx3CnfDir();
  else if (!Vx3CnfDirSet(cnfDir, true, false))
    std::snprintf(MyDev.cnfDir, sizeof MyDev.cnfDir, "%s", pvk::core::kDefaultCnfDir);
  std::snprintf(MyLog.logDir, sizeof MyLog.logDir, "%s", MyDev.cnfDir);
}

int VerificaOSVersion() { return 1; }

void TracciaInit() {
  char line[600];
  std::snprintf(line, sizeof line, "%s ver. %s %s", DllName, pvk::core::kVersion,
                pvk::core::kBuildTag);
  WriteTrace(line, false);
  WriteTrace(AppName, false);
}

namespace {

void startupTraces() {
  WriteTrace("CnfDir", MyDev.cnfDir, false);
  WriteTrace("ini", MyLog.iniPath, false);
  prima_apertura = 0;
  if (std::strcmp(MyLog.progName, "STISVC") == 0) WriteTrace("StiSvcInstance", false);
  AcqDefaultToLive();
}

}  // namespace

void SoLibInit(const char* cnfDir) {
  AppName[0] = '\0';
  if (initLib != 0) return;
  initLib = 1;
  std::memset(DefaultCnfDir, 0, sizeof DefaultCnfDir);
  pvk::core::clearDeviceRecord();
  std::memset(&MyLog, 0, sizeof MyLog);
  std::memset(&MyOcr, 0, sizeof MyOcr);
  std::memset(&OCRDoc, 0, sizeof OCRDoc);
  std::memset(&MyInkjet, 0, sizeof MyInkjet);
  MyLog.LogSize = 4096;
  GetApplication(AppName);
  DefaultFile(cnfDir);
  AggiornaLog(true);
  char dir[1024];
  GetPrivateProfileString("General", "CnfDir", "", dir, sizeof dir, MyLog.iniPath);
  if (std::strlen(dir) > 2) Vx3CnfDirSet(dir, true, false);
  std::snprintf(DefaultCnfDir, sizeof DefaultCnfDir, "%s", MyDev.cnfDir);
  AggiornaLog(false);
  if (prima_apertura != 0) {
    TracciaInit();
    VerificaOSVersion();
  }
  InitImageAcquisition();
  InitMICRAcquisition();
  InitOCRAcquisition();
  InitOtherSettings();
  if (prima_apertura != 0) startupTraces();
}

void DllFunctInit(const char* name) {
  if (name != nullptr) SoLibInit("");
}

void DllFunctEnd(const char*) {}

void RMSVERIFICARESULT() {}

int pidDLLClose() {
  pidDLL = 0;
  std::memset(SerialFilter, 0, sizeof SerialFilter);
  return 0;
}
