#include "link/ServiceFormats.h"

#include "platform/util/LittleEndian.h"

namespace devrec {

std::vector<uint8_t> EncodeKindRequest(uint32_t kind) {
  std::vector<uint8_t> out;
  le::Append32(&out, kind);
  return out;
}

bool ReadKindRequest(std::span<const uint8_t> in, uint32_t* kind) {
  if (in.size() < 4) return false;
  *kind = le::Get32(in.data());
  return true;
}

std::vector<uint8_t> EncodeKindIdRequest(uint32_t kind, uint32_t id) {
  std::vector<uint8_t> out;
  le::Append32(&out, kind);
  le::Append32(&out, id);
  return out;
}

bool ReadKindIdRequest(std::span<const uint8_t> in, KindId* out) {
  if (in.size() < 8) return false;
  out->kind = le::Get32(in.data());
  out->id = le::Get32(in.data() + 4);
  return true;
}

std::vector<uint8_t> EncodeIdList(std::span<const uint32_t> ids) {
  std::vector<uint8_t> out;
  out.reserve(4 + 4 * ids.size());
  le::Append32(&out, static_cast<uint32_t>(ids.size()));
  for (uint32_t id : ids) le::Append32(&out, id);
  return out;
}

void ReadIdList(std::span<const uint8_t> in, std::vector<uint32_t>* ids, bool* complete) {
  ids->clear();
  if (complete) *complete = true;
  if (in.size() < 4) return;
  uint32_t count = le::Get32(in.data());
  size_t available = (in.size() - 4) / 4;
  if (count > available) {
    if (complete) *complete = false;
    count = static_cast<uint32_t>(available);
  }
  ids->reserve(count);
  for (uint32_t i = 0; i < count; ++i) ids->push_back(le::Get32(in.data() + 4 + 4 * size_t{i}));
}

std::vector<uint8_t> EncodeNewId(uint32_t id) { return EncodeKindRequest(id); }

bool ReadNewId(std::span<const uint8_t> in, uint32_t* id) { return ReadKindRequest(in, id); }

}  // namespace devrec
