#include "emulator/TaskStore.h"

#include "emulator/RecordService.h"
#include "emulator/ServiceRegistry.h"
#include "link/DeviceRecord.h"

namespace wmemu {

namespace {

constexpr uint32_t kTask = devrec::kKindTask, kAppointment = devrec::kKindAppointment;

// The list, get and delete calls serve tasks and appointments, each from its own store.
bool Served(uint32_t kind) { return kind == kTask || kind == kAppointment; }

}  // namespace

void RegisterTaskStore(ServiceRegistry& services) {
  services.AddBlock("DevCeList", [](ServiceContext& c, const std::vector<uint8_t>& in,
                                    std::vector<uint8_t>* out) {
    const uint32_t kind = RequestKind(in);
    return Served(kind) ? ListRecords(c, in, kind, kind, out) : kHrInvalidArg;
  });
  services.AddBlock("DevCeGet", [](ServiceContext& c, const std::vector<uint8_t>& in,
                                   std::vector<uint8_t>* out) {
    const uint32_t kind = RequestKind(in);
    return Served(kind) ? GetRecord(c, in, kind, kind, out) : kHrInvalidArg;
  });
  services.AddBlock("DevCeDelete", [](ServiceContext& c, const std::vector<uint8_t>& in,
                                      std::vector<uint8_t>*) {
    const uint32_t kind = RequestKind(in);
    return Served(kind) ? DeleteRecord(c, in, kind, kind) : kHrInvalidArg;
  });
  services.AddBlock("DevCeAddTask", [](ServiceContext& c, const std::vector<uint8_t>& in,
                                       std::vector<uint8_t>* out) {
    return StoreRecord(c, in, devrec::kModeAdd, kTask, kTask, out);
  });
  services.AddBlock("DevCeReplaceTask", [](ServiceContext& c, const std::vector<uint8_t>& in,
                                           std::vector<uint8_t>* out) {
    return StoreRecord(c, in, devrec::kModeReplace, kTask, kTask, out);
  });
}

}  // namespace wmemu
