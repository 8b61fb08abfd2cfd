// The block DevCe functions of the record stores, shared by the task and appointment stores.
// A request names its record kind; the records live in the image under a store kind (the
// record kind itself, or a kind of the emulator's own for a second store of the same records,
// such as the lunar appointments).
//
// Replies: list -> count, then count entry ids (count 0 if none); get -> the id, then the
// properties; add -> the new id; replace -> the id (the whole property set is replaced);
// delete -> nothing. A short or malformed request, or one naming another kind, answers
// E_INVALIDARG; an unknown entry id HRESULT_FROM_WIN32(ERROR_NOT_FOUND).
#pragma once

#include <cstdint>
#include <vector>

namespace wmemu {

class ServiceContext;

inline constexpr int32_t kHrInvalidArg = static_cast<int32_t>(0x80070057u);

int32_t ListRecords(ServiceContext& ctx, const std::vector<uint8_t>& in, uint32_t kind,
                    uint32_t storeKind, std::vector<uint8_t>* out);
int32_t GetRecord(ServiceContext& ctx, const std::vector<uint8_t>& in, uint32_t kind,
                  uint32_t storeKind, std::vector<uint8_t>* out);
int32_t StoreRecord(ServiceContext& ctx, const std::vector<uint8_t>& in, int mode, uint32_t kind,
                    uint32_t storeKind, std::vector<uint8_t>* out);
int32_t DeleteRecord(ServiceContext& ctx, const std::vector<uint8_t>& in, uint32_t kind,
                     uint32_t storeKind);

// The record kind a request starts with; 0 when it is shorter than a word.
uint32_t RequestKind(const std::vector<uint8_t>& in);

}  // namespace wmemu
