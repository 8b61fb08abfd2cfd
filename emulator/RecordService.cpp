#include "emulator/RecordService.h"

#include <map>
#include <string>

#include "emulator/RecordStore.h"
#include "emulator/ServiceRegistry.h"
#include "link/DeviceRecord.h"
#include "link/ServiceFormats.h"

namespace wmemu {

namespace {

constexpr int32_t kInvalidArg = static_cast<int32_t>(0x80070057u);

enum class Op { kList, kGet, kAdd, kReplace, kRemove };

// The store of `kind` among the kinds that registered this function.
const ServedRecordKind* StoreOf(const std::vector<ServedRecordKind>& kinds, uint32_t kind) {
  for (const ServedRecordKind& s : kinds) {
    if (s.kind == kind) return &s;
  }
  return nullptr;
}

// A date, integer or boolean must carry exactly its size.
bool ValuesFit(const std::vector<devrec::RawEntry>& props) {
  for (const devrec::RawEntry& e : props) {
    size_t need = e.type == devrec::kTypeDate      ? 8
                  : e.type == devrec::kTypeInteger ? 4
                  : e.type == devrec::kTypeBoolean ? 2
                                                   : e.value.size();
    if (e.value.size() != need) return false;
  }
  return true;
}

int32_t Run(Op op, const std::vector<ServedRecordKind>& kinds, ServiceContext& ctx,
            const std::vector<uint8_t>& in, std::vector<uint8_t>* out) {
  switch (op) {
    case Op::kList: {
      uint32_t kind = 0;
      if (!devrec::ReadKindRequest(in, &kind)) return kInvalidArg;
      const ServedRecordKind* kindStore = StoreOf(kinds, kind);
      if (!kindStore) return kInvalidArg;
      *out = devrec::EncodeIdList(RecordStore(ctx.image(), kindStore->store).List());
      return 0;
    }
    case Op::kGet:
    case Op::kRemove: {
      devrec::KindId req;
      if (!devrec::ReadKindIdRequest(in, &req)) return kInvalidArg;
      const ServedRecordKind* kindStore = StoreOf(kinds, req.kind);
      if (!kindStore) return kInvalidArg;
      RecordStore store(ctx.image(), kindStore->store);
      if (op == Op::kRemove) return store.Delete(req.id) ? 0 : kHrNotFound;
      return store.GetReply(req.id, out) ? 0 : kHrNotFound;
    }
    case Op::kAdd:
    case Op::kReplace: {
      const int mode = op == Op::kAdd ? devrec::kModeAdd : devrec::kModeReplace;
      devrec::Request req;
      if (devrec::ReadRequest(in.data(), in.size(), mode, &req) != devrec::ReadError::kOk)
        return kInvalidArg;
      const ServedRecordKind* kindStore = StoreOf(kinds, req.kind);
      if (!kindStore || !ValuesFit(req.properties)) return kInvalidArg;
      if (kindStore->booleansAsVariantBool) {
        for (devrec::RawEntry& e : req.properties) {
          if (e.type == devrec::kTypeBoolean && (e.value[0] || e.value[1]))
            e.value[0] = e.value[1] = 0xFF;
        }
      }
      RecordStore store(ctx.image(), kindStore->store);
      uint32_t id = req.entryId;
      if (mode == devrec::kModeAdd) {
        id = store.Add(req.properties);
      } else if (!store.Replace(id, req.properties)) {
        return kHrNotFound;
      }
      *out = devrec::EncodeNewId(id);
      return 0;
    }
  }
  return kInvalidArg;
}

}  // namespace

void RegisterRecordStores(ServiceRegistry& services, const std::vector<ServedRecordKind>& kinds) {
  // Function name -> operation and the stores that answer it.
  std::map<std::string, std::pair<Op, std::vector<ServedRecordKind>>> functions;
  auto add = [&](const char* name, Op op, const ServedRecordKind& kindStore) {
    if (!name) return;
    auto& entry = functions[name];
    entry.first = op;
    entry.second.push_back(kindStore);
  };
  for (const ServedRecordKind& kindStore : kinds) {
    add(kindStore.list, Op::kList, kindStore);
    add(kindStore.get, Op::kGet, kindStore);
    add(kindStore.add, Op::kAdd, kindStore);
    add(kindStore.replace, Op::kReplace, kindStore);
    add(kindStore.remove, Op::kRemove, kindStore);
  }
  for (auto& [name, entry] : functions) {
    services.AddBlock(name, [op = entry.first, stores = entry.second](
                                ServiceContext& ctx, const std::vector<uint8_t>& in,
                                std::vector<uint8_t>* out) { return Run(op, stores, ctx, in, out); });
  }
}

}  // namespace wmemu
