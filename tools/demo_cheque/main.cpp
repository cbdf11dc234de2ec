// demo_cheque DIR [202|1]: writes the demo cheque as the software scanner's transport sees it,
// DIR/cheque_front.raw and DIR/cheque_rear.raw (grey, 2592 x 1100, the document 396 pixels in
// and 120 lines down), and DIR/cheque_items.txt: one printed item a line, TAB-separated: what,
// zone font, left, top, width, height (pixels of the 300 dpi document), the printed text.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "demo_cheque.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: demo_cheque DIR [202|1]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const short codeline = argc > 2 ? static_cast<short>(std::atoi(argv[2])) : short{202};
  if (codeline != 202 && codeline != 1) {
    std::fprintf(stderr, "demo_cheque: codeline font 202 (CMC7) or 1 (E13B)\n");
    return 2;
  }
  try {
    const pvk::democheque::Cheque c = pvk::democheque::makeCheque(codeline);
    const pvk::democheque::Transport t = pvk::democheque::onTransport(c, false);
    std::ofstream front(dir + "/cheque_front.raw", std::ios::binary), rear(dir + "/cheque_rear.raw", std::ios::binary),
        items(dir + "/cheque_items.txt");
    front.write(reinterpret_cast<const char*>(t.front.data()), static_cast<std::streamsize>(t.front.size()));
    rear.write(reinterpret_cast<const char*>(t.rear.data()), static_cast<std::streamsize>(t.rear.size()));
    for (const pvk::democheque::Item& it : c.items)
      items << it.what << '\t' << it.font << '\t' << it.left << '\t' << it.top << '\t' << it.width << '\t' << it.height
            << '\t' << it.text << '\n';
    if (!front || !rear || !items) {
      std::fprintf(stderr, "demo_cheque: cannot write into %s\n", dir.c_str());
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "demo_cheque: %s\n", e.what());
    return 1;
  }
  return 0;
}
