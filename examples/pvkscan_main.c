/* pvkscan: the scan demo's program. Its body (pvkscan.cpp) lives in libPlavikMS.so.scan, a copy
 * of the library's internals that reads the INI file beside it. */
#include <stdlib.h>

int pvkscan_run(void);

int main(void) { return pvkscan_run() == 0 ? EXIT_SUCCESS : EXIT_FAILURE; }
