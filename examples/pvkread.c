/* pvkread DIR: a host program that reads two cheques, each with one scan-and-read call. The
 * cheques come from DIR, written by the demo cheque tool: for NAME e13b and cmc7, NAME_front.raw,
 * NAME_rear.raw, NAME_micr.raw (what the magnetic head senses of its codeline) and
 * NAME_items.txt. Each is fed to the software scanner; the program adds one OCR zone per printed
 * item, scans and reads, and prints for each zone what was printed, what was read, the
 * confidences, the count and the font used, then the call's result. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "PlavikMS.h"
#include "pvkemu.h"
#include "pvkemu_image.h"
#include "pvkemu_sheet.h"

#define MAX_ITEMS 20

struct item {
  char what[32];
  int font, left, top, width, height;
  char text[128];
};

/* One cheque as the demo cheque tool wrote it. */
struct cheque {
  int sensor, lines, micrPerSlot;
  unsigned char *front, *rear, *micr;
  size_t micrLength;
  struct item items[MAX_ITEMS];
  int n;
};

/* The whole file NAME SUFFIX of dir, its length in *length; null when missing, empty, or not of
 * `expected` bytes (0: any length). */
static unsigned char* readFile(const char* dir, const char* name, const char* suffix, size_t expected,
                               size_t* length) {
  char path[512];
  snprintf(path, sizeof path, "%s/%s%s", dir, name, suffix);
  FILE* f = fopen(path, "rb");
  if (!f) return NULL;
  unsigned char* bytes = NULL;
  const long size = fseek(f, 0, SEEK_END) == 0 ? ftell(f) : -1;
  if (size > 0 && (expected == 0 || (size_t)size == expected) && fseek(f, 0, SEEK_SET) == 0) {
    bytes = malloc((size_t)size);
    if (bytes && fread(bytes, 1, (size_t)size, f) != (size_t)size) {
      free(bytes);
      bytes = NULL;
    }
  }
  fclose(f);
  if (bytes && length) *length = (size_t)size;
  return bytes;
}

/* Splits line at its TABs into at most max fields; the number of fields. */
static int splitTabs(char* line, char** field, int max) {
  int k = 0;
  for (char* p = line; p && k < max;) {
    field[k++] = p;
    p = strchr(p, '\t');
    if (p) *p++ = '\0';
  }
  return k;
}

/* The transport line and the printed items of NAME_items.txt; 0 when both are there. */
static int readItems(const char* dir, const char* name, struct cheque* c) {
  char path[512], line[512];
  snprintf(path, sizeof path, "%s/%s_items.txt", dir, name);
  FILE* f = fopen(path, "r");
  if (!f) return -1;
  while (c->n < MAX_ITEMS && fgets(line, sizeof line, f)) {
    line[strcspn(line, "\n")] = '\0';
    char* field[7];
    const int k = splitTabs(line, field, 7);
    if (k == 4 && strcmp(field[0], "transport") == 0) {
      c->sensor = atoi(field[1]);
      c->lines = atoi(field[2]);
      c->micrPerSlot = atoi(field[3]);
      continue;
    }
    if (k < 7) continue;
    struct item* it = &c->items[c->n++];
    snprintf(it->what, sizeof it->what, "%.31s", field[0]);
    it->font = atoi(field[1]);
    it->left = atoi(field[2]);
    it->top = atoi(field[3]);
    it->width = atoi(field[4]);
    it->height = atoi(field[5]);
    snprintf(it->text, sizeof it->text, "%.127s", field[6]);
  }
  fclose(f);
  return c->n > 0 && c->sensor > 0 && c->lines > 0 ? 0 : -1;
}

static int loadCheque(const char* dir, const char* name, struct cheque* c) {
  memset(c, 0, sizeof *c);
  if (readItems(dir, name, c) != 0) return -1;
  const size_t plane = (size_t)c->sensor * (size_t)c->lines;
  c->front = readFile(dir, name, "_front.raw", plane, NULL);
  c->rear = readFile(dir, name, "_rear.raw", plane, NULL);
  c->micr = readFile(dir, name, "_micr.raw", 0, &c->micrLength);
  return c->front && c->rear ? 0 : -1;
}

static void freeCheque(struct cheque* c) {
  free(c->front);
  free(c->rear);
  free(c->micr);
}

/* Confidences as numbers; a TAB between zones has the confidence 'd'. */
static void printConfidences(const char* conf, int count) {
  for (int i = 0; i < count; ++i) printf("%s%d", i ? " " : "", (unsigned char)conf[i]);
}

/* Feeds the cheque, adds one zone per item, scans and reads it, and prints every zone. */
static void readCheque(void* handle, const char* name, const struct cheque* c) {
  pvkemu_document doc;
  memset(&doc, 0, sizeof doc);
  doc.width = (uint32_t)c->sensor;
  doc.height = (uint32_t)c->lines;
  doc.front[0] = c->front;
  doc.rear[0] = c->rear;
  doc.micr = c->micr;
  doc.micr_length = c->micrLength;
  doc.micr_per_slot = (uint32_t)c->micrPerSlot;
  int r = pvkemu_feed(0, &doc);
  pvkemu_sheet(0, 0, 1, PVKEMU_SHEET_ENTRY);

  /* The request the zone calls fill: emptied for each document. */
  memset(&OCRDoc, 0, sizeof OCRDoc);
  for (int i = 0; r == 0 && i < c->n; ++i) {
    const struct item* it = &c->items[i];
    if (PVKOCRZoneAdd(handle, 300, (short)it->left, (short)it->top, (short)it->width, (short)it->height, 1,
                      (short)it->font, 0) < 0)
      r = -1;
  }
  static char text[4096], conf[4096];
  memset(text, 0, sizeof text);
  memset(conf, 0, sizeof conf);
  if (r == 0) r = PVKImgScan1(handle, &OCRDoc, text, conf, (short)sizeof text);
  printf("cheque %s: PVKImgScan1 result %d\n", name, r);

  /* The zones' texts follow one another in the order they were added, TAB between them. */
  const char* t = text;
  const char* cf = conf;
  for (int i = 0; i < c->n; ++i) {
    const struct item* it = &c->items[i];
    const char* end = strchr(t, '\t');
    const int len = end ? (int)(end - t) : (int)strlen(t);
    printf("zone %d  %-22s font %3d (read with %d)  count %d\n", i, it->what, it->font,
           PVKOCRZoneOCRchar(handle, (short)i), PVKOCRZoneNChar(handle, (short)i));
    printf("  printed     [%s]\n  read        [%.*s]%s\n  confidences ", it->text, len, t,
           len == (int)strlen(it->text) && strncmp(t, it->text, (size_t)len) == 0 ? "  same" : "");
    printConfidences(cf, len);
    printf("\n");
    t += len + (end ? 1 : 0);
    cf += len + (end ? 1 : 0);
  }
}

int main(int argc, char** argv) {
  const char* dir = argc > 1 ? argv[1] : ".";
  static const char* const names[] = {"e13b", "cmc7"};
  static struct cheque cheques[2];
  for (int k = 0; k < 2; ++k)
    if (loadCheque(dir, names[k], &cheques[k]) != 0) {
      fprintf(stderr, "pvkread: no demo cheque %s in %s\n", names[k], dir);
      return 1;
    }

  /* The software scanner: a full-featured device, magnetic head included. */
  pvkemu_clock_virtual(1);
  pvkemu_reset();
  pvkemu_profile profile;
  pvkemu_profile_full(&profile);
  pvkemu_add_device(&profile);

  /* An empty directory keeps the configuration directory of the INI file. */
  unsigned char keep[1] = {0};
  const int h = PVKInitialize(keep);
  if (h <= 0) {
    fprintf(stderr, "pvkread: PVKInitialize returned %d\n", h);
    return 1;
  }
  void* handle = (void*)(intptr_t)h;
  const int r = PVKImgCreate(handle, 300, 300);
  if (r != 0) fprintf(stderr, "pvkread: PVKImgCreate returned %d\n", r);
  for (int k = 0; r == 0 && k < 2; ++k) {
    if (k) printf("\n");
    readCheque(handle, names[k], &cheques[k]);
  }
  PVKClose(handle);
  for (int k = 0; k < 2; ++k) freeCheque(&cheques[k]);
  return r == 0 ? 0 : 1;
}
