// The task store's DevCe functions (block mode, record kind 3), and the list, get and delete
// calls the task and appointment stores share (kinds 3 and 2; emulator/RecordService.h):
//   "DevCeList"        kind                    -> count, then count entry ids (count 0 if none)
//   "DevCeGet"         kind, id                -> id, then the record's properties
//   "DevCeAddTask"     record, mode 0          -> the new id
//   "DevCeReplaceTask" record, mode 1          -> the id (the whole property set is replaced)
//   "DevCeDelete"      kind, id                -> nothing
// Failures: a short or malformed request, and a kind whose store this phone does not serve
// (every kind but 2 and 3), answer E_INVALIDARG; an unknown entry id answers
// HRESULT_FROM_WIN32(ERROR_NOT_FOUND) = 0x80070490.
#pragma once

#include <cstdint>

namespace wmemu {

class ServiceRegistry;

inline constexpr int32_t kHrNotFound = static_cast<int32_t>(0x80070490u);

void RegisterTaskStore(ServiceRegistry& services);

}  // namespace wmemu
