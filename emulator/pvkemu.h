/* The software scanner's control interface for tests.
 *
 * The software scanner is a shared object with the soname libusb-1.0.so.0: put its folder first
 * on the library path and libPlavikMS.so talks to it instead of a USB bus. A test program that
 * links it directly drives it with the calls below (the same loaded object then answers the
 * library's libusb calls).
 *
 * Without any call of this interface before the first libusb call, the bus holds one scanner of
 * the full-featured profile, so that any host program finds a device. The first call of this
 * interface (other than pvkemu_loaded and the clock calls) empties that default bus; a test then
 * adds the devices it wants.
 *
 * A host feeds a document in one call, before the call that scans it (PVKImgScan1 for instance):
 *
 *   pvkemu_profile p;
 *   pvkemu_profile_full(&p);
 *   int dev = pvkemu_add_device(&p);        (before the library opens the device)
 *   pvkemu_document doc = {0};
 *   doc.width = 1800; doc.height = 800;     (a cheque at 300 dpi, at most 2592 pixels wide)
 *   doc.front[PVKEMU_PLANE_GREY] = front;   (width x height grey bytes, 255 white)
 *   pvkemu_feed(dev, &doc);                 (the sheet is at the photocell)
 *
 * pvkemu_image.h says how the scanner lays a document on its transport: any width up to the
 * sensor's, cropped to the paper or with a border, grey or colour.
 *
 * A host that loads the software scanner and the library with dlopen (RTLD_LOCAL) reaches this
 * interface with dlsym on the scanner's handle; the library finds the scanner's clock itself.
 *
 * Virtual clock: while it is on, the process's time and sleep calls (clock_gettime, gettimeofday,
 * time, nanosleep, clock_nanosleep, usleep, sleep, sem_timedwait) are answered from a virtual
 * clock that only moves when something sleeps or waits: a sleep adds its length at once, a timed
 * semaphore wait that cannot take the semaphore jumps to its deadline and times out, and event
 * handling with a pending bulk transfer jumps to that transfer's deadline. Waits of seconds then
 * cost nothing. The library takes its sleeps and semaphore waits from the libusb it was linked
 * against, so the virtual clock reaches it also when a host loads it with dlopen. Off (the
 * default) every call goes to the C library unchanged. Use the real clock for tests where
 * another process holds a semaphore.
 *
 * Not thread-safe: one thread drives the bus, as the library does. */
#ifndef PVKEMU_H
#define PVKEMU_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What one scanner is: its identity and the replies of its firmware. */
typedef struct pvkemu_profile {
  uint16_t vendor_id;          /* the build's vendor id unless a test wants a foreign device */
  uint16_t product_id;
  uint16_t bcd_usb;            /* 0x0200 high speed, 0x0110 full speed */
  uint16_t firmware;           /* version reply (bank 208 register 2), e.g. 0x3103 */
  uint16_t alt_firmware;       /* alternative version reply (208/60); 0 = request stalls */
  char serial[256];            /* string descriptor 4; empty = the device has none */
  uint32_t composition_low;    /* composition word L (208/1), encoded by firmware range */
  uint16_t composition_high;   /* composition word H (firmware 0x4000 and above) */
  uint8_t device_class;        /* byte 2 of the composition reply (0x2010..0x3FFF): 12 or 5 V */
  uint8_t head_config[16];     /* magnetic head configuration reply (208/40) */
  uint8_t inkjet_config[64];   /* print head configuration reply (208/81) */
  uint32_t special_hw;         /* special-hardware code (208/8, bytes 1..3) */
  uint8_t capability;          /* byte 1 of the capability reply (209/20) */
  uint32_t status;             /* raw status bits 0..31 besides "scanner enabled" (bit 1) */
  uint16_t status_high;        /* bytes 5 and 6 of the status reply */
  uint32_t pages;              /* page counter (208/42, 208/43 adds one) */
  uint32_t stamps;             /* stamp counter (208/45, 208/46 adds one) */
  uint8_t photo_tuning[8];     /* photo-sensor tuning bytes (208/21 reads, 208/20 writes) */
} pvkemu_profile;

/* The two built-in profiles. Basic: firmware 0x3103, product 4, grey, no magnetic head, full
 * speed. Full: firmware 0x5011, product 9, magnetic head (10 bytes per plane slot), backlight,
 * IR, UV, inkjet, stripe reader, feeder, buzzer, stream-end status, high speed. Both sense
 * external power and report it present; both default serials keep the bulk read out of slow
 * mode.
 * The full profile's print head (inkjet_config: byte 0 its resolution, 30 dpi; bytes 1 and 7 its
 * offset, 300) prints its 12 dots 3 inches (300 hundredths) in from the sensor's far edge, the
 * last pixel of a line: a stamp kept for the front image starts at sensor column
 * 2592 - 300 x 300 / 100 = 1692 at 300 dpi and runs 120 columns (12 dots at 30 dpi) toward that
 * edge, 1692..1811, which lies on a 6-inch cheque both centred on the sensor (columns
 * 396..2195) and laid against the far edge (792..2591). */
void pvkemu_profile_basic(pvkemu_profile* p);
void pvkemu_profile_full(pvkemu_profile* p);

/* 1 when the software scanner is the libusb this process loaded (a probe for tests). */
int pvkemu_loaded(void);

/* Empties the bus, the request log, the faults and the error record; leaves the clock alone. */
void pvkemu_reset(void);

/* Adds a device (plugged in) and returns its id (0, 1, ...), or -1 for a null profile. */
int pvkemu_add_device(const pvkemu_profile* p);
/* Unplug: the device leaves the device list, its open handles fail every request with
 * LIBUSB_ERROR_NO_DEVICE and its pending transfers complete with LIBUSB_TRANSFER_NO_DEVICE.
 * Replug: it comes back as a new USB device (old handles stay dead), keeping its profile and
 * counters. Both return 0, or -1 for an unknown id. */
int pvkemu_unplug(int dev);
int pvkemu_replug(int dev);
/* The live profile of a device (counters and status as the firmware holds them now); null for
 * an unknown id. Tests may change it in place. */
pvkemu_profile* pvkemu_device_profile(int dev);
/* Number of open handles on a device; whether interface 0 is claimed. */
int pvkemu_open_handles(int dev);
int pvkemu_claimed(int dev);

/* Status replies: the next reads of the status request (208/3) answer these raw words (bytes
 * 1..4) one after the other, zero words included; afterwards the device answers its own status
 * again. A new script replaces an unfinished one. */
int pvkemu_script_status(int dev, const uint32_t* words, size_t count);

/* Faults, checked per control request in the order they were added. */
enum pvkemu_fault_kind {
  PVKEMU_FAULT_TIMEOUT = 1,    /* the request returns LIBUSB_ERROR_TIMEOUT */
  PVKEMU_FAULT_NO_DEVICE = 2,  /* LIBUSB_ERROR_NO_DEVICE */
  PVKEMU_FAULT_STALL = 3,      /* LIBUSB_ERROR_PIPE */
  PVKEMU_FAULT_SHORT = 4       /* an IN request answers only `short_length` bytes */
};
#define PVKEMU_ANY_REQUEST (-1)
#define PVKEMU_DIR_ANY (-1)
#define PVKEMU_DIR_OUT 0
#define PVKEMU_DIR_IN 1
/* Injects a fault into the requests of a device with this wValue (or PVKEMU_ANY_REQUEST) and
 * direction, for the next `times` matching requests (a negative count: for ever). A request
 * with a fault does not reach the firmware model. Returns 0, or -1 for an unknown device. */
int pvkemu_fault(int dev, int wvalue, int direction, int kind, int times, int short_length);
/* The next `times` claims of interface 0 on a device fail with this libusb code (e.g.
 * LIBUSB_ERROR_BUSY), as do the next opens with pvkemu_fault_open. */
int pvkemu_fault_claim(int dev, int libusb_code, int times);
int pvkemu_fault_open(int dev, int libusb_code, int times);
/* Drops every fault of every device: those above and the stream faults (pvkemu_image.h). */
void pvkemu_clear_faults(void);

/* The request log: every control request, bulk submission and synchronous bulk transfer. */
enum pvkemu_log_kind { PVKEMU_LOG_CONTROL = 0, PVKEMU_LOG_BULK_SUBMIT = 1, PVKEMU_LOG_BULK_SYNC = 2 };
typedef struct pvkemu_request {
  int kind;                    /* pvkemu_log_kind */
  int dev;                     /* device id */
  uint8_t request_type;        /* bmRequestType (control) */
  uint8_t request;             /* bRequest (control) */
  uint16_t value;              /* wValue (control) */
  uint16_t index;              /* wIndex (control) */
  uint16_t length;             /* wLength, or the bulk length asked for */
  uint8_t endpoint;            /* bulk endpoint */
  int result;                  /* bytes transferred or the libusb error code */
  uint8_t data[64];            /* OUT data sent, IN data answered (first 64 bytes) */
} pvkemu_request;
size_t pvkemu_log_count(void);
/* Copies entry i into *out; 0, or -1 when i is out of range or out is null. */
int pvkemu_log_get(size_t i, pvkemu_request* out);
void pvkemu_log_clear(void);

/* The bulk IN stream of a device (endpoint 0x82): bytes appended here are handed to submitted
 * transfers in order. After pvkemu_stream_end the stream delivers what is left and then ends
 * each transfer short (with what it had, possibly 0 bytes); before it, a transfer that has
 * nothing more to get waits until its timeout (LIBUSB_TRANSFER_TIMED_OUT). An acquisition start
 * with a fed document replaces what is queued with the document's stream; one without leaves
 * the queued bytes to stream as they are (pvkemu_image.h). */
int pvkemu_stream_push(int dev, const void* data, size_t length);
int pvkemu_stream_end(int dev);
/* Bytes written with synchronous bulk OUT transfers (the inkjet columns) since the last call;
 * copies at most `size` of them into buffer (may be null) and returns the total count. */
size_t pvkemu_bulk_out_take(int dev, void* buffer, size_t size);

/* Mistakes the software scanner noticed: misuse of the libusb interface (a transfer freed while
 * in flight, a handle used after close, a device list freed twice) and a document it cannot feed
 * (pvkemu_image.h): the count and the last message. */
int pvkemu_error_count(void);
const char* pvkemu_last_error(void);

/* The virtual clock (see above). */
void pvkemu_clock_virtual(int on);
int pvkemu_clock_is_virtual(void);
/* Virtual milliseconds elapsed since the clock was switched on; 0 while it is off. */
uint64_t pvkemu_clock_elapsed_ms(void);
void pvkemu_clock_advance_ms(uint64_t ms);

#ifdef __cplusplus
}
#endif

#endif /* PVKEMU_H */
