/* pvkread DIR: a host program that reads two cheques, each with one scan-and-read call. The
 * cheques come from DIR, written by the demo cheque tool: for NAME e13b and cmc7, NAME_front.raw,
 * NAME_rear.raw, NAME_micr.raw (what the magnetic head senses of its codeline) and
 * NAME_items.txt. The program first calibrates the scanner with its calibration sheet, as a
 * host does once per scanner. Each cheque is then fed to the software scanner; the program adds
 * one OCR zone per printed item, scans and reads, and prints for each zone what was printed,
 * what was read, the confidences, the count and the font used, then the call's result. It saves
 * the front through the library as NAME_front.jpg and lists each zone and its text read in
 * NAME_read.txt (what, left, top, width, height in pixels of that front, the text). */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "PlavikMS.h"
#include "pvkemu.h"
#include "pvkemu_calib.h"
#include "pvkemu_image.h"

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

/* Prints every zone of a read cheque and lists it with its text in `list` (may be null). */
static void printZones(void* handle, const struct cheque* c, const char* text, const char* conf, FILE* list) {
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
    if (list)
      fprintf(list, "%s\t%d\t%d\t%d\t%d\t%.*s\n", it->what, it->left, it->top, it->width, it->height, len, t);
    t += len + (end ? 1 : 0);
    cf += len + (end ? 1 : 0);
  }
}

/* Feeds the cheque, adds one zone per item, scans and reads it, prints every zone and saves the
 * front. The side images of one document are freed and made again for the next. */
static int readCheque(void* handle, const char* dir, const char* name, const struct cheque* c) {
  pvkemu_document doc;
  memset(&doc, 0, sizeof doc);
  doc.width = (uint32_t)c->sensor;
  doc.height = (uint32_t)c->lines;
  doc.front[0] = c->front;
  doc.rear[0] = c->rear;
  doc.micr = c->micr;
  doc.micr_length = c->micrLength;
  doc.micr_per_slot = (uint32_t)c->micrPerSlot;
  int r = pvkemu_feed(0, &doc); /* the cheque waits at the entry photocell */
  if (r == 0) r = PVKImgCreate(handle, 300, 300);

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

  char path[512];
  snprintf(path, sizeof path, "%s/%s_read.txt", dir, name);
  FILE* list = fopen(path, "w");
  printZones(handle, c, text, conf, list);
  if (list) fclose(list);
  snprintf(path, sizeof path, "%s/%s_front.jpg", dir, name);
  const int saved = PVKImgSave(handle, 1, NULL, 85, 0, path);
  if (saved == 0) printf("front saved as %s\n", path);
  else fprintf(stderr, "pvkread: PVKImgSave returned %d\n", saved);
  PVKImgFree(handle);
  return r != 0 ? r : saved;
}

/* The calibration sheet in the transport, as wide as the sensor line of each acquisition mode
 * the library may choose (the sensor spans 2592 pixels at 300 dpi), then one calibration. */
static int calibrate(void* handle, const pvkemu_profile* profile) {
  pvkemu_calib_sheet sheet;
  memset(&sheet, 0, sizeof sheet);
  sheet.length300 = 5000;
  for (int colour = 2; colour >= 1; --colour) /* grey last: the demo reads in grey */
    for (int mode = 0; mode < 8; ++mode) {
      unsigned short dpi = 0;
      if (PVKSetParameter(0, colour) == 0 && PVKSetParameter(1000, mode) == 0 &&
          PVKGetForcedRes(&dpi, NULL, NULL, NULL) == 0)
        sheet.width[mode] = (uint32_t)dpi * 2592u / 300u;
    }
  PVKSetParameter(1000, 8);
  sheet.micr_two_sides = profile->head_config[8];
  sheet.micr_one_side = profile->head_config[9];
  pvkemu_calibration_sheet(0, &sheet);
  const int r = PVKCalibrate(handle);
  pvkemu_calibration_sheet(0, NULL);
  printf("calibration with the calibration sheet: result %d\n\n", r);
  return r;
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
  /* Without infrared, ultraviolet and backlight, calibration visits a handful of settings. */
  profile.composition_low &= ~((1u << 31) | (1u << 24) | (1u << 17));
  const int dev = pvkemu_add_device(&profile);
  /* A sensor whose pixels vary in their white response, as real ones do. */
  pvkemu_sensor model;
  memset(&model, 0, sizeof model);
  model.seed = 7;
  model.white_min = 170;
  model.white_max = 235;
  model.white_level = 220;
  model.black_level = 12;
  model.led_level = 200;
  pvkemu_sensor_model(dev, &model);

  /* An empty directory keeps the configuration directory of the INI file. */
  unsigned char keep[1] = {0};
  const int h = PVKInitialize(keep);
  if (h <= 0) {
    fprintf(stderr, "pvkread: PVKInitialize returned %d\n", h);
    return 1;
  }
  void* handle = (void*)(intptr_t)h;
  int r = calibrate(handle, &profile);
  for (int k = 0; r == 0 && k < 2; ++k) {
    if (k) printf("\n");
    if (readCheque(handle, dir, names[k], &cheques[k]) < 0) r = 1;
  }
  PVKClose(handle);
  for (int k = 0; k < 2; ++k) freeCheque(&cheques[k]);
  return r == 0 ? 0 : 1;
}
