// The device layer: the USB transport (the only code that talks to libusb), the device
// connection with its handle, state and counters, and the status and composition of the device.
// Given names keep their C-style signatures; helpers live in pvk::device.
#pragma once

#include <cstddef>
#include <cstdint>

struct libusb_transfer;
struct PVKImg;

// --- USB transport -------------------------------------------------------------------------

extern uint8_t initLibUsb;           // libusb_init has been called
extern int EP0LockFile;              // the cross-process lock of the control endpoint, or -1
extern int32_t EP0SemaphoreTimeout;  // ms to wait for the lock
extern uint8_t completato[2];        // done flag of each bulk transfer (1 = completed or idle)
extern uint8_t stopAcq;              // stop request of the running acquisition

// Finds and opens the first device of the vendor (product filter of MyDev, products 6 and 10
// never); with serial non-null and non-empty only a device with exactly that serial string.
bool Vx3BaseOpen(const char* serial);
// Opens as Vx3BaseOpen and checks vendor and product (non-zero arguments) and the serial.
// A device that fails a check is closed again; false.
bool MyImageOpen(unsigned short vendor, unsigned short product, char* serial, int, bool, bool);
bool Vx3ClaimInterface();
bool Vx3ReleaseInterface();
void Vx3BaseCloseLinux();
void LibUsbClose();
bool Vx3GetBlockSize(void*);
void Vx3BaseGet_SN();
bool Vx3BaseGet_SN(char* a, char* b);

// The one vendor control request. Results: data requests the bytes actually transferred;
// commands (IN, no buffer, length 0) 1 on firmware above 0x2006, else 0; -1 on any failure
// (a refused argument also sets the last result -1).
int Vx3BaseContrlMsgDev3(struct libusb_device_handle* handle, int bank, int reg, char* buffer,
                         int length, bool in);
int Vx3BaseContrlMsg(int bank, int reg, char* buffer, int length, bool in);
int Vx3BaseContrlMsg(int bank, int reg, char* buffer, int length, bool in, bool);
int Vx3BaseContrlMsgWithoutOpen2(void*, unsigned short, int bank, int reg, char* buffer,
                                 int length, bool in);
int Vx3BaseContrlMsgWithoutOpen(void*, unsigned short, int bank, int reg, char* buffer,
                                int length, bool in, bool direct);

// Opens the EP0 lock file of the open device (the lock is an flock, which the kernel releases
// when its holder dies); CloseSemaforoEP0 releases it when held and closes it.
void CreaSemaforoEP0();
int CloseSemaforoEP0(bool release);

// Reads up to size bytes of the raw stream into buffer; size returns the bytes received.
bool Vx3BaseBulkRead(int timeout, unsigned char* buffer, unsigned long& size, bool);
void callbackUSBTransferComplete(struct libusb_transfer* transfer);

// --- Status and composition ----------------------------------------------------------------

long FX2ReadStatusL();
bool FX2ReadStatusLH(unsigned long* low, unsigned long* high);
bool Vx3CompositionLH(unsigned long& low, unsigned long& high);
bool Vx3CompositionLH();
unsigned long Vx3CompositionL();
unsigned long Vx3Composition();
bool Vx3CompositionLHTwain(unsigned long& low, unsigned long& high);
bool Vx3IsExtPwrd();
unsigned long Vx3SpecialHW();
int Vx3ComandaBuzzer(unsigned char value, unsigned short ms);
// Reads the print head configuration; true when the device answers it whole.
bool InkjetReadCnfData(unsigned short mode);

// --- Device connection ---------------------------------------------------------------------

// The call guard of every exported call: start-up, then the handle and device-state checks.
// On refusal traces "null handle (AA)" or "invalid handle (AA)", sets the last result to -1,
// returns false.
bool DllFunctInit(const char* name, void*& handle);
int Vx3DeviceOpen(int first, char* serial);
// Closes the scanner's side (deviceHooks.closeScanner), then the device; 0.
int Vx3DeviceClose(bool reset);
void Vx3BaseClose();
bool isValidHandle(void* handle);
bool isValidDevice();
bool isValidHandleAndDevice(void* handle);
bool RiapriDevice();
void SnStr2SnHighLow(bool keepLetters);
void AssegnaMyDevReg();
void LeggiNPages(bool total, bool current);
void LeggiNStamp(bool total, bool current);
void FermaAcquisizione(int stop, bool force, bool packetEnd);
void FermaAcquisizione(int stop);
bool SetScanBusy(bool on);
void ScannerSpegniTutto();
bool Vx3Reset();
int Vx3Version(char* buffer, short size);
int Vx3VersionNull(char* buffer, short size);
bool Vx3GenerateInstLog(char*);
bool isValidPid(const char*, unsigned short vendor, unsigned short product, char*);
unsigned short pidStr_2_pid(char* text);
const char* AccorciaSN(const char* serial, int n);
void WriteDeviceError(unsigned long code, char* text);

extern uint8_t inviatoPktend;  // packet end already sent in this acquisition

namespace pvk::device {

// What the device layer calls above itself. Set once when the library is loaded
// (src/api/floor_hooks.cpp), since the callees live on higher floors; tests may swap one.
struct DeviceHooks {
  // Reopens a lost device; RiapriDevice. Called by the guard for a device awaiting a reopen.
  bool (*reopen)();
  // Neutral correction data once the device is unusable (calibration).
  void (*resetCorrection)();
  // The scanner's side of a close: stops any acquisition and frees every image buffer, with
  // `reset` also resetting the device (the document road).
  void (*closeScanner)(bool reset);
  // Reads an 8-bit grey BMP endorsement image into a new buffer the caller owns (image files).
  bool (*readStampImage)(const char* path, PVKImg* img);
};
extern DeviceHooks deviceHooks;

constexpr uint16_t kVendorId = PVK_USB_VENDOR_ID;
constexpr int kControlTimeoutMs = 10000;
constexpr int kMaxControlLength = 64;
constexpr uint8_t kBulkInEndpoint = 0x82;
constexpr unsigned long kBulkChunk = 0x200000;
constexpr unsigned long kBulkChunkSlow = 0x80000;
constexpr int8_t kStateValid = 1, kStateClosed = 0, kStateReopen = -1, kStateInvalid = -2;
constexpr uint64_t kNoHandle = 0xFFFFFFFFu;

// wValue of a register of a bank: 208 + 0, 209 + 10, 210 + 50, any other bank + 0.
uint16_t requestValue(int bank, int reg);
// Name of the EP0 lock of a device, at most 127 characters, and the path of its lock file
// ("/dev/shm" or "/tmp", the name, ".lock").
void ep0LockName(char* out, size_t size, uint16_t vendor, uint16_t product, uint32_t serialLow);
void ep0LockPath(char* out, size_t size, uint16_t vendor, uint16_t product, uint32_t serialLow);
// Handle value of a device: product x 1000000 + serial low mod 1000000, never 0 or 0xFFFFFFFF.
uint32_t handleValueFor(uint16_t product, uint32_t serialLow);
// Path of the counters file of the current device into out ("" when it does not fit).
void countersFilePath(char* out, size_t size, const char* cnfDir, uint16_t product,
                      const char* serial);
// Trace lines formed whole: prefix + text + tail, or prefix + text + " " + value.
void traceLine(const char* prefix, const char* text, const char* tail);
void traceLine(const char* prefix, const char* text, long value);
// Error and warning lines in the two-text form: "err - ", then text (+ tail), or text and value.
void traceError(const char* text);
void traceError(const char* text, const char* tail);
void traceError(const char* text, long value);
void traceWarning(const char* text);
void traceWarning(const char* text, long value);
// Holds the EP0 lock for one request: taken when it could be, posted only when taken.
class Ep0Guard {
 public:
  Ep0Guard();
  ~Ep0Guard();
  Ep0Guard(const Ep0Guard&) = delete;
  Ep0Guard& operator=(const Ep0Guard&) = delete;
 private:
  bool held_ = false;
};
// Marks an open device that stopped answering for a reopen at the next call (state -1); traced
// once per loss. The last result is the caller's to set.
void markLost();
// How many times a device was marked lost since the library was loaded: the frame of an
// exported call compares it before and after to tell that its device went away meanwhile.
unsigned lostMarks();
// The reading of the version register: b1 x 0x1000 + b2 x 0x100 + b3 x 0x10 + b4.
inline uint16_t versionOf(const unsigned char* r) {
  return static_cast<uint16_t>(r[1] * 0x1000 + r[2] * 0x100 + r[3] * 0x10 + r[4]);
}

}  // namespace pvk::device
