#include "emulator/RecordService.h"

#include "emulator/RecordStore.h"
#include "emulator/ServiceRegistry.h"
#include "emulator/TaskStore.h"
#include "link/DeviceRecord.h"

namespace wmemu {

namespace {

uint32_t U32(const std::vector<uint8_t>& in, size_t at) {
  return uint32_t(in[at]) | uint32_t(in[at + 1]) << 8 | uint32_t(in[at + 2]) << 16 |
         uint32_t(in[at + 3]) << 24;
}

void PutU32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(uint8_t(v >> (8 * i)));
}

}  // namespace

uint32_t RequestKind(const std::vector<uint8_t>& in) { return in.size() < 4 ? 0 : U32(in, 0); }

int32_t ListRecords(ServiceContext& ctx, const std::vector<uint8_t>& in, uint32_t kind,
                    uint32_t storeKind, std::vector<uint8_t>* out) {
  if (in.size() < 4 || U32(in, 0) != kind) return kHrInvalidArg;
  std::vector<uint32_t> ids = RecordStore(ctx.image(), storeKind).List();
  PutU32(out, static_cast<uint32_t>(ids.size()));
  for (uint32_t id : ids) PutU32(out, id);
  return 0;
}

int32_t GetRecord(ServiceContext& ctx, const std::vector<uint8_t>& in, uint32_t kind,
                  uint32_t storeKind, std::vector<uint8_t>* out) {
  if (in.size() < 8 || U32(in, 0) != kind) return kHrInvalidArg;
  uint32_t id = U32(in, 4);
  auto props = RecordStore(ctx.image(), storeKind).Get(id);
  if (!props) return kHrNotFound;
  *out = devrec::EncodeReply(id, *props);
  return 0;
}

int32_t StoreRecord(ServiceContext& ctx, const std::vector<uint8_t>& in, int mode, uint32_t kind,
                    uint32_t storeKind, std::vector<uint8_t>* out) {
  devrec::Request req;
  if (devrec::ReadRequest(in.data(), in.size(), mode, &req) != devrec::ReadError::kOk ||
      req.kind != kind)
    return kHrInvalidArg;
  // The phone's stores keep booleans as VARIANT_BOOL: any non-zero value written (the
  // component writes a task's "Complete" as 1) is stored, and read back, as true (0xFFFF).
  for (devrec::RawEntry& e : req.properties) {
    if (e.type == devrec::kTypeBoolean && e.value.size() == 2 && (e.value[0] || e.value[1]))
      e.value[0] = e.value[1] = 0xFF;
  }
  RecordStore store(ctx.image(), storeKind);
  uint32_t id = req.entryId;
  if (mode == devrec::kModeAdd) {
    id = store.Add(req.properties);
  } else if (!store.Replace(id, req.properties)) {
    return kHrNotFound;
  }
  PutU32(out, id);
  return 0;
}

int32_t DeleteRecord(ServiceContext& ctx, const std::vector<uint8_t>& in, uint32_t kind,
                     uint32_t storeKind) {
  if (in.size() < 8 || U32(in, 0) != kind) return kHrInvalidArg;
  return RecordStore(ctx.image(), storeKind).Delete(U32(in, 4)) ? 0 : kHrNotFound;
}

}  // namespace wmemu
