// The fuzz targets' assertion: an input that breaks what a target checks ends the run as a
// crash, which libFuzzer keeps with the input.
#pragma once

#include <cstdlib>

namespace fuzzsupport {

inline void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace fuzzsupport
