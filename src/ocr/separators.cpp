// The separator codes shared by the codeline readers and the OCR line editing.
#include "ocr/ocr.h"

bool IsSeparatore(char c) { return c == ':' || c == ';' || c == '<' || c == '=' || c == '>'; }
