// demo_cheque DIR: writes the two demo cheques, one with an E13B and one with a CMC7 codeline in
// magnetic ink, each fed lengthwise past the magnetic head of the software scanner. Per cheque
// NAME (e13b, cmc7): DIR/NAME_front.raw and DIR/NAME_rear.raw (grey sides of the transport),
// DIR/NAME_micr.raw (the head's bytes in stream order) and DIR/NAME_items.txt. The items file
// starts with "transport", sensor pixels, lines and head bytes per plane slot, TAB-separated;
// then one printed item a line: what, zone font, left, top, width, height (pixels of the 300 dpi
// document), the printed text.
//
// demo_cheque --annotate DIR NAME: after the demo host read the cheque, draws its zones and the
// texts read on DIR/NAME_front.jpg (from DIR/NAME_read.txt) into DIR/NAME_zones.png.
//
// demo_cheque --sample FILE [cmc7]: writes the front of the E13B cheque (printed ink, no magnetic
// samples) as the front sensor of the software scanner sees it, as a binary PGM: the cheque that
// the host quick start (examples/quickstart.c) feeds; with cmc7, the cheque with a CMC7 codeline.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "annotate.h"
#include "demo_cheque.h"

namespace {

namespace dc = pvk::democheque;

bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(f);
}

bool writeCheque(const std::string& dir, const std::string& name, short codeline) {
  const dc::Cheque c = dc::makeCheque(codeline, true);
  const dc::Transport t = dc::alongTravel(c, true, 1);
  const std::string stem = dir + "/" + name;
  std::ofstream items(stem + "_items.txt");
  items << "transport\t" << t.sensorPixels << '\t' << t.lines << '\t' << t.micrPerSlot << '\n';
  for (const dc::Item& it : c.items)
    items << it.what << '\t' << it.font << '\t' << it.left << '\t' << it.top << '\t' << it.width << '\t' << it.height
          << '\t' << it.text << '\n';
  items.close();
  return items && writeBytes(stem + "_front.raw", t.front) && writeBytes(stem + "_rear.raw", t.rear) &&
         writeBytes(stem + "_micr.raw", t.micr);
}

bool writeSample(const std::string& path, short codeline) {
  const dc::Transport t = dc::onTransport(dc::makeCheque(codeline), false);
  std::ofstream f(path, std::ios::binary);
  f << "P5\n" << t.sensorPixels << ' ' << t.lines << "\n255\n";
  f.write(reinterpret_cast<const char*>(t.front.data()), static_cast<std::streamsize>(t.front.size()));
  return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv) {
  if ((argc == 3 || (argc == 4 && std::string(argv[3]) == "cmc7")) && std::string(argv[1]) == "--sample")
    return writeSample(argv[2], argc == 4 ? 202 : 1) ? 0 : 1;
  if (argc == 4 && std::string(argv[1]) == "--annotate") {
    const std::string stem = std::string(argv[2]) + "/" + argv[3];
    if (dc::annotate(stem + "_front.jpg", stem + "_read.txt", stem + "_zones.png")) return 0;
    std::fprintf(stderr, "demo_cheque: cannot draw %s_zones.png\n", stem.c_str());
    return 1;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: demo_cheque DIR | --annotate DIR NAME | --sample FILE.pgm [cmc7]\n");
    return 2;
  }
  const std::string dir = argv[1];
  try {
    if (!writeCheque(dir, "e13b", 1) || !writeCheque(dir, "cmc7", 202)) {
      std::fprintf(stderr, "demo_cheque: cannot write into %s\n", dir.c_str());
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "demo_cheque: %s\n", e.what());
    return 1;
  }
  return 0;
}
