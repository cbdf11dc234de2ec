// Host work of the image output, each figure beside a peer library doing the same job on the
// same pixels, measured in the same run: G4 with its threshold against a plain threshold and
// libtiff, colour JPEG against libjpeg-turbo, uncompressed TIFF write and colour TIFF read
// against libtiff, the BMP build against OpenCV's BMP encoder, and the geometry transform
// against cv::resize and cv::warpAffine on one thread. Two cheque pages with text, 2592 x 1300
// and 1800 x 800; thread CPU time, median of interleaved rounds.
#include <malloc.h>
#include <time.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
#include <tiffio.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/records.h"
#include "image/image.h"
#include "rasterlib/rasterlib.h"

namespace {

int kRounds = 9;

double cpuSeconds()
{
  struct timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

double median(std::vector<double> v)
{
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A cheque page: light paper with grain, a frame, text lines and a signature stroke.
cv::Mat makePage(int w, int h, int planes)
{
  cv::Mat grey(h, w, CV_8UC1);
  cv::RNG rng(7);
  rng.fill(grey, cv::RNG::UNIFORM, 200, 230);
  cv::rectangle(grey, {20, 20}, {w - 20, h - 20}, cv::Scalar(90), 3);
  const char* words[] = {"PAY TO THE ORDER OF", "Two hundred and forty-five 00/100", "MEMO invoice 2231",
                         "0123456789 ABCDEFGH", "Bank of the Plain, branch 0042"};
  for (int i = 0; i < 5; ++i)
    cv::putText(grey, words[i], {60 + 40 * i, 120 + i * (h - 200) / 5}, cv::FONT_HERSHEY_SIMPLEX, 1.4,
                cv::Scalar(50), 3);
  for (int x = w / 2; x < w - 120; x += 6)
    cv::line(grey, {x, h - 150 + static_cast<int>(25 * std::sin(x * 0.05))},
             {x + 6, h - 150 + static_cast<int>(25 * std::sin((x + 6) * 0.05))}, cv::Scalar(40), 2);
  if (planes == 1) return grey;
  cv::Mat b, g, r, out;
  grey.convertTo(b, CV_8U, 0.90, 10);
  grey.convertTo(g, CV_8U, 0.95, 5);
  grey.convertTo(r, CV_8U, 1.0, 0);
  cv::merge(std::vector<cv::Mat>{b, g, r}, out);
  return out;
}

// The page as an acquired side holds it: planes side by side in each row (R, G, B).
std::vector<uint8_t> planarRows(const cv::Mat& page)
{
  const int w = page.cols, h = page.rows, planes = page.channels();
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * planes);
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = page.ptr<uint8_t>(y);
    uint8_t* d = out.data() + static_cast<size_t>(y) * w * planes;
    for (int x = 0; x < w; ++x)
      for (int p = 0; p < planes; ++p) d[p * w + x] = s[x * planes + (planes == 3 ? 2 - p : 0)];
  }
  return out;
}

std::vector<uint8_t> buildBmp(const std::vector<uint8_t>& planar, int w, int h, int planes)
{
  std::vector<uint8_t> bmp(ImgBMPSize(static_cast<size_t>(w) * planes, h));
  long size = 0;
  ImgBMPElabora(planar.data(), h, w, w, w * planes, w * planes, 300, 300, 0, 0, 8 * planes, true, true,
                bmp.data(), &size);
  bmp.resize(size);
  return bmp;
}

// ---- libtiff in memory ----------------------------------------------------------------------

struct MemTiff {
  std::vector<uint8_t> data;
  toff_t pos = 0;
};

tmsize_t memRead(thandle_t h, void* buf, tmsize_t n)
{
  auto* m = static_cast<MemTiff*>(h);
  tmsize_t left = m->pos < m->data.size() ? static_cast<tmsize_t>(m->data.size() - m->pos) : 0;
  n = std::min(n, left);
  std::memcpy(buf, m->data.data() + m->pos, n);
  m->pos += n;
  return n;
}

tmsize_t memWrite(thandle_t h, void* buf, tmsize_t n)
{
  auto* m = static_cast<MemTiff*>(h);
  if (m->pos + n > m->data.size()) m->data.resize(m->pos + n);
  std::memcpy(m->data.data() + m->pos, buf, n);
  m->pos += n;
  return n;
}

toff_t memSeek(thandle_t h, toff_t off, int whence)
{
  auto* m = static_cast<MemTiff*>(h);
  if (whence == SEEK_CUR) off += m->pos;
  if (whence == SEEK_END) off += m->data.size();
  m->pos = off;
  return off;
}

int memClose(thandle_t) { return 0; }
toff_t memSize(thandle_t h) { return static_cast<MemTiff*>(h)->data.size(); }
int memMap(thandle_t, void**, toff_t*) { return 0; }
void memUnmap(thandle_t, void*, toff_t) {}

TIFF* openMem(MemTiff& m, const char* mode)
{
  return TIFFClientOpen("mem", mode, &m, memRead, memWrite, memSeek, memClose, memSize, memMap, memUnmap);
}

// Writes rows (top-down, interleaved samples) as one TIFF page.
size_t libtiffWrite(const uint8_t* rows, size_t stride, int w, int h, int spp, int bps, uint16_t photometric,
                    uint16_t compression)
{
  MemTiff m;
  TIFF* t = openMem(m, "w");
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spp);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bps);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0xFFFFFFFF));
  for (int y = 0; y < h; ++y) TIFFWriteScanline(t, const_cast<uint8_t*>(rows + y * stride), y, 0);
  TIFFClose(t);
  return m.data.size();
}

// ---- the peers --------------------------------------------------------------------------------

size_t peerG4(const cv::Mat& grey, uint8_t level)
{
  const int w = grey.cols, h = grey.rows;
  const size_t stride = (w + 7) / 8;
  std::vector<uint8_t> bits(stride * h);
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = grey.ptr<uint8_t>(y);
    uint8_t* d = bits.data() + y * stride;
    for (int x = 0; x < w; ++x)
      if (s[x] <= level) d[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
  }
  return libtiffWrite(bits.data(), stride, w, h, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4);
}

size_t peerJpeg(const cv::Mat& bgr, int quality)
{
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = bgr.cols;
  c.image_height = bgr.rows;
  c.input_components = 3;
  c.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  c.density_unit = 1;
  c.X_density = c.Y_density = 300;
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(bgr.ptr<uint8_t>(c.next_scanline));
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::free(out);
  return size;
}

// Reading from the caller's bytes where they are, as the library's decoder does (a copy of the
// file first would be work ours does not do, and would warm the cache for the reads after it).
struct MemView {
  const std::vector<uint8_t>* data;
  toff_t pos = 0;
};

tmsize_t viewRead(thandle_t h, void* buf, tmsize_t n)
{
  auto* m = static_cast<MemView*>(h);
  tmsize_t left = m->pos < m->data->size() ? static_cast<tmsize_t>(m->data->size() - m->pos) : 0;
  n = std::min(n, left);
  std::memcpy(buf, m->data->data() + m->pos, n);
  m->pos += n;
  return n;
}

tmsize_t viewWrite(thandle_t, void*, tmsize_t) { return -1; }

toff_t viewSeek(thandle_t h, toff_t off, int whence)
{
  auto* m = static_cast<MemView*>(h);
  if (whence == SEEK_CUR) off += m->pos;
  if (whence == SEEK_END) off += m->data->size();
  m->pos = off;
  return off;
}

toff_t viewSize(thandle_t h) { return static_cast<MemView*>(h)->data->size(); }

size_t peerTiffRead(const std::vector<uint8_t>& file)
{
  MemView m{&file};
  TIFF* t = TIFFClientOpen("mem", "r", &m, viewRead, viewWrite, viewSeek, memClose, viewSize, memMap, memUnmap);
  uint32_t w = 0, h = 0;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
  std::vector<uint8_t> px(static_cast<size_t>(w) * h * 3);
  const tmsize_t stripSize = TIFFStripSize(t);
  size_t at = 0;
  for (tstrip_t s = 0; s < TIFFNumberOfStrips(t); ++s) {
    tmsize_t n = TIFFReadEncodedStrip(t, s, px.data() + at, std::min<tmsize_t>(stripSize, px.size() - at));
    if (n < 0) break;
    at += n;
  }
  TIFFClose(t);
  return at;
}

// ---- the table ---------------------------------------------------------------------------------

struct Row {
  std::string name;
  std::function<void()> ours, peer;
  const char* goal;
  std::vector<double> tOurs, tPeer;
};

void measure(std::vector<Row>& rows)
{
  // The side that runs first in a round changes from round to round, so that neither is always
  // the one meeting the cache (or the allocator) as the other left it.
  for (int r = 0; r < kRounds; ++r)
    for (Row& row : rows) {
      auto timed = [](const std::function<void()>& f) {
        double t0 = cpuSeconds();
        f();
        return cpuSeconds() - t0;
      };
      if (r % 2 == 0) {
        row.tOurs.push_back(timed(row.ours));
        row.tPeer.push_back(timed(row.peer));
      } else {
        row.tPeer.push_back(timed(row.peer));
        row.tOurs.push_back(timed(row.ours));
      }
    }
}

void encodeAndFree(const std::vector<uint8_t>& bmp, int quality, uint8_t threshold, short format)
{
  long size = static_cast<long>(bmp.size());
  std::free(EncodeImage(bmp.data(), &size, quality, threshold, format, 0, 300, 300, 0));
}

}  // namespace

int main(int argc, char** argv)
{
  // An argument keeps only the rows whose name holds it, a second sets the rounds (for profiling
  // one path).
  const std::string only = argc > 1 ? argv[1] : "";
  if (argc > 2) kRounds = std::max(1, std::atoi(argv[2]));
  // Large blocks come back from the heap on both sides. Left to itself the allocator maps a block
  // afresh (page faults on first touch) or reuses one depending on how its size compares with
  // the last block freed, so a few bytes more on one side charged it the faults the other did
  // not pay.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  cv::setNumThreads(1);
  MyAcq.colourLines = MyAcq.planesPerLine = 1;  // the geometry transform checks the acquisition record
  double load[3] = {0, 0, 0};
  if (FILE* f = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(f, "%lf %lf %lf", &load[0], &load[1], &load[2]) != 3) load[0] = -1;
    std::fclose(f);
  }

  struct Page {
    int w, h;
    cv::Mat grey, colour, rgb;  // rgb: the colour page in the sample order libtiff takes
    std::vector<uint8_t> greyPlanar, colourPlanar, greyBmp, colourBmp, colourTiff;
  };
  std::vector<Page> pages;
  for (auto [w, h] : {std::pair{2592, 1300}, std::pair{1800, 800}}) {
    Page p{w, h, makePage(w, h, 1), makePage(w, h, 3), {}, {}, {}, {}, {}, {}};
    cv::cvtColor(p.colour, p.rgb, cv::COLOR_BGR2RGB);
    p.greyPlanar = planarRows(p.grey);
    p.colourPlanar = planarRows(p.colour);
    p.greyBmp = buildBmp(p.greyPlanar, w, h, 1);
    p.colourBmp = buildBmp(p.colourPlanar, w, h, 3);
    long size = static_cast<long>(p.colourBmp.size());
    uint8_t* tif = EncodeImage(p.colourBmp.data(), &size, 80, 128, pvk::image::kTiffNone, 0, 300, 300, 0);
    p.colourTiff.assign(tif, tif + size);
    std::free(tif);
    pages.push_back(std::move(p));
  }

  std::vector<Row> rows;
  for (Page& p : pages) {
    const std::string tag = " " + std::to_string(p.w) + "x" + std::to_string(p.h);
    const uint8_t level = 128;
    rows.push_back({"G4 incl. threshold" + tag, [&p] { encodeAndFree(p.greyBmp, 0, level, pvk::image::kTiffG4); },
                    [&p] { peerG4(p.grey, level); }, "<= 1.3", {}, {}});
    rows.push_back({"colour JPEG q80" + tag, [&p] { encodeAndFree(p.colourBmp, 80, 128, pvk::image::kJpeg); },
                    [&p] { peerJpeg(p.colour, 80); }, "<= 1.1", {}, {}});
    rows.push_back({"TIFF write, grey" + tag, [&p] { encodeAndFree(p.greyBmp, 0, 128, pvk::image::kTiffNone); },
                    [&p] { libtiffWrite(p.grey.data, p.grey.step, p.w, p.h, 1, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE); },
                    "<= 1.2", {}, {}});
    rows.push_back({"TIFF write, colour" + tag,
                    [&p] { encodeAndFree(p.colourBmp, 0, 128, pvk::image::kTiffNone); },
                    [&p] { libtiffWrite(p.rgb.data, p.rgb.step, p.w, p.h, 3, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE); },
                    "<= 1.2", {}, {}});
    rows.push_back({"TIFF read, colour" + tag,
                    [&p] {
                      RasterImage img(p.colourTiff.data(), static_cast<uint32_t>(p.colourTiff.size()), IMAGE_TYPE_TIF);
                    },
                    [&p] { peerTiffRead(p.colourTiff); }, "<= 1.2", {}, {}});
    for (int planes : {1, 3}) {
      rows.push_back({std::string("ImgBMPElabora, ") + (planes == 1 ? "grey" : "colour") + tag,
                      [&p, planes] {
                        buildBmp(planes == 1 ? p.greyPlanar : p.colourPlanar, p.w, p.h, planes);
                      },
                      [&p, planes] {
                        std::vector<uint8_t> out;
                        cv::imencode(".bmp", planes == 1 ? p.grey : p.colour, out);
                      },
                      "<= 1.5", {}, {}});
    }
    PVKImg src{static_cast<uint16_t>(p.w), static_cast<uint16_t>(p.h), static_cast<uint16_t>(p.w), 300, p.grey.data};
    rows.push_back({"resize 300->200 dpi" + tag,
                    [src]() mutable {
                      PVKImg dst{};
                      StretchRotateStretch(src, dst, 3, 3, 2, 2, 0.0f, 1, false);
                      FreePVKImg(dst);
                    },
                    [&p] {
                      cv::Mat out;
                      cv::resize(p.grey, out, cv::Size(p.w * 2 / 3, p.h * 2 / 3), 0, 0, cv::INTER_LINEAR);
                    },
                    "<= 2", {}, {}});
    const float angle = static_cast<float>(4.0 * M_PI / 180.0);
    // Colour: the planes side by side in each row, one walk of the coordinates for all three.
    for (int planes : {1, 3}) {
      PVKImg turned = planes == 1 ? src
                                        : PVKImg{static_cast<uint16_t>(p.w), static_cast<uint16_t>(p.h),
                                                 static_cast<uint16_t>(3 * p.w), 300, p.colourPlanar.data()};
      const cv::Mat* peer = planes == 1 ? &p.grey : &p.colour;
      rows.push_back({(planes == 1 ? "rotate 4 degrees" : "rotate 4 degrees, colour") + tag,
                      [turned, angle, planes]() mutable {
                        PVKImg dst{};
                        StretchRotateStretch(turned, dst, 1, 1, 1, 1, angle, static_cast<uint8_t>(planes), false);
                        FreePVKImg(dst);
                      },
                      [&p, peer, angle] {
                        cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(p.w / 2.0f, p.h / 2.0f), angle * 180 / M_PI, 1.0),
                                out;
                        cv::warpAffine(*peer, out, m, peer->size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                                       cv::Scalar::all(10));
                      },
                      "<= 2", {}, {}});
    }
  }
  if (!only.empty())
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [&](const Row& r) { return r.name.find(only) == std::string::npos; }),
               rows.end());
  measure(rows);

  std::printf("bench_host_work: thread CPU time, median of %d interleaved rounds; load average %.1f %.1f %.1f "
              "on %ld cores\n",
              kRounds, load[0], load[1], load[2], sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("  %-38s %10s %10s %8s  %s\n", "path", "ours ms", "peer ms", "ratio", "goal");
  for (const Row& r : rows) {
    const double o = median(r.tOurs), q = median(r.tPeer);
    std::printf("  %-38s %10.2f %10.2f %8.2f  %s\n", r.name.c_str(), o * 1e3, q * 1e3, o / std::max(q, 1e-9), r.goal);
  }
  std::printf("  peers: G4 = threshold loop + libtiff; JPEG = libjpeg-turbo from BGR rows; TIFF = libtiff in "
              "memory; BMP = cv::imencode; resize = cv::resize; rotate = cv::warpAffine (both one thread)\n");
  return 0;
}
