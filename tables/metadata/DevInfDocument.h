// The device information document the metadata table answers for "DevInf": a SyncML device
// information object (namespace "syncml:devinf", DTD 2.0) naming the phone and, per data
// store, its content type, the properties the phone accepts with their limits, its capacity
// and its sync types.
//
// The text is fixed: narrow text, CR LF line ends, tab indentation. It is assembled from a
// skeleton and eight store templates, property fragments appended in a fixed order (some
// only for certain models) and placeholder tokens replaced by the gathered values. Every
// replacement replaces every occurrence; numbers are written with "%d" (so -1 stays "-1").
#pragma once

#include <string>
#include <vector>

#include "core/FieldMap.h"
#include "wincompat/wintypes.h"

namespace qwb {

// What the document is made from: the values of one refresh of the metadata table.
struct DevInfValues {
  std::string manufacturer;  // narrow (ANSI) text
  std::string modelName;     // narrow text, compared byte for byte with the special models
  int modelType = 1;
  // [0] phonebook, [1] calendar, [2] task, [3] SIM; a missing map or entry reads as 0.
  const std::vector<FieldMap>* limitMaps = nullptr;
  DWORD mmsMaxSize = 0;
  // HKCU\Software\Tolvane\QelContact "xLinkSupport" read and equal to 1.
  bool telDial = false;
  // The SIM information session's capacity fields (the last successful answer; 0 before).
  DWORD simAnrCount = 0;
  DWORD simMaxAnrLength = 0;
  DWORD simEmailAddrCount = 0;
  DWORD simMaxEmailAddrLength = 0;
};

std::string BuildDevInfDocument(const DevInfValues& values);

// Replaces every occurrence of `token` in `text` (left to right, not rescanning what was put in).
void ReplaceAll(std::string* text, std::string_view token, std::string_view value);

}  // namespace qwb
