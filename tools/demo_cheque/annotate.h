// The annotated picture of a read cheque (annotate.cpp).
#pragma once

#include <string>

namespace pvk::democheque {

// Draws the zones of readList (what, left, top, width, height, text read; TAB-separated, pixels of
// the front) on the front frontJpeg and writes the picture to outPng. False when a file is
// missing or unreadable.
bool annotate(const std::string& frontJpeg, const std::string& readList, const std::string& outPng);

}  // namespace pvk::democheque
