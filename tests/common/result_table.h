// The result table as the tests read it: each code with its message text, made from the same
// list as the library's own lookup so the two cannot drift. Header only.
#pragma once

#include "PlavikMS.h"

namespace pvk::testing {

struct ResultEntry {
  int code;
  const char* message;
};

#define PVK_TEST_ENTRY_(code, name, message) {code, message},
inline constexpr ResultEntry kResultTable[] = {PVK_RESULT_CODES(PVK_TEST_ENTRY_)};
#undef PVK_TEST_ENTRY_

}  // namespace pvk::testing
