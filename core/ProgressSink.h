// What a file item reports transfer progress to: the device data object, which fires the
// Progress event to the host's sinks. Kept abstract so items need not know the device data
// object's class.
#pragma once

#include "wincompat/wintypes.h"

namespace qwb {

struct IProgressTarget {
  // `done` and `total` in bytes; a sink may store 0 through `pContinue` to stop the transfer.
  virtual void FireProgress(LONG done, LONG total, LONG* pContinue) = 0;

 protected:
  ~IProgressTarget() = default;
};

}  // namespace qwb
