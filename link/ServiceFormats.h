// The small request and reply formats of the device-side service's block calls, besides the
// device record itself (DeviceRecord.h). Each has one writer and one reader here, used by the
// component's device record service and by the emulator's stores alike. All words are 32-bit
// little-endian.
//
//   kind request       kind                          "DevCeList", "DevCeGetLunarList",
//                                                    "DevCePhonebookSIMInfo", ...
//   kind-id request    kind, entry id                "DevCeGet", "DevCeDelete", ...
//   id list reply      count, count entry ids        an empty reply means no entries
//   new-id reply       entry id [, anything]         the add and replace calls
//
// Formats of one table only (message entry lists, SIM records) go beside these, one reader
// and one writer each, named after what they carry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace devrec {

std::vector<uint8_t> EncodeKindRequest(uint32_t kind);
// False when fewer than 4 bytes came; bytes after the kind are ignored.
bool ReadKindRequest(std::span<const uint8_t> in, uint32_t* kind);

struct KindId {
  uint32_t kind = 0;
  uint32_t id = 0;
};
std::vector<uint8_t> EncodeKindIdRequest(uint32_t kind, uint32_t id);
// False when fewer than 8 bytes came.
bool ReadKindIdRequest(std::span<const uint8_t> in, KindId* out);

std::vector<uint8_t> EncodeIdList(std::span<const uint32_t> ids);
// The ids of a list reply, in the device's order. An empty reply is an empty list. A count
// larger than the ids that arrived takes only those (`*complete` tells whether the count held,
// when asked).
void ReadIdList(std::span<const uint8_t> in, std::vector<uint32_t>* ids, bool* complete = nullptr);

std::vector<uint8_t> EncodeNewId(uint32_t id);
// False when the reply is shorter than one word (the phone stored the record but sent no id).
bool ReadNewId(std::span<const uint8_t> in, uint32_t* id);

}  // namespace devrec
