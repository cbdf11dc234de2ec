// Module grids from libdmtx and libzint, used as black boxes, and their drawings.
#include "dm_symbols.h"

#include <dmtx.h>
#include <zint.h>

#include <cstring>

#include "core/records.h"
#include "symbols/symbols.h"

namespace dmtest {

ModuleGrid dmtxGrid(const std::string& text, char scheme, int sizeIdx) {
  ModuleGrid g;
  DmtxEncode* enc = dmtxEncodeCreate();
  if (enc == nullptr) return g;
  int s = DmtxSchemeAscii;
  switch (scheme) {
    case 'c': s = DmtxSchemeC40; break;
    case 't': s = DmtxSchemeText; break;
    case 'x': s = DmtxSchemeX12; break;
    case 'e': s = DmtxSchemeEdifact; break;
    case '8': s = DmtxSchemeBase256; break;
    case 'b': s = DmtxSchemeAutoBest; break;
    default: break;
  }
  dmtxEncodeSetProp(enc, DmtxPropScheme, s);
  dmtxEncodeSetProp(enc, DmtxPropSizeRequest, sizeIdx);
  dmtxEncodeSetProp(enc, DmtxPropModuleSize, 1);
  dmtxEncodeSetProp(enc, DmtxPropMarginSize, 0);
  std::vector<unsigned char> bytes(text.begin(), text.end());
  if (dmtxEncodeDataMatrix(enc, static_cast<int>(bytes.size()), bytes.data()) == DmtxPass) {
    g.cols = enc->image->width;
    g.rows = enc->image->height;
    g.dark.resize(static_cast<size_t>(g.rows) * g.cols);
    for (int r = 0; r < g.rows; ++r)
      for (int c = 0; c < g.cols; ++c) {
        int v = 0;
        // The library's image rows count from the bottom.
        dmtxImageGetPixelValue(enc->image, c, g.rows - 1 - r, 0, &v);
        g.dark[static_cast<size_t>(r) * g.cols + c] = v < 128;
      }
    g.codewords.assign(enc->message->code, enc->message->code + enc->message->codeSize);
    g.ok = true;
  }
  dmtxEncodeDestroy(&enc);
  return g;
}

ModuleGrid zintGrid(const std::string& data, const ZintOptions& o) {
  ModuleGrid g;
  zint_symbol* sym = ZBarcode_Create();
  if (sym == nullptr) return g;
  sym->symbology = BARCODE_DATAMATRIX;
  sym->option_2 = o.size;
  sym->option_3 = o.square ? DM_SQUARE : 0;
  sym->input_mode = o.gs1 ? GS1_MODE : DATA_MODE;
  sym->eci = o.eci;
  if (o.appendCount > 0) {
    sym->structapp.index = o.appendIndex;
    sym->structapp.count = o.appendCount;
  }
  if (ZBarcode_Encode(sym, reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size())) < 5) {
    g.rows = sym->rows;
    g.cols = sym->width;
    g.dark.resize(static_cast<size_t>(g.rows) * g.cols);
    for (int r = 0; r < g.rows; ++r)
      for (int c = 0; c < g.cols; ++c) g.dark[static_cast<size_t>(r) * g.cols + c] = (sym->encoded_data[r][c >> 3] >> (c & 7)) & 1;
    g.ok = true;
  }
  ZBarcode_Delete(sym);
  return g;
}

cv::Mat drawGrid(const ModuleGrid& g, int px, int quiet) {
  cv::Mat m(g.rows * px + 2 * quiet, g.cols * px + 2 * quiet, CV_8UC1, cv::Scalar(255));
  for (int r = 0; r < g.rows; ++r)
    for (int c = 0; c < g.cols; ++c)
      if (g.at(r, c)) m(cv::Rect(quiet + c * px, quiet + r * px, px, px)).setTo(0);
  return m;
}

std::string readOurs(const uint8_t* pixels, int width, int height, int dpi) {
  MyOcr.dmDpi = static_cast<uint16_t>(dpi);
  std::vector<uint8_t> px(pixels, pixels + static_cast<size_t>(width) * height);
  PVKImg img{static_cast<uint16_t>(width), static_cast<uint16_t>(height), static_cast<uint16_t>(width),
             static_cast<uint16_t>(dpi), px.data()};
  char out[1024];
  unsigned short len = sizeof out;
  const int r = PDataMatrixDecode(&img, out, len);
  return r > 0 ? std::string(out, r) : std::string();
}

std::string readLibdmtx(const uint8_t* pixels, int width, int height, int timeoutMs) {
  std::vector<uint8_t> px(pixels, pixels + static_cast<size_t>(width) * height);
  std::string text;
  DmtxImage* img = dmtxImageCreate(px.data(), width, height, DmtxPack8bppK);
  DmtxDecode* dec = img ? dmtxDecodeCreate(img, 1) : nullptr;
  if (dec != nullptr) {
    DmtxTime timeout = dmtxTimeAdd(dmtxTimeNow(), timeoutMs);
    if (DmtxRegion* reg = dmtxRegionFindNext(dec, &timeout)) {
      if (DmtxMessage* msg = dmtxDecodeMatrixRegion(dec, reg, DmtxUndefined)) {
        text.assign(reinterpret_cast<char*>(msg->output), msg->outputIdx);
        dmtxMessageDestroy(&msg);
      }
      dmtxRegionDestroy(&reg);
    }
    dmtxDecodeDestroy(&dec);
  }
  if (img != nullptr) dmtxImageDestroy(&img);
  return text;
}

}  // namespace dmtest
