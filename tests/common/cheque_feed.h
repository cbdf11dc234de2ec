// A synthetic cheque on the software scanner's transport: the grey plane of each side fed as the
// next document. Header only.
#pragma once

#include <cstdint>

#include "pvkemu_image.h"
#include "synthetic_cheque.h"

namespace pvk::testing {

// Feeds plane 0 of both sides as the next document of device `dev` (the scanner keeps its own
// copy); the result of pvkemu_feed.
inline int feedGrey(int dev, const SidePlanes& front, const SidePlanes& rear) {
  pvkemu_document doc{};
  doc.width = static_cast<uint32_t>(front.width);
  doc.height = static_cast<uint32_t>(front.height);
  doc.front[0] = front.planes[0].data();
  doc.rear[0] = rear.planes[0].data();
  return pvkemu_feed(dev, &doc);
}

}  // namespace pvk::testing
