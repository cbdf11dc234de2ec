// The globals that the stages of the OCR engine share while one zone is read.
#include "ocr/ocr.h"

uint16_t aw = 0;
uint16_t ah = 0;
uint8_t FixSizeFont = 0;
uint8_t TagliaSopraPrimaLinea = 1;
uint16_t TopPrimaLineaValida = 0;
uint8_t PrivilegiaBarreVert = 0;
uint8_t UtilizzoImgBacklight = 0;
bool SoloMaiuscolo = false;
bool ForzaSoloAlfa = false;
uint8_t Verifica_i_Arial = 0;
uint8_t SogliaBW = 0;
int32_t BestIndex = -1;
uint32_t* imag = nullptr;
unsigned nLineeLetteOCR = 0;
