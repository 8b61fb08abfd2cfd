// Hooks through which tests observe librapi. Not part of the Windows surface.
#pragma once

namespace wincompat {

// CeSyncStop/CeSyncStart never reach the device; they are counted so that tests can check
// that every CeRapiInvoke was preceded by a CeSyncStop.
struct RapiSyncCounts {
  unsigned syncStops = 0;
  unsigned syncStarts = 0;
  unsigned invokes = 0;
  // Invocations with no CeSyncStop since the previous invocation.
  unsigned invokesWithoutSyncStop = 0;
};
RapiSyncCounts GetRapiSyncCounts();
void ResetRapiSyncCounts();

}  // namespace wincompat
