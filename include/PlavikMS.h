/* libPlavikMS: the host interface of the cheque and document scanner library.
 * Every function returns an int result code (0 success, negative errors, 3..11 warnings)
 * unless stated otherwise; the message of a code comes from PVKErrMsg. */
#ifndef PLAVIKMS_H
#define PLAVIKMS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The one export marker: everything declared with it ships, nothing else does. */
#define PVK_API __attribute__((visibility("default")))

PVK_API int PVKDravin(int unused);

#ifdef __cplusplus
}
#endif

#endif /* PLAVIKMS_H */
