// The appointment stores (record kind 2), served by the generic record store
// (RecordService.h). Ordinary appointments: "DevCeList", "DevCeGet", "DevCeAddAppointment",
// "DevCeReplaceAppointment", "DevCeDelete". Phones of the domestic families (model types 0, 3,
// 4, 5) keep lunar appointments in a store of their own, with ids of the same numbering as
// every other record: "DevCeGetLunarList", "DevCeGetLunarItem", "DevCeAddLunarItem",
// "DevCeReplaceLunarItem", "DevCeDeleteLunarItem". Other phones have no such functions: they
// answer as a missing export does, HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND) = 0x8007007F.
#pragma once

#include <cstdint>

#include "emulator/RecordService.h"

namespace wmemu {

class Image;

// The image's key of the lunar appointment store.
inline constexpr uint32_t kLunarStoreKind = 0x102;
inline constexpr int32_t kHrProcNotFound = static_cast<int32_t>(0x8007007Fu);

extern const ServedRecordKind kAppointmentStore;
extern const ServedRecordKind kLunarAppointmentStore;

// Whether a model type has the lunar calls.
bool HasLunarStore(int modelType);

// Makes the lunar functions (registered with the stores) answer as missing on phones of the
// other families.
void RegisterLunarModelRule(ServiceRegistry& services);

// The demo phone's calendar: a few dozen appointments over 2008 and 2009 and, on phones with
// a lunar store, lunar holidays, birthdays and memorial days (one in a leap month).
void BuildDemoCalendar(Image& image, int modelType);

}  // namespace wmemu
