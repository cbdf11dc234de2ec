/* scanner_host [DIR]: a host that calls only PVK functions. It opens the first scanner it finds,
 * prints its serial number and closes it; DIR is the configuration directory. */
#include <stdint.h>
#include <stdio.h>

#include "PlavikMS.h"

int main(int argc, char** argv) {
  int handle = PVKInitialize(argc > 1 ? (unsigned char*)argv[1] : NULL);
  char serial[64] = "";
  if (handle <= 0) {
    fprintf(stderr, "scanner_host: no scanner: %d, last result %d\n", handle, PVKGetLastResult());
    return 1;
  }
  PVKReadSN((void*)(intptr_t)handle, serial, (int)sizeof serial);
  printf("scanner %s\n", serial);
  return PVKClose((void*)(intptr_t)handle) == 0 ? 0 : 1;
}
