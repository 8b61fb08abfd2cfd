#include "emulator/AppointmentStore.h"

#include "emulator/ServiceRegistry.h"
#include "link/DeviceRecord.h"

namespace wmemu {

const ServedRecordKind kAppointmentStore = {
    .kind = devrec::kKindAppointment,
    .store = devrec::kKindAppointment,
    .list = "DevCeList",
    .get = "DevCeGet",
    .add = "DevCeAddAppointment",
    .replace = "DevCeReplaceAppointment",
    .remove = "DevCeDelete",
};

const ServedRecordKind kLunarAppointmentStore = {
    .kind = devrec::kKindAppointment,
    .store = kLunarStoreKind,
    .list = "DevCeGetLunarList",
    .get = "DevCeGetLunarItem",
    .add = "DevCeAddLunarItem",
    .replace = "DevCeReplaceLunarItem",
    .remove = "DevCeDeleteLunarItem",
};

bool HasLunarStore(int modelType) {
  return modelType == 0 || modelType == 3 || modelType == 4 || modelType == 5;
}

void RegisterLunarModelRule(ServiceRegistry& services) {
  for (const char* name : {kLunarAppointmentStore.list, kLunarAppointmentStore.get,
                           kLunarAppointmentStore.add, kLunarAppointmentStore.replace,
                           kLunarAppointmentStore.remove}) {
    const std::string n = name;
    BlockFunction served = services.FindBlock(std::u16string(n.begin(), n.end()));
    services.AddBlock(n, [served](ServiceContext& c, const std::vector<uint8_t>& in,
                                  std::vector<uint8_t>* out) -> int32_t {
      if (!HasLunarStore(c.modelType())) return kHrProcNotFound;
      return served(c, in, out);
    });
  }
}

}  // namespace wmemu
