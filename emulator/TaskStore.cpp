#include "emulator/TaskStore.h"

#include "emulator/RecordStore.h"
#include "emulator/ServiceRegistry.h"
#include "link/DeviceRecord.h"

namespace wmemu {

namespace {

constexpr int32_t kInvalidArg = static_cast<int32_t>(0x80070057u);

uint32_t U32(const std::vector<uint8_t>& in, size_t at) {
  return uint32_t(in[at]) | uint32_t(in[at + 1]) << 8 | uint32_t(in[at + 2]) << 16 |
         uint32_t(in[at + 3]) << 24;
}

void PutU32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(uint8_t(v >> (8 * i)));
}

int32_t List(ServiceContext& ctx, const std::vector<uint8_t>& in, std::vector<uint8_t>* out) {
  if (in.size() < 4 || U32(in, 0) != devrec::kKindTask) return kInvalidArg;
  std::vector<uint32_t> ids = RecordStore(ctx.image(), devrec::kKindTask).List();
  PutU32(out, static_cast<uint32_t>(ids.size()));
  for (uint32_t id : ids) PutU32(out, id);
  return 0;
}

int32_t Get(ServiceContext& ctx, const std::vector<uint8_t>& in, std::vector<uint8_t>* out) {
  if (in.size() < 8 || U32(in, 0) != devrec::kKindTask) return kInvalidArg;
  uint32_t id = U32(in, 4);
  auto props = RecordStore(ctx.image(), devrec::kKindTask).Get(id);
  if (!props) return kHrNotFound;
  *out = devrec::EncodeReply(id, *props);
  return 0;
}

int32_t Store(ServiceContext& ctx, const std::vector<uint8_t>& in, std::vector<uint8_t>* out,
              int mode) {
  devrec::Request req;
  if (devrec::ReadRequest(in.data(), in.size(), mode, &req) != devrec::ReadError::kOk ||
      req.kind != devrec::kKindTask)
    return kInvalidArg;
  // The phone's task store keeps booleans as VARIANT_BOOL: any non-zero value written (the
  // component writes "Complete" as 1) is stored, and read back, as true (0xFFFF).
  for (devrec::RawEntry& e : req.properties) {
    if (e.type == devrec::kTypeBoolean && e.value.size() == 2 && (e.value[0] || e.value[1]))
      e.value[0] = e.value[1] = 0xFF;
  }
  RecordStore store(ctx.image(), devrec::kKindTask);
  uint32_t id = req.entryId;
  if (mode == devrec::kModeAdd) {
    id = store.Add(req.properties);
  } else if (!store.Replace(id, req.properties)) {
    return kHrNotFound;
  }
  PutU32(out, id);
  return 0;
}

int32_t Delete(ServiceContext& ctx, const std::vector<uint8_t>& in, std::vector<uint8_t>*) {
  if (in.size() < 8 || U32(in, 0) != devrec::kKindTask) return kInvalidArg;
  return RecordStore(ctx.image(), devrec::kKindTask).Delete(U32(in, 4)) ? 0 : kHrNotFound;
}

}  // namespace

void RegisterTaskStore(ServiceRegistry& services) {
  services.AddBlock("DevCeList", List);
  services.AddBlock("DevCeGet", Get);
  services.AddBlock("DevCeAddTask",
                    [](ServiceContext& c, const std::vector<uint8_t>& in,
                       std::vector<uint8_t>* out) { return Store(c, in, out, devrec::kModeAdd); });
  services.AddBlock("DevCeReplaceTask", [](ServiceContext& c, const std::vector<uint8_t>& in,
                                           std::vector<uint8_t>* out) {
    return Store(c, in, out, devrec::kModeReplace);
  });
  services.AddBlock("DevCeDelete", Delete);
}

}  // namespace wmemu
