// The configuration directory, where per-device, calibration and scratch files (and by default
// the trace) go; and the resolutions of a forced acquisition mode.
#pragma once

// True when dir is a directory in which a file can be created; sets the writable flag of MyDev.
// A null or empty dir gives false without touching the flag.
bool DirExist(const char* dir);
// Sets the directory from INI [General] CnfDir, "/home/" when that is unusable; the probe's result.
bool Vx3CnfDir();
// Adopts dir when the probe accepts it; a null dir changes nothing and gives true.
bool Vx3CnfDirSet(const char* dir, bool, bool);
// The acquired resolutions of the forced mode through each non-null pointer; -1 when no mode
// is forced or the mode has no planes.
int GetForcedRes(unsigned short* dpiFront, unsigned short* dpiRear, unsigned short* dpiVert1,
                 unsigned short* dpiVert2);

namespace pvk::core {

constexpr char kDefaultCnfDir[] = "/home/";
constexpr char kProbeFile[] = "/Vx3cnfDirAccessibile.txt";

}  // namespace pvk::core
