// The phone's record stores as the device-side service serves them: one generic store per
// record kind, declared by a ServedRecordKind that names its block functions. Functions several
// kinds share (the task and appointment stores both answer "DevCeList", "DevCeGet" and
// "DevCeDelete") pick the store by the kind in the request.
//
//   list      kind                  -> count, then count entry ids in ascending order
//   get       kind, id              -> id, then the record's properties
//   add       record, mode 0        -> the new id
//   replace   record, mode 1        -> the id (the whole property set is replaced)
//   remove    kind, id              -> nothing
//
// Failures: a short or malformed request, a kind no declared store serves through that
// function, and a date, integer or boolean whose value is not exactly its size, answer
// E_INVALIDARG; an unknown entry id answers HRESULT_FROM_WIN32(ERROR_NOT_FOUND) = 0x80070490.
#pragma once

#include <cstdint>
#include <vector>

namespace wmemu {

class ServiceRegistry;

inline constexpr int32_t kHrNotFound = static_cast<int32_t>(0x80070490u);

struct ServedRecordKind {
  uint32_t kind = 0;
  // The store's key in the image: the kind itself, or a key of its own for a second store of
  // the same kind (the lunar appointments beside the ordinary ones).
  uint32_t store = 0;
  // Function names; null for a function the store does not have.
  const char* list = nullptr;
  const char* get = nullptr;
  const char* add = nullptr;
  const char* replace = nullptr;
  const char* remove = nullptr;
  // The store keeps booleans as VARIANT_BOOL: any non-zero value written is stored, and read
  // back, as true (0xFFFF).
  bool booleansAsVariantBool = true;
};

// Registers the block functions of every store in `kinds` (each name once).
void RegisterRecordStores(ServiceRegistry& services, const std::vector<ServedRecordKind>& kinds);

}  // namespace wmemu
