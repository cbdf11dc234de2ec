// The global records the codeline readers read and change, taken when a test starts and put back
// when it ends.
#pragma once

#include "core/records.h"

namespace pvk::testing {

struct SavedRecords {
  SavedRecords() : ocr(MyOcr), micr(MyMICR), acq(MyAcq) { pvk::core::copyDeviceRecord(dev, MyDev); }
  ~SavedRecords() {
    MyOcr = ocr;
    MyMICR = micr;
    MyAcq = acq;
    pvk::core::copyDeviceRecord(MyDev, dev);
    fNameDatiMICR = nullptr;
  }
  SavedRecords(const SavedRecords&) = delete;
  SavedRecords& operator=(const SavedRecords&) = delete;

  OcrInfo ocr;
  MICRInfo micr;
  AcqInfo acq;
  _DevInfo dev;
};

}  // namespace pvk::testing
