// PDF417 codeword stream: corrects the codewords of one symbol, then decodes the data codewords
// through text, byte and numeric compaction. Macro PDF417 controls are written into the text
// as backslash sequences; a GLI is only traced.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "symbols/symbols.h"

namespace pvk::symbols {

namespace {

enum Mode { kText = 1, kByte = 2, kNumeric = 3 };
enum Submode { kAlpha = 0, kLower = 1, kMixed = 2, kPunct = 3 };

constexpr int kLatchLower = 0xFF, kLatchMixed = 0xFE, kLatchPunct = 0xFD, kLatchAlpha = 0xFC;
constexpr int kShiftAlpha = 0x9A, kShiftPunct = 0x9B;

// The decimal digits of a base-900 number, most significant codeword first.
std::string base900ToDecimal(const int* cw, int count)
{
  std::vector<uint32_t> limbs{0};  // base 10^9, least significant first
  for (int i = 0; i < count; ++i) {
    uint64_t carry = static_cast<uint64_t>(cw[i]);
    for (uint32_t& l : limbs) {
      uint64_t v = static_cast<uint64_t>(l) * 900 + carry;
      l = static_cast<uint32_t>(v % 1000000000u);
      carry = v / 1000000000u;
    }
    while (carry) {
      limbs.push_back(static_cast<uint32_t>(carry % 1000000000u));
      carry /= 1000000000u;
    }
  }
  std::string s = std::to_string(limbs.back());
  char part[16];
  for (size_t i = limbs.size() - 1; i-- > 0;) {
    std::snprintf(part, sizeof part, "%09u", limbs[i]);
    s += part;
  }
  return s;
}

class StreamDecoder {
 public:
  StreamDecoder(const int* cw, int end, char* text, int maxChars)
      : cw_(cw), end_(end), text_(text), max_(maxChars)
  {
  }

  // The text length, or -1 when the stream cannot be decoded or the text does not fit.
  int run();

 private:
  bool put(char c)
  {
    if (pos_ + 1 >= max_)
      return false;
    text_[pos_++] = c;
    return true;
  }
  bool put(const std::string& s)
  {
    for (char c : s)
      if (!put(c))
        return false;
    return true;
  }
  bool putControl(int value)
  {
    char s[8];
    std::snprintf(s, sizeof s, "\\%03d", value);
    return put(std::string(s));
  }
  // The codewords i+1 .. i+count exist before the end of the data.
  bool operands(int count) const { return i_ + count < end_; }
  int runEnd(int from) const
  {
    int e = from;
    while (e < end_ && cw_[e] < 900)
      ++e;
    return e;
  }

  bool data(int value);
  bool textValue(int v);
  bool byteRun();
  bool numericRun();
  bool control(int value);

  const int* cw_;
  int end_;
  char* text_;
  int max_;
  int pos_ = 0;
  int i_ = 1;
  int mode_ = kText;
  int sub_ = kAlpha;
  int savedSub_ = -1;    // submode to restore after a single shift
  int returnMode_ = -1;  // mode to restore after the one byte of 913
  int byteLatch_ = 901;
  long gli_ = 0;
};

bool StreamDecoder::textValue(int v)
{
  int e = txtSubmMap[sub_][v];
  int latchTo = e == kLatchLower ? kLower : e == kLatchMixed ? kMixed
              : e == kLatchPunct ? kPunct : e == kLatchAlpha ? kAlpha : -1;
  if (latchTo >= 0) {
    if (savedSub_ < 0) {
      sub_ = latchTo;
      return true;
    }
    static const char* const refused[4] = {
        "two Submode Shift or consecutive Latch in alpha", "two Submode Shift or consecutive Latch",
        "two Submode Shift or consecutive Latch in mixed",
        "two Submode Shift or consecutive Latch in punctuation"};
    pdfTrace("war - ", refused[latchTo]);
    return true;
  }
  if (e == kShiftAlpha || e == kShiftPunct) {
    if (savedSub_ >= 0) {
      pdfTrace("war - ", e == kShiftAlpha
                             ? "two Submode Shift or consecutive Latch in text alfa"
                             : "two Submode Shift or consecutive Latch in text punctutation");
      return true;
    }
    savedSub_ = sub_;
    sub_ = e == kShiftAlpha ? kAlpha : kPunct;
    return true;
  }
  if (!put(static_cast<char>(e)))
    return false;
  if (savedSub_ >= 0) {
    sub_ = savedSub_;
    savedSub_ = -1;
  }
  return true;
}

// The run of data codewords from i: with 901 each full group of 5 that another codeword of the
// run follows is 6 bytes and the last 1 to 5 are single bytes; with 924 every full group is.
bool StreamDecoder::byteRun()
{
  int e = runEnd(i_);
  int j = i_;
  int keep = byteLatch_ == 924 ? 0 : 1;
  while (e - j >= 5 + keep) {
    uint64_t v = 0;
    for (int k = 0; k < 5; ++k)
      v = v * 900 + static_cast<uint64_t>(cw_[j + k]);
    for (int shift = 40; shift >= 0; shift -= 8)
      if (!put(static_cast<char>((v >> shift) & 0xFF)))
        return false;
    j += 5;
  }
  for (; j < e; ++j)
    if (!put(static_cast<char>(cw_[j] & 0xFF)))
      return false;
  i_ = e - 1;
  return true;
}

// Groups of 15 codewords, each a number whose leading digit 1 is not written.
bool StreamDecoder::numericRun()
{
  int e = runEnd(i_);
  for (int j = i_; j < e; j += 15) {
    int count = e - j < 15 ? e - j : 15;
    if (!put(base900ToDecimal(cw_ + j, count).substr(1)))
      return false;
  }
  i_ = e - 1;
  return true;
}

bool StreamDecoder::data(int value)
{
  if (returnMode_ >= 0) {
    mode_ = returnMode_;
    returnMode_ = -1;
    return put(static_cast<char>(value & 0xFF));
  }
  switch (mode_) {
    case kByte: return byteRun();
    case kNumeric: return numericRun();
    default: return textValue(value / 30) && textValue(value % 30);
  }
}

bool StreamDecoder::control(int value)
{
  switch (value) {
    case 900:
      returnMode_ = -1;
      mode_ = kText;
      sub_ = kAlpha;
      savedSub_ = -1;
      return true;
    case 901:
    case 924:
      returnMode_ = -1;
      mode_ = kByte;
      byteLatch_ = value;
      return true;
    case 902:
      returnMode_ = -1;
      mode_ = kNumeric;
      return true;
    case 913:
      if (mode_ == kByte) {
        pdfTrace("war - ", "Shift to Byte while in Byte mode");
        return true;
      }
      if (savedSub_ >= 0 && sub_ == kPunct) {
        sub_ = savedSub_;
        savedSub_ = -1;
      }
      returnMode_ = mode_;
      mode_ = kByte;
      return true;
    case 921:
      if (i_ == 1)
        return true;
      pdfTrace("err - ", "invalid code in pdf");
      return false;
    case 922:
      return putControl(922);
    case 923: {
      // The field designator that follows becomes the latch of its field's compaction.
      if (!operands(1) || !putControl(923))
        return false;
      int d = cw_[++i_];
      return control(d == 0 || d == 3 || d == 4 ? 900 : 902);
    }
    case 925:
      if (!operands(1))
        return false;
      gli_ = cw_[++i_] + 810900L;
      return true;
    case 926:
      if (!operands(2))
        return false;
      gli_ = (cw_[i_ + 1] + 1L) * 900 + cw_[i_ + 2];
      i_ += 2;
      return true;
    case 927:
      if (!operands(1))
        return false;
      gli_ = cw_[++i_];
      return true;
    case 928:
      if (!operands(2) || !putControl(928) ||
          !put(base900ToDecimal(cw_ + i_ + 1, 2).substr(1)))
        return false;
      i_ += 2;
      while (i_ + 1 < end_ && cw_[i_ + 1] != 922 && cw_[i_ + 1] != 923)
        if (!putControl(cw_[++i_]))
          return false;
      mode_ = kNumeric;
      return true;
    default:
      return true;
  }
}

int StreamDecoder::run()
{
  for (i_ = 1; i_ < end_; ++i_) {
    int c = cw_[i_];
    bool ok = c < 900 ? data(c) : control(c);
    if (!ok)
      return -1;
  }
  if (gli_ != 0)
    pdfTrace("", "PDF417 with GLI", gli_);
  text_[pos_] = 0;
  return pos_;
}

}  // namespace

}  // namespace pvk::symbols

int AnalyzeRuns(int n, int* codewords, char* text, int level, unsigned short maxChars)
{
  if (!text || maxChars < 1)
    return 0;
  text[0] = 0;
  if (!codewords || level < 0 || level > 8)
    return 0;
  int checks = 2 << level;
  if (n <= checks)
    return 0;
  int erasures = 0;
  for (int i = 0; i < n; ++i)
    erasures += codewords[i] < 0 || codewords[i] > 928;
  if (erasures >= checks - 1)
    return 0;
  InitTables();
  if (CorrectErrs(codewords, n, checks - 2) < 0)
    return 0;
  // The descriptor counts the data codewords: reaching into the checks is as wrong as beyond n.
  int length = codewords[0];
  if (length > n - checks) {
    pvk::symbols::pdfTrace("war - ", "unexpedcted lenght in pdf run");
    return 0;
  }
  pvk::symbols::StreamDecoder d(codewords, length, text, maxChars);
  int len = d.run();
  if (len < 0) {
    text[0] = 0;
    return 0;
  }
  return len;
}
