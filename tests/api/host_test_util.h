// What the host-side tests share: the handle as a host passes it, the software scanner's
// controls (found in the process, where the library loaded it as libusb), one configuration
// directory per process and the text of a file the library wrote.
#pragma once

#include <dlfcn.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "../../emulator/pvkemu.h"
#include "../common/scratch_dir.h"

namespace apitest {

inline void* asHandle(int h) { return reinterpret_cast<void*>(static_cast<intptr_t>(h)); }

template <typename F>
F emu(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
}

// Empties the software scanner's bus and puts one scanner of the named profile maker
// ("pvkemu_profile_full", ...) on it; the result of adding it, 0 when it is there.
inline int busOfOne(const char* profileMaker) {
  emu<void (*)()>("pvkemu_reset")();
  pvkemu_profile p;
  emu<void (*)(pvkemu_profile*)>(profileMaker)(&p);
  return emu<int (*)(const pvkemu_profile*)>("pvkemu_add_device")(&p);
}

// One configuration directory per process: the library keeps the one it was given.
inline const std::string& processDir() {
  static const std::string dir = pvk::testing::processScratchDir("pvkapi");
  return dir;
}

// The whole file, or "" when it cannot be read.
inline std::string fileText(const std::string& path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

}  // namespace apitest
