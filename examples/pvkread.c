/* pvkread DIR: a host program that reads a cheque with one scan-and-read call. The cheque comes
 * from DIR (cheque_front.raw, cheque_rear.raw and cheque_items.txt, written by the demo cheque
 * tool) and is fed to the software scanner; the program adds one OCR zone per printed item,
 * scans and reads, and prints for each zone what was printed, what was read, the confidences,
 * the count and the font used, then the call's result. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "PlavikMS.h"
#include "pvkemu.h"
#include "pvkemu_image.h"
#include "pvkemu_sheet.h"

#define SENSOR 2592
#define LINES 1100
#define MAX_ITEMS 20

struct item {
  char what[32];
  int font, left, top, width, height;
  char text[128];
};

static unsigned char* readRaw(const char* dir, const char* name) {
  char path[512];
  snprintf(path, sizeof path, "%s/%s", dir, name);
  FILE* f = fopen(path, "rb");
  if (!f) return NULL;
  unsigned char* px = malloc((size_t)SENSOR * LINES);
  if (px && fread(px, 1, (size_t)SENSOR * LINES, f) != (size_t)SENSOR * LINES) {
    free(px);
    px = NULL;
  }
  fclose(f);
  return px;
}

static int readItems(const char* dir, struct item* items) {
  char path[512], line[512];
  snprintf(path, sizeof path, "%s/cheque_items.txt", dir);
  FILE* f = fopen(path, "r");
  if (!f) return -1;
  int n = 0;
  while (n < MAX_ITEMS && fgets(line, sizeof line, f)) {
    struct item* it = &items[n];
    line[strcspn(line, "\n")] = '\0';
    char* field[7];
    int k = 0;
    for (char* p = line; k < 7; ++k) {
      field[k] = p;
      p = strchr(p, '\t');
      if (!p) break;
      *p++ = '\0';
    }
    if (k < 6) continue;
    snprintf(it->what, sizeof it->what, "%.31s", field[0]);
    it->font = atoi(field[1]);
    it->left = atoi(field[2]);
    it->top = atoi(field[3]);
    it->width = atoi(field[4]);
    it->height = atoi(field[5]);
    snprintf(it->text, sizeof it->text, "%.127s", field[6]);
    ++n;
  }
  fclose(f);
  return n;
}

/* Confidences as numbers; a TAB between zones has the confidence 'd'. */
static void printConfidences(const char* conf, int count) {
  for (int i = 0; i < count; ++i) printf("%s%d", i ? " " : "", (unsigned char)conf[i]);
}

int main(int argc, char** argv) {
  const char* dir = argc > 1 ? argv[1] : ".";
  struct item items[MAX_ITEMS];
  const int n = readItems(dir, items);
  unsigned char* front = readRaw(dir, "cheque_front.raw");
  unsigned char* rear = readRaw(dir, "cheque_rear.raw");
  if (n <= 0 || !front || !rear) {
    fprintf(stderr, "pvkread: no demo cheque in %s\n", dir);
    return 1;
  }

  /* The software scanner: a full-featured device with the cheque in its feeder. */
  pvkemu_clock_virtual(1);
  pvkemu_reset();
  pvkemu_profile profile;
  pvkemu_profile_full(&profile);
  pvkemu_add_device(&profile);
  pvkemu_document doc;
  memset(&doc, 0, sizeof doc);
  doc.width = SENSOR;
  doc.height = LINES;
  doc.front[0] = front;
  doc.rear[0] = rear;

  /* An empty directory keeps the configuration directory of the INI file. */
  unsigned char keep[1] = {0};
  int h = PVKInitialize(keep);
  if (h <= 0) {
    fprintf(stderr, "pvkread: PVKInitialize returned %d\n", h);
    return 1;
  }
  void* handle = (void*)(intptr_t)h;
  int r = PVKImgCreate(handle, 300, 300);
  if (r == 0) r = pvkemu_feed(0, &doc);
  pvkemu_sheet(0, 0, 1, PVKEMU_SHEET_ENTRY);
  for (int i = 0; r == 0 && i < n; ++i)
    if (PVKOCRZoneAdd(handle, 300, (short)items[i].left, (short)items[i].top, (short)items[i].width,
                      (short)items[i].height, 1, (short)items[i].font, 0) < 0)
      r = -1;
  static char text[4096], conf[4096];
  if (r == 0) r = PVKImgScan1(handle, &OCRDoc, text, conf, (short)sizeof text);
  printf("PVKImgScan1 result %d\n", r);

  /* The zones' texts follow one another in the order they were added, TAB between them. */
  const char* t = text;
  const char* c = conf;
  for (int i = 0; i < n; ++i) {
    const char* end = strchr(t, '\t');
    const int len = end ? (int)(end - t) : (int)strlen(t);
    printf("zone %d  %-14s font %3d (read with %d)  count %d\n", i, items[i].what, items[i].font,
           PVKOCRZoneOCRchar(handle, (short)i), PVKOCRZoneNChar(handle, (short)i));
    printf("  printed     [%s]\n  read        [%.*s]%s\n  confidences ", items[i].text, len, t,
           len == (int)strlen(items[i].text) && strncmp(t, items[i].text, (size_t)len) == 0 ? "  same" : "");
    printConfidences(c, len);
    printf("\n");
    if (!end) {
      t += len;
      c += len;
    } else {
      t = end + 1;
      c += len + 1;
    }
  }
  PVKClose(handle);
  free(front);
  free(rear);
  return 0;
}
