// The appointment stores' DevCe functions (block mode, record kind 2). Ordinary appointments
// are listed, read and deleted with the shared calls (TaskStore.h) and written with:
//   "DevCeAddAppointment"     record, mode 0 -> the new id
//   "DevCeReplaceAppointment" record, mode 1 -> the id
// Phones of the domestic families (model types 0, 3, 4, 5) keep lunar appointments in a store
// of their own, with ids of the same numbering as every other record:
//   "DevCeGetLunarList"     kind       -> count, then count lunar ids
//   "DevCeGetLunarItem"     kind, id   -> id, then the properties
//   "DevCeAddLunarItem"     record, 0  -> the new id
//   "DevCeReplaceLunarItem" record, 1  -> the id
//   "DevCeDeleteLunarItem"  kind, id   -> nothing
// Other phones have no such functions: they answer as a missing export does,
// HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND) = 0x8007007F.
#pragma once

#include <cstdint>

namespace wmemu {

class ServiceRegistry;
class Image;

// The image's kind for the lunar appointment store.
inline constexpr uint32_t kLunarStoreKind = 0x102;
inline constexpr int32_t kHrProcNotFound = static_cast<int32_t>(0x8007007Fu);

// Whether a model type has the lunar calls.
bool HasLunarStore(int modelType);

void RegisterAppointmentStore(ServiceRegistry& services);

// The demo phone's calendar: a few dozen appointments over 2008 and 2009 and, on phones with
// a lunar store, lunar holidays, birthdays and memorial days (one in a leap month).
void BuildDemoCalendar(Image& image, int modelType);

}  // namespace wmemu
