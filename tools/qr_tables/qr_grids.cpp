// Runs the encoders through a shell with the payload in a temporary file, so that any bytes
// reach them unchanged, and reads their text output back into module grids.
#include "qr_grids.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace pvk::qrgen {
namespace {

// Writes the payload into a new temporary file; empty name on failure.
std::string payloadFile(const std::string& payload) {
  char name[] = "/tmp/pvk_qr_payload_XXXXXX";
  int fd = mkstemp(name);
  if (fd < 0) return {};
  bool ok = write(fd, payload.data(), payload.size()) == static_cast<ssize_t>(payload.size());
  close(fd);
  if (!ok) {
    unlink(name);
    return {};
  }
  return name;
}

std::string runCommand(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  if (pclose(p) != 0) out.clear();
  return out;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) out.push_back(line);
  }
  return out;
}

// zint's dump: one line per row, hexadecimal groups, the leftmost module in the top bit.
Grid parseDump(const std::string& text) {
  Grid g;
  std::vector<std::string> rows = lines(text);
  size_t n = rows.size();
  for (const std::string& line : rows) {
    std::vector<uint8_t> row;
    std::istringstream in(line);
    std::string byte;
    while (in >> byte) {
      // A last group of four modules or fewer comes as one hexadecimal digit.
      if (byte.empty() || byte.size() > 2) return {};
      for (char ch : byte)
        if (!isxdigit(static_cast<unsigned char>(ch))) return {};
      unsigned v = static_cast<unsigned>(std::strtoul(byte.c_str(), nullptr, 16));
      for (int b = 4 * static_cast<int>(byte.size()) - 1; b >= 0 && row.size() < n; --b) row.push_back((v >> b) & 1);
    }
    if (row.size() != n) return {};
    g.push_back(std::move(row));
  }
  return g;
}

// qrencode's ASCII picture: two characters per module, '#' dark.
Grid parseAscii(const std::string& text) {
  Grid g;
  std::vector<std::string> rows = lines(text);
  for (const std::string& line : rows) {
    if (line.size() != rows.size() * 2) return {};
    std::vector<uint8_t> row;
    for (size_t i = 0; i < line.size(); i += 2) row.push_back(line[i] == '#' ? 1 : 0);
    g.push_back(std::move(row));
  }
  return g;
}

}  // namespace

Grid zintQr(const std::string& payload, const ZintOptions& o) {
  std::string file = payloadFile(payload);
  if (file.empty()) return {};
  std::string cmd = "zint -b QRCODE --dump -i '" + file + "'";
  if (o.version > 0) cmd += " --vers=" + std::to_string(o.version);
  if (o.level > 0) cmd += " --secure=" + std::to_string(o.level);
  if (o.mask >= 0) cmd += " --mask=" + std::to_string(o.mask);
  if (o.binary) cmd += " --binary";
  if (!o.extra.empty()) cmd += " " + o.extra;
  cmd += " 2>/dev/null";
  Grid g = parseDump(runCommand(cmd));
  unlink(file.c_str());
  return g;
}

Grid zintQr(const std::string& payload, int version, int level, int mask, bool binary, const std::string& extra) {
  ZintOptions o;
  o.version = version;
  o.level = level;
  o.mask = mask;
  o.binary = binary;
  o.extra = extra;
  return zintQr(payload, o);
}

Grid qrencodeQr(const std::string& payload, int version, char level, bool kanji, bool eightBit) {
  std::string file = payloadFile(payload);
  if (file.empty()) return {};
  std::string cmd = "qrencode -t ASCII -m 0 -o - -r '" + file + "' -l " + std::string(1, level);
  if (version > 0) cmd += " -v " + std::to_string(version);
  if (kanji) cmd += " -k";
  if (eightBit) cmd += " -8";
  cmd += " 2>/dev/null";
  Grid g = parseAscii(runCommand(cmd));
  unlink(file.c_str());
  return g;
}

cv::Mat drawGrid(const Grid& grid, int pixels, int quiet) {
  int n = static_cast<int>(grid.size());
  int side = (n + 2 * quiet) * pixels;
  cv::Mat img(side, side, CV_8UC1, cv::Scalar(255));
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < static_cast<int>(grid[r].size()); ++c) {
      if (grid[r][c]) img(cv::Rect((c + quiet) * pixels, (r + quiet) * pixels, pixels, pixels)).setTo(0);
    }
  }
  return img;
}

char levelLetter(int zintLevel) { return "?LMQH"[zintLevel >= 1 && zintLevel <= 4 ? zintLevel : 0]; }

int levelBits(char letter) {
  switch (letter) {
    case 'M': return 0;
    case 'L': return 1;
    case 'H': return 2;
    case 'Q': return 3;
    default: return -1;
  }
}

}  // namespace pvk::qrgen
