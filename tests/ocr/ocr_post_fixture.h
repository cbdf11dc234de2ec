// Readings built by hand for the tests of the post-processing: three arrays of exactly the
// capacity asked for (so that AddressSanitizer sees any write past them) and a count.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "ocr/ocr.h"

namespace pvk::test {

struct Box {
  int left, right, top = 10, bottom = 40;
};

class Reading {
 public:
  explicit Reading(int capacity = kOcrChars)
      : cap_(capacity), text_(new char[capacity]), conf_(new char[capacity]), info_(new ChInfo[capacity]) {
    std::memset(text_.get(), 0, static_cast<size_t>(cap_));
    std::memset(conf_.get(), 0, static_cast<size_t>(cap_));
    std::memset(static_cast<void*>(info_.get()), 0, sizeof(ChInfo) * static_cast<size_t>(cap_));
  }
  Reading(const Reading& o) : Reading(o.cap_) {
    n = o.n;
    std::memcpy(text_.get(), o.text_.get(), static_cast<size_t>(cap_));
    std::memcpy(conf_.get(), o.conf_.get(), static_cast<size_t>(cap_));
    std::memcpy(static_cast<void*>(info_.get()), o.info_.get(), sizeof(ChInfo) * static_cast<size_t>(cap_));
  }
  Reading(Reading&&) = default;
  Reading& operator=(Reading&&) = default;
  // Characters at columns 10 + pitch * i, each width wide, confidence conf, agreement 1.
  static Reading of(const std::string& s, int conf = 90, int pitch = 20, int width = 15, int capacity = kOcrChars) {
    Reading r(capacity);
    for (size_t i = 0; i < s.size(); ++i)
      r.push(s[i], conf, {10 + pitch * static_cast<int>(i), 10 + pitch * static_cast<int>(i) + width});
    return r;
  }
  void push(char c, int conf, Box b, int agreement = 1, uint8_t db = 0) {
    ChInfo ci{};
    ci.agreement = static_cast<uint16_t>(agreement);
    ci.left = static_cast<uint16_t>(b.left);
    ci.right = static_cast<uint16_t>(b.right);
    ci.top = static_cast<uint16_t>(b.top);
    ci.bottom = static_cast<uint16_t>(b.bottom);
    ci.dbIndex = db;
    text_[n] = c;
    conf_[n] = static_cast<char>(conf);
    info_[n] = ci;
    ++n;
    if (n < cap_) text_[n] = '\0';
  }
  void setConfs(std::initializer_list<int> cs) {
    int i = 0;
    for (int c : cs) conf_[i++] = static_cast<char>(c);
  }
  std::string str() const { return std::string(text_.get(), static_cast<size_t>(n)); }
  std::vector<int> confs() const {
    std::vector<int> v;
    for (int i = 0; i < n; ++i) v.push_back(conf_[i]);
    return v;
  }
  std::vector<int> lefts() const {
    std::vector<int> v;
    for (int i = 0; i < n; ++i) v.push_back(info_[i].left);
    return v;
  }
  std::vector<int> rights() const {
    std::vector<int> v;
    for (int i = 0; i < n; ++i) v.push_back(info_[i].right);
    return v;
  }
  char* t() { return text_.get(); }
  char* c() { return conf_.get(); }
  ChInfo* i() { return info_.get(); }
  ChInfo& box(int k) { return info_[k]; }
  int capacity() const { return cap_; }

  int n = 0;

 private:
  int cap_;
  std::unique_ptr<char[]> text_, conf_;
  std::unique_ptr<ChInfo[]> info_;
};

// The engine state the post-processing reads, at values the tests start from.
class OcrPostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    aw = 15;
    ah = 30;
    FixSizeFont = 0;
    TopPrimaLineaValida = 0;
    DBList = nullptr;
    nDBLoaded = 0;
    pesaNumLet = true;
    MyOcr = OcrInfo{};
    MyOcr.engineScale = 1.0f;
    MyOcr.charWidth = 15;
    MyOcr.charHeight = 30;
    MyITACheck = ITACheckInfo{};
  }
  void TearDown() override {
    delete[] list_;
    DBList = nullptr;
    nDBLoaded = 0;
  }
  // A database list of count entries, each with the space factor, monospace and split flags.
  void databases(int count, float spaceFactor, bool monospace = false, bool split = false) {
    delete[] list_;
    list_ = new DBEntry[kDBListSize]{};
    for (int i = 0; i < count; ++i) {
      list_[i].index = static_cast<uint8_t>(i);
      list_[i].spaceFactor = spaceFactor;
      list_[i].narrow = monospace ? 1 : 0;
      list_[i].split = split ? 1 : 0;
      list_[i].loaded = 1;
    }
    DBList = list_;
    nDBLoaded = static_cast<int16_t>(count);
  }

 private:
  DBEntry* list_ = nullptr;
};

}  // namespace pvk::test
