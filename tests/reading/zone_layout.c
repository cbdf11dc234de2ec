/* The zone request records as a C host lays them out: every field at the offset its place in the
 * exchanged record gives it under natural alignment, and the sizes, checked at run time. */
#include <stdio.h>

#include "PlavikMS.h"

static int failures = 0;
static int checks = 0;

static void expect(const char* what, size_t actual, size_t expected) {
  ++checks;
  if (actual != expected) {
    ++failures;
    printf("%s: %zu, expected %zu\n", what, actual, expected);
  }
}

int main(void) {
  expect("zone size", sizeof(PVKOCRZone), 40);
  expect("zone left", offsetof(PVKOCRZone, left), 0);
  expect("zone top", offsetof(PVKOCRZone, top), 8);
  expect("zone width", offsetof(PVKOCRZone, width), 16);
  expect("zone height", offsetof(PVKOCRZone, height), 24);
  expect("zone side", offsetof(PVKOCRZone, side), 32);
  expect("zone font", offsetof(PVKOCRZone, font), 34);
  expect("zone option", offsetof(PVKOCRZone, option), 36);
  expect("zone chars read", offsetof(PVKOCRZone, charsRead), 38);
  expect("zone coordinate bytes", sizeof(((PVKOCRZone*)0)->left), 8);
  expect("zone side bytes", sizeof(((PVKOCRZone*)0)->side), 2);
  expect("doc size", sizeof(PVKOCRDoc), 8 + 20 * 40);
  expect("doc expected width", offsetof(PVKOCRDoc, expectedWidth), 0);
  expect("doc expected height", offsetof(PVKOCRDoc, expectedHeight), 2);
  expect("doc zone count", offsetof(PVKOCRDoc, nZones), 4);
  expect("doc rotation", offsetof(PVKOCRDoc, rotation), 6);
  expect("doc zones", offsetof(PVKOCRDoc, zones), 8);
  expect("doc zone slots", sizeof(((PVKOCRDoc*)0)->zones) / sizeof(PVKOCRZone), PVK_OCR_MAX_ZONES);
  expect("max zones", PVK_OCR_MAX_ZONES, 20);
  printf("%d passed, %d failed\n", checks - failures, failures);
  return failures ? 1 : 0;
}
