// The trace log: one text file per calling program, one line per message, opened, appended and
// closed for every line. Lines carry an optional time stamp "%02d, %02d.%02d.%02d\t" and end
// in CR LF; each text is cut to 256 characters. Writing a trace never fails the caller.
#pragma once

#include <cstddef>
#include <cstdio>
#include <ctime>

void WriteTrace(const char* a, bool noStamp);
void WriteTrace(const char* a, const char* b, bool noStamp);
void WriteTrace(const char* a, const char* b, const char* c, bool noStamp);
void WriteTrace(const char* a, const char* b, const char* c, const char* d, bool noStamp);
// The text, then " 0x%04x" of v when format is 1, else " %d".
void WriteTrace(const char* a, int v, int format, bool noStamp);
void WriteTrace(const char* a, int v, bool noStamp);
void WriteTrace(const char* a, const char* b, int v, bool noStamp);
// a, b and c with nothing between them, then " %d" of v.
void WriteTrace(const char* a, const char* b, const char* c, int v, bool noStamp);

// Opens the trace file for appending (emptied first once it is larger than LogSize); null when
// the trace is off or the file cannot be opened. flag is set false.
FILE* TraceOpen(bool& flag);
void TimeStamp(FILE* f, bool noStamp);
// The size of a file in bytes, 0 when it cannot be examined.
long filesize(const char* path);
// "excep " and text with errno; "excep not mapped" for a null text.
void WriteEccezione(const char* text);
// Reads the trace settings of [General] and forms, renews or moves the trace file.
void AggiornaLog(bool first);
// The identification line of the open device: product, serial, firmware, supply voltage,
// sensor type and link speed; nothing while no device is known.
void TracciaDevice();
// Forms the OCR and image-quality debug dump stems from the current UTC time.
void AggiornaDebugFileName();
void DeleteOldTraces();

namespace pvk::core {

constexpr size_t kTraceTextMax = 256;

// "<prefix>_%06d_%04d%02d%02d_%02d%02d%02d" of the serial low word and a UTC time, bounded by size.
void formatDebugStem(char* out, size_t size, const char* prefix, unsigned serialLow, const tm& utc);

}  // namespace pvk::core
