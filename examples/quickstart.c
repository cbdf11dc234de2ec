/* quickstart CHEQUE.pgm [DIR]: feeds one cheque to the software scanner, reads an OCR-B line, a
 * Code 128 and the E13B codeline of it with one scan-and-read call, prints the texts and saves
 * the front as front.jpg. CHEQUE.pgm is the cheque's front at 300 dpi, 8-bit grey, at most 2592
 * pixels wide: cropped to its paper, or with the scanner's dark border as here; DIR is the
 * configuration directory for the trace and the scanner's files. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <PlavikMS.h>
#include <pvkemu.h>
#include <pvkemu_image.h>

/* The pixels of a binary 8-bit PGM file, its size in *w and *h; null when it is not one. */
static unsigned char* readPgm(const char* path, unsigned* w, unsigned* h) {
  FILE* f = fopen(path, "rb");
  unsigned max = 0;
  unsigned char* px = NULL;
  if (f && fscanf(f, "P5 %u %u %u", w, h, &max) == 3 && max == 255 && fgetc(f) != EOF) {
    px = malloc((size_t)*w * *h);
    if (px && fread(px, 1, (size_t)*w * *h, f) != (size_t)*w * *h) {
      free(px);
      px = NULL;
    }
  }
  if (f) fclose(f);
  return px;
}

int main(int argc, char** argv) {
  unsigned w, h;
  unsigned char* front = argc > 1 ? readPgm(argv[1], &w, &h) : NULL;
  if (!front) {
    fprintf(stderr, "usage: quickstart CHEQUE.pgm [DIR]\n");
    return 2;
  }

  /* The software scanner stands in for the USB bus: one scanner with a magnetic head. */
  pvkemu_profile profile;
  pvkemu_profile_full(&profile);
  pvkemu_reset();
  int dev = pvkemu_add_device(&profile);

  int handle = PVKInitialize(argc > 2 ? (unsigned char*)argv[2] : NULL);
  if (handle <= 0) {
    fprintf(stderr, "no scanner: %d\n", PVKGetLastResult());
    return 1;
  }
  void* scanner = (void*)(intptr_t)handle;
  PVKImgCreate(scanner, 300, 300); /* keep the front and rear at 300 dpi */

  /* The document goes in: it waits at the entry photocell until the scan takes it. */
  pvkemu_document doc;
  memset(&doc, 0, sizeof doc);
  doc.width = w;
  doc.height = h;
  doc.front[PVKEMU_PLANE_GREY] = front;
  if (pvkemu_feed(dev, &doc) != 0) {
    fprintf(stderr, "cannot feed the cheque: %s\n", pvkemu_last_error());
    PVKClose(scanner);
    free(front);
    return 1;
  }

  /* Three zones of the front, in pixels at 300 dpi: font 4 is OCR-B, 304 a Code 128, 1 the E13B
   * codeline, read across the whole width (width 0) in the bottom 190 pixels (a negative top
   * counts from the bottom edge). docs/HOST.md lists every font code. */
  memset(&OCRDoc, 0, sizeof OCRDoc);
  PVKOCRZoneAdd(scanner, 300, 64, 74, 712, 155, 1, 4, 0);
  PVKOCRZoneAdd(scanner, 300, 64, 214, 715, 168, 1, 304, 0);
  PVKOCRZoneAdd(scanner, 300, 0, -190, 0, 190, 1, 1, 0);
  char text[256], conf[256];
  int r = PVKImgScan1(scanner, &OCRDoc, text, conf, (short)sizeof text);
  char msg[128];
  PVKErrMsg(r, msg, (int)sizeof msg);
  printf("PVKImgScan1: %d (%s)\n", r, msg);

  /* The zones' texts in the order they were added, a TAB between them. */
  char* zone = strtok(text, "\t");
  for (int i = 0; zone && i < 3; ++i, zone = strtok(NULL, "\t"))
    printf("zone %d: %s (%d characters)\n", i, zone, PVKOCRZoneNChar(scanner, (short)i));

  if (PVKImgSave(scanner, 1, NULL, 80, 0, "front.jpg") == 0) printf("front saved as front.jpg\n");
  PVKClose(scanner);
  free(front);
  return r == 0 ? 0 : 1;
}
