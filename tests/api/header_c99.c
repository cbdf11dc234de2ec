/* Compiled as strict C99 by the test public_header_c99: a C host must be able to use the header. */
#include "PlavikMS.h"

static int useHeader(void) {
  PVKImg img = {0, 0, 0, 0, 0};
  PVKOCRDoc doc;
  char msg[80];
  doc.nZones = 0;
  (void)img;
  (void)doc;
  return PVKErrMsg(PVK_ERR_GENERIC, msg, (int)sizeof msg) + PVK_WAR_IQA;
}

int main(void) { return useHeader() > 0 ? 0 : 1; }
