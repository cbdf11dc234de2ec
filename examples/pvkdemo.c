/* pvkdemo: a small host program. It asks the library who it is, turns a few result codes into
 * their messages, and shows where the library keeps its configuration and trace and what the
 * trace holds. It needs no scanner. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "PlavikMS.h"

static void showLibrary(void) {
  char info[64];
  int needed = PVKLibInfo(NULL, 0);
  if (needed < 0 || needed > (int)sizeof info) {
    printf("library info: unexpected size %d\n", needed);
    return;
  }
  PVKLibInfo(info, (int)sizeof info);
  printf("library: %s (the text needs %d bytes)\n", info, needed);
}

static void showMessages(void) {
  static const int codes[] = {PVK_OK, PVK_ERR_INV_PARAMETER, PVK_ERR_DEVICE_NOT_FOUND,
                              PVK_ERR_DOUBLE_FEED, PVK_WAR_CLEANING_REQUIRED, 12};
  size_t i;
  char msg[128];
  printf("\nresult codes:\n");
  for (i = 0; i < sizeof codes / sizeof codes[0]; ++i) {
    PVKErrMsg(codes[i], msg, (int)sizeof msg);
    printf("  %5d  %s\n", codes[i], msg);
  }
  /* A size below 1 asks for the room a message needs, terminator included: a host sizes its
   * buffer so, since a buffer too small is refused (with an error in the trace). */
  printf("  the message of %d needs a buffer of %d bytes\n", PVK_ERR_BUSY, PVKErrMsg(PVK_ERR_BUSY, NULL, 0));
}

static void showTrace(void) {
  char dir[260];
  char path[260];
  char line[512];
  FILE* f;
  PVKConfigDirGet(NULL, dir);
  PVKLogFileName(path);
  printf("\nconfiguration directory: %s\n", dir);
  if (path[0] == '\0') {
    printf("the trace is off\n");
    return;
  }
  printf("trace file: %s\n", path);
  f = fopen(path, "r");
  if (f == NULL) {
    printf("the trace file cannot be read here\n");
    return;
  }
  while (fgets(line, (int)sizeof line, f) != NULL) {
    size_t n = strlen(line);
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = '\0';
    printf("  | %s\n", line);
  }
  fclose(f);
}

int main(void) {
  showLibrary();
  showMessages();
  showTrace();
  return EXIT_SUCCESS;
}
