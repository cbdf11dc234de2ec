// Definitions of the process-wide records; all zero at load except the side indexes.
#include "core/records.h"

#include <cstring>

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
