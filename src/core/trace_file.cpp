// Choice of the trace file from the [General] settings: its name, its renewal at a first
// opening and its move when the configuration directory changes, with the device's
// identification line written again in the moved file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/frame.h"
#include "core/ini.h"
#include "core/records.h"
#include "core/shims.h"
#include "core/trace.h"

namespace {

constexpr size_t kValueSize = 260;

long readLong(const char* key, const char* def) {
  char buf[kValueSize];
  GetPrivateProfileString("General", key, def, buf, sizeof buf, MyLog.iniPath);
  return std::strtol(buf, nullptr, 10);
}

template <size_t N>
void store(char (&field)[N], const std::string& text) {
  std::memcpy(field, text.c_str(), text.size() + 1);
}

// The names the trace file settles on, formed before anything is stored so that a path too
// long for the fields is refused whole.
struct TraceNames {
  std::string dir;
  std::string pattern;
  std::string stem;
  std::string path;
};

void readLogSettings(TraceNames& names, std::string dir) {
  long debug = readLong("Debug", "0");
  MyLog.Debug = static_cast<uint16_t>(debug < 0 ? 0 : debug);
  MyLog.Verbose = readLong("Verbose", "0") > 0;
  if (dir.empty() || dir.back() != '/') dir += '/';
  names.dir = dir;
  std::string path = dir + FileName + "_" + MyLog.progName;
  long size = readLong("LogSize", "102400");
  MyLog.LogSize = static_cast<uint64_t>(size < 0 ? 0 : size);
  MyLog.LogTimeStamp = readLong("LogTimeStamp", "1") > 0;
  names.pattern = path + "*.log";
  long days = readLong("LogDays", "0");
  MyLog.LogDays = static_cast<uint64_t>(days < 0 ? 0 : days);
  if (pidDLL == 10 || pidDLL == 6) {
    path += pidDLL == 10 ? "A6" : "A4";
    prima_apertura = 1;
  }
  names.stem = path;
  names.path = path + ".log";
}

// The path must also fit the 260-byte buffer that PVKLogFileName fills for the host.
constexpr size_t kHostPathBuf = 260;

bool fits(const TraceNames& n) {
  return n.dir.size() < sizeof MyLog.logDir && n.pattern.size() < sizeof MyLog.tracePattern &&
         n.stem.size() < sizeof MyLog.traceStem && n.path.size() < kHostPathBuf;
}

void moveTrace(const std::string& oldPath) {
  DeleteFile(MyLog.tracePath);
  MoveFile(oldPath.c_str(), MyLog.tracePath);
  WriteTrace("log moved", false);
  WriteTrace(oldPath.c_str(), false);
  WriteTrace(MyLog.tracePath, false);
  TracciaInit();
  TracciaDevice();
}

}  // namespace

void AggiornaLog(bool first) {
  const std::string oldPath = MyLog.tracePath;
  MyLog.Log = readLong("Log", "1") > 0;
  if (MyLog.Log == 0) return;
  char dir[kValueSize];
  GetPrivateProfileString("General", "LogPath", first ? "" : MyDev.cnfDir, dir, sizeof dir,
                          MyLog.iniPath);
  if (first && dir[0] == '\0') return;
  long logNew = 0;
  TraceNames names;
  readLogSettings(names, dir);
  logNew = readLong("LogNew", "1");
  if (!fits(names)) {
    WriteTrace("err - ", "trace path too long", names.path.c_str(), false);
    return;
  }
  store(MyLog.logDir, names.dir);
  store(MyLog.tracePattern, names.pattern);
  store(MyLog.traceStem, names.stem);
  store(MyLog.tracePath, names.path);
  if (prima_apertura == 0) {
    if (!oldPath.empty() && oldPath != MyLog.tracePath) moveTrace(oldPath);
    return;
  }
  if (logNew >= 1) {
    DeleteFile((names.path + ".old").c_str());
    DeleteFile(MyLog.tracePath);
  } else {
    WriteTrace(" ", false);
  }
}

void TracciaDevice() {
  if (MyDev.productId == 0) return;
  // The supply voltage is the device class of the composition (12 or 5), the sensor type the
  // capability code of the capability request.
  const int volts = MyDev.deviceClass;
  const int cis = MyDev.capabilityCode;
  char line[400];
  int n;
  if (cis == 8) {
    n = std::snprintf(line, sizeof line, "pid %04x, ser.num. %s, ver. %04x, b, %dV", MyDev.productId,
                      MyDev.serialString, MyDev.fwVersion, volts);
  } else {
    n = std::snprintf(line, sizeof line, "pid %04x, ser.num. %s, ver. %04x, %dV", MyDev.productId,
                      MyDev.serialString, MyDev.fwVersion, volts);
    if (cis != 0 && n > 0 && n < int(sizeof line))
      n += std::snprintf(line + n, sizeof line - n, ", CIS %d", cis);
  }
  if (n > 0 && n < int(sizeof line)) std::snprintf(line + n, sizeof line - n, "%s", MyDev.highSpeed ? ", hs" : ", fs");
  WriteTrace(line, false);
}
