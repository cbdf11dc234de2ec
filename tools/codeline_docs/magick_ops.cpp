// ImageMagick's blur and rotation of a grey codeline image, through its command-line tool: the
// library itself cannot share a process with ours (both define GetImageInfo, and the test
// executables would hand ImageMagick our function).
#include "magick_ops.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace pvk::codelinedocs {
namespace {

void writePgm(const std::string& path, const glyphs::GreyImage& img) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + path);
  std::fprintf(f, "P5\n%d %d\n255\n", img.width, img.height);
  bool ok = true;
  for (int y = 0; y < img.height && ok; ++y)
    ok = std::fwrite(&img.pixels[static_cast<size_t>(y) * img.stride], 1, static_cast<size_t>(img.width), f) ==
         static_cast<size_t>(img.width);
  if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + path);
}

void readPgm(const std::string& path, glyphs::GreyImage& img) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) throw std::runtime_error("ImageMagick left no " + path);
  int w = 0, h = 0, maxval = 0;
  bool ok = std::fscanf(f, "P5 %d %d %d", &w, &h, &maxval) == 3 && std::fgetc(f) != EOF && w == img.width &&
            h == img.height && maxval == 255;
  for (int y = 0; y < img.height && ok; ++y)
    ok = std::fread(&img.pixels[static_cast<size_t>(y) * img.stride], 1, static_cast<size_t>(img.width), f) ==
         static_cast<size_t>(img.width);
  std::fclose(f);
  if (!ok) throw std::runtime_error("ImageMagick gave an unexpected image in " + path);
}

}  // namespace

void magickBlurAndRotate(glyphs::GreyImage& img, double sigma, double degrees, uint8_t paper) {
  char stem[] = "/tmp/pvk_codeline_XXXXXX";
  const int fd = mkstemp(stem);
  if (fd < 0) throw std::runtime_error("no temporary file for ImageMagick");
  close(fd);
  const std::string in = std::string(stem) + ".pgm", out = std::string(stem) + "_out.pgm";
  std::remove(stem);
  char ops[160] = "";
  int len = 0;
  if (sigma > 0) len += std::snprintf(ops + len, sizeof ops - len, " -gaussian-blur 0x%.4f", sigma);
  if (degrees != 0)
    std::snprintf(ops + len, sizeof ops - len, " -background 'gray(%d)' -virtual-pixel background -distort SRT %.4f",
                  paper, degrees);
  // One thread, so that the result is the same on every run.
  const std::string cmd = "convert -limit thread 1 '" + in + "'" + ops + " -depth 8 'pgm:" + out + "'";
  try {
    writePgm(in, img);
    if (std::system(cmd.c_str()) != 0) throw std::runtime_error("ImageMagick failed: " + cmd);
    readPgm(out, img);
  } catch (...) {
    std::remove(in.c_str());
    std::remove(out.c_str());
    throw;
  }
  std::remove(in.c_str());
  std::remove(out.c_str());
}

}  // namespace pvk::codelinedocs
