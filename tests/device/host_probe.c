/* A host program in C: opens the first scanner and prints the result, the last result and
 * whether the software scanner is the libusb this process loaded. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>

#include "PlavikMS.h"

int main(int argc, char** argv) {
  /* The directory is given before anything starts, so nothing is written elsewhere. */
  int h = PVKInitializeSN(argc > 1 ? argv[1] : NULL, NULL);
  int last = PVKGetLastResult();
  int emulated = dlsym(RTLD_DEFAULT, "pvkemu_loaded") != NULL;
  printf("%d %d %d\n", h, last, emulated);
  if (h > 0) PVKClose((void*)(long)h);
  return 0;
}
