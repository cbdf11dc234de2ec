/* A minimal host for the start-up tests: loads the library named by its argument and makes one
 * guarded call, so that start-up runs under this program's own name. */
#include <dlfcn.h>
#include <stdio.h>

int main(int argc, char** argv) {
  void* lib;
  int (*libInfo)(char*, int);
  if (argc != 2) return 2;
  lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (lib == NULL) {
    fprintf(stderr, "%s\n", dlerror());
    return 3;
  }
  *(void**)&libInfo = dlsym(lib, "PVKLibInfo");
  return libInfo != NULL && libInfo(NULL, 0) == 28 ? 0 : 4;
}
