#include "emulator/AppointmentStore.h"

#include "emulator/RecordService.h"
#include "emulator/ServiceRegistry.h"
#include "link/DeviceRecord.h"

namespace wmemu {

namespace {

constexpr uint32_t kAppointment = devrec::kKindAppointment;

using Request = const std::vector<uint8_t>&;
using Reply = std::vector<uint8_t>*;

// A lunar call: served by domestic phones, missing on the others.
template <typename F>
BlockFunction Lunar(F f) {
  return [f](ServiceContext& c, Request in, Reply out) -> int32_t {
    if (!HasLunarStore(c.modelType())) return kHrProcNotFound;
    return f(c, in, out);
  };
}

}  // namespace

bool HasLunarStore(int modelType) {
  return modelType == 0 || modelType == 3 || modelType == 4 || modelType == 5;
}

void RegisterAppointmentStore(ServiceRegistry& services) {
  services.AddBlock("DevCeAddAppointment", [](ServiceContext& c, Request in, Reply out) {
    return StoreRecord(c, in, devrec::kModeAdd, kAppointment, kAppointment, out);
  });
  services.AddBlock("DevCeReplaceAppointment", [](ServiceContext& c, Request in, Reply out) {
    return StoreRecord(c, in, devrec::kModeReplace, kAppointment, kAppointment, out);
  });
  services.AddBlock("DevCeGetLunarList", Lunar([](ServiceContext& c, Request in, Reply out) {
                      return ListRecords(c, in, kAppointment, kLunarStoreKind, out);
                    }));
  services.AddBlock("DevCeGetLunarItem", Lunar([](ServiceContext& c, Request in, Reply out) {
                      return GetRecord(c, in, kAppointment, kLunarStoreKind, out);
                    }));
  services.AddBlock("DevCeAddLunarItem", Lunar([](ServiceContext& c, Request in, Reply out) {
                      return StoreRecord(c, in, devrec::kModeAdd, kAppointment, kLunarStoreKind,
                                         out);
                    }));
  services.AddBlock("DevCeReplaceLunarItem", Lunar([](ServiceContext& c, Request in, Reply out) {
                      return StoreRecord(c, in, devrec::kModeReplace, kAppointment,
                                         kLunarStoreKind, out);
                    }));
  services.AddBlock("DevCeDeleteLunarItem", Lunar([](ServiceContext& c, Request in, Reply) {
                      return DeleteRecord(c, in, kAppointment, kLunarStoreKind);
                    }));
}

}  // namespace wmemu
