// A synthetic cheque on the software scanner's transport: the grey plane, or the first planes, of
// each side fed as the next document. Header only.
#pragma once

#include <cstdint>

#include "pvkemu_image.h"
#include "synthetic_cheque.h"

namespace pvk::testing {

// Feeds planes 0 to planes - 1 of both sides as the next document of device `dev` (the scanner
// keeps its own copy); the result of pvkemu_feed.
inline int feedPlanes(int dev, const SidePlanes& front, const SidePlanes& rear, int planes) {
  pvkemu_document doc{};
  doc.width = static_cast<uint32_t>(front.width);
  doc.height = static_cast<uint32_t>(front.height);
  for (int i = 0; i < planes; ++i) {
    doc.front[i] = front.planes[i].data();
    doc.rear[i] = rear.planes[i].data();
  }
  return pvkemu_feed(dev, &doc);
}

// Feeds plane 0 of both sides as the next document of device `dev`; the result of pvkemu_feed.
inline int feedGrey(int dev, const SidePlanes& front, const SidePlanes& rear) {
  return feedPlanes(dev, front, rear, 1);
}

}  // namespace pvk::testing
