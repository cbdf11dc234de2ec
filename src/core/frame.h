// The frame of every exported call: the library's own INI path found at load and the one-time
// start-up run by the first exported call. The guard that then checks the caller's handle
// against the open device is the device layer's (device/device.h).
#pragma once

#include <cstddef>
#include <cstdint>

extern uint8_t initLib;          // start-up has run
extern uint8_t prima_apertura;   // first opening: start-up traces are written while set
extern uint64_t NULLHandle;      // its address stands for "no device needed"
extern char AppName[260];
extern char DllName[260];
extern char FileName[260];
extern char DefaultCnfDir[260];
extern uint16_t pidDLL;          // model selector: 0 any, 6 the A4 model, 10 the A6 model
extern char SerialFilter[255];   // serial number of the device to open, empty for any

void on_load();
void GetApplication(char* buf);
void DefaultFile(const char* cnfDir);
void SoLibInit(const char* cnfDir);
// Runs start-up when name is not null.
void DllFunctInit(const char* name);
void DllFunctEnd(const char* name);
void RMSVERIFICARESULT();
int VerificaOSVersion();
void TracciaInit();
void GetDllName(char* fullName, char* baseName);
int pidDLLClose();

namespace pvk::core {

constexpr char kLibraryFile[] = "libPlavikMS.so";
constexpr char kVersion[] = "2.2.5.2";
constexpr char kBuildTag[] = "ZUN";
constexpr char kFallbackIni[] = "/etc/libPlavikMS.ini";
constexpr uint64_t kInvalidHandle = 0xFFFFFFFFu;
// Where an install puts the font databases, seen from where it puts the library.
#ifdef PVK_FONT_DB_FROM_LIBDIR
constexpr char kFontDbFromLibDir[] = PVK_FONT_DB_FROM_LIBDIR;
#else
constexpr char kFontDbFromLibDir[] = "../share/PlavikMS/fontdb";
#endif

// The INI path of a library file: ".so" in the file's base name becomes ".ini" and the name
// ends there. False (out untouched) when the base name holds no ".so" or the result does not fit.
bool iniPathFromLibraryPath(const char* libPath, char* out, size_t size);

// The font databases installed with the library: kFontDbFromLibDir beside the directory of the
// library's own file (as loaded, else with its links resolved), '/'-terminated, into out. False
// (out untouched) when there is no such directory or it does not fit.
bool installedFontDbDir(char* out, size_t size);

// The handle that exported calls needing no device hand to the guard.
inline void* noDeviceHandle() { return &NULLHandle; }

// Exported calls running now. The library serves one thread, but a host stops a running call
// from another one: PVKStop is the one call that may run beside another. Beside a running call
// it touches only the atomic stop request; alone, it holds its own frame (StopFrame), and a
// call that starts meanwhile waits until that frame is over, so the two never overlap.
class CallInProgress {
 public:
  CallInProgress() noexcept;
  ~CallInProgress();
  CallInProgress(const CallInProgress&) = delete;
  CallInProgress& operator=(const CallInProgress&) = delete;
};

// PVKStop's whole frame, taken only while no other call runs.
class StopFrame {
 public:
  StopFrame() noexcept;
  ~StopFrame();
  bool alone() const { return alone_; }
  StopFrame(const StopFrame&) = delete;
  StopFrame& operator=(const StopFrame&) = delete;

 private:
  bool alone_;
};

// Whether any exported call (PVKStop's own frame aside) is running now.
bool anotherCallInProgress() noexcept;

}  // namespace pvk::core
