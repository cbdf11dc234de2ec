// Definitions of the process-wide records; all zero at load except the side indexes.
#include "core/records.h"

#include <cstring>
#include <type_traits>

_DevInfo MyDev;
AcqInfo MyAcq;
AcqInfo AcqDefault;
OcrInfo MyOcr;
OcrInfo OcrDefault;
MICRInfo MyMICR;
LogInfo MyLog;
IQAInfo MyIQA;
BuzInfo MyBuz;
InkjetInfo MyInkjet;
DebugInfo MyDebug;
OcrOptInfo MyOcrOpt;
OcrBLInfo MyOcrBL;
ITACheckInfo MyITACheck;

uint8_t fw3000Enable;
uint16_t F0 = 1;
uint16_t R0 = 0;

PVKOCRDoc OCRDoc;

void SetDefaultMyOcrOpt() {
  std::memset(&MyOcrOpt, 0, sizeof MyOcrOpt);
  MyOcrOpt.side = F0;
}

namespace pvk::core {

namespace {

constexpr size_t kStopAt = offsetof(_DevInfo, stopRequest);
constexpr size_t kAfterStop = kStopAt + sizeof(_DevInfo::stopRequest);
static_assert(std::is_trivially_copyable_v<_DevInfo> && std::is_standard_layout_v<_DevInfo>);

}  // namespace

void copyDeviceRecord(_DevInfo& to, const _DevInfo& from) {
  if (&to == &from) return;
  auto* dst = reinterpret_cast<unsigned char*>(&to);
  const auto* src = reinterpret_cast<const unsigned char*>(&from);
  std::memcpy(dst, src, kStopAt);
  std::memcpy(dst + kAfterStop, src + kAfterStop, sizeof(_DevInfo) - kAfterStop);
  if (&from == &MyDev)
    to.stopRequest = stopRequested() ? 1 : 0;
  else if (&to != &MyDev)
    to.stopRequest = from.stopRequest;
}

void clearDeviceRecord() {
  auto* dst = reinterpret_cast<unsigned char*>(&MyDev);
  std::memset(dst, 0, kStopAt);
  std::memset(dst + kAfterStop, 0, sizeof(_DevInfo) - kAfterStop);
  requestStop(false);
}

}  // namespace pvk::core
