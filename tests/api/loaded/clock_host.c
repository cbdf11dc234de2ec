/* A host that loads the software scanner and then the library, both with dlopen, switches the
 * scanner's virtual clock on and scans with no document fed: the library's wait for the document
 * must run on that clock. Prints the result and the virtual milliseconds that passed.
 * Usage: clock_host SOFTWARE_SCANNER LIBRARY */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>

int main(int argc, char** argv) {
  void *emu, *lib;
  void (*clockVirtual)(int);
  uint64_t (*elapsedMs)(void);
  int (*initialize)(unsigned char*);
  int (*scan)(void*, void*, char*, char*, short);
  char text[64], conf[64];
  int h, r;
  if (argc != 3) return 2;
  emu = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  lib = emu ? dlopen(argv[2], RTLD_NOW | RTLD_LOCAL) : NULL;
  if (lib == NULL) {
    fprintf(stderr, "%s\n", dlerror());
    return 3;
  }
  *(void**)&clockVirtual = dlsym(emu, "pvkemu_clock_virtual");
  *(void**)&elapsedMs = dlsym(emu, "pvkemu_clock_elapsed_ms");
  *(void**)&initialize = dlsym(lib, "PVKInitialize");
  *(void**)&scan = dlsym(lib, "PVKImgScan1");
  if (!clockVirtual || !elapsedMs || !initialize || !scan) return 4;
  clockVirtual(1);
  h = initialize(NULL);
  if (h <= 0) return 5;
  r = scan((void*)(intptr_t)h, NULL, text, conf, (short)sizeof text);
  printf("%d %llu\n", r, (unsigned long long)elapsedMs());
  return 0;
}
