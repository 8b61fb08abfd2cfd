// The component's device record decoder (DecodeDeviceRecord, DecodeTaskRecord): the one that
// fills the property map every table reads, with its own walk, name index and reuse of the
// entries of earlier records. The plain reader (devrec::ReadReply) is the reference: for any
// bytes as a reply of any kind (first byte), the map holds exactly what the reference reads
// (last value of a repeated name, names not UTF-8 passed over, short fixed-size values
// without a value), a malformed reply adds nothing, and the same map cleared and reused for
// the record, for its properties in another order and for part of them gives the same as a
// fresh map. Reading on top of what a map holds replaces values of the same names.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/Check.h"
#include "link/DeviceRecordWM.h"
#include "platform/util/Utf.h"

namespace {

using fuzzsupport::Check;

// What one property should read as.
struct Expected {
  std::u16string name;
  uint32_t type = 0;
  ULONG valueLength = 0;
  qwb::DeviceProperty::Value value;
};

using Model = std::vector<Expected>;

// The reference's entries applied to a model in order, the way the map states it: a later
// property of a name replaces the earlier one.
void Apply(const std::vector<devrec::RawEntry>& entries, bool copyBinary, Model* model) {
  for (const devrec::RawEntry& e : entries) {
    std::u16string name;
    if (!utf::Utf8ToUtf16(e.name, &name, true)) continue;
    Expected x{name, e.type, static_cast<ULONG>(e.value.size()), std::monostate{}};
    switch (e.type) {
      case devrec::kTypeString: {
        const auto* text = reinterpret_cast<const char*>(e.value.data());
        const void* nul = e.value.empty() ? nullptr : std::memchr(text, 0, e.value.size());
        const size_t n = nul ? static_cast<const char*>(nul) - text : e.value.size();
        std::u16string s;
        if (!utf::Utf8ToUtf16(std::string_view(text, n), &s, true)) s.clear();
        x.valueLength = static_cast<ULONG>(s.size());
        x.value = std::move(s);
        break;
      }
      case devrec::kTypeDate:
        if (e.value.size() >= 8) {
          double d;
          std::memcpy(&d, e.value.data(), 8);
          x.value = d;
        }
        break;
      case devrec::kTypeInteger:
        if (e.value.size() >= 4) {
          int32_t i;
          std::memcpy(&i, e.value.data(), 4);
          x.value = i;
        }
        break;
      case devrec::kTypeBoolean:
        if (e.value.size() >= 2) {
          int16_t b;
          std::memcpy(&b, e.value.data(), 2);
          x.value = b;
        }
        break;
      case devrec::kTypeBinary:
        if (copyBinary) x.value = e.value;
        break;
      default:
        break;
    }
    bool replaced = false;
    for (Expected& have : *model) {
      if (have.name == x.name) {
        have = x;
        replaced = true;
        break;
      }
    }
    if (!replaced) model->push_back(std::move(x));
  }
}

bool SameBits(const qwb::DeviceProperty::Value& a, const qwb::DeviceProperty::Value& b) {
  if (a.index() != b.index()) return false;
  // Dates compare by their bits: a NaN from the phone is a value like any other.
  if (const double* d = std::get_if<double>(&a)) return std::memcmp(d, &std::get<double>(b), 8) == 0;
  return a == b;
}

void CheckMap(const qwb::CPropertyMap& map, const Model& model) {
  Check(map.size() == model.size());
  for (const Expected& x : model) {
    const qwb::DeviceProperty* p = map.Find(x.name);
    Check(p != nullptr);
    Check(p->name == x.name && p->type == x.type && p->valueLength == x.valueLength);
    Check(SameBits(p->value, x.value));
  }
}

struct Decoder {
  int (*decode)(DWORD, const BYTE*, DWORD, qwb::CPropertyMap*);
  devrec::TypeLookup lookup;
  bool copyBinary;
};

// Decodes `record` into `map` (holding what `model` says) and checks the result; the model
// follows the map.
void DecodeAndCheck(const Decoder& d, uint32_t kind, const std::vector<uint8_t>& record,
                    qwb::CPropertyMap* map, Model* model) {
  const int rc = d.decode(kind, record.empty() ? nullptr : record.data(),
                          static_cast<DWORD>(record.size()), map);
  if (record.empty()) {
    Check(rc == qwb::kDecodeEmpty);
  } else {
    std::vector<devrec::RawEntry> entries;
    const bool ok = devrec::ReadReply(record.data(), record.size(), kind, d.lookup, &entries) ==
                    devrec::ReadError::kOk;
    Check(rc == (ok ? qwb::kDecodeOk : qwb::kDecodeMalformed));
    if (ok) Apply(entries, d.copyBinary, model);
  }
  CheckMap(*map, *model);
}

// The reference's properties of `record` from `first`, `count` of them, in reverse order
// when asked, written again as a reply.
std::vector<uint8_t> Rewritten(const std::vector<devrec::RawEntry>& entries, size_t first,
                               size_t count, bool reverse) {
  std::vector<devrec::Property> props;
  for (size_t i = first; i < first + count && i < entries.size(); ++i)
    props.push_back({entries[i].name, entries[i].value});
  if (reverse) std::reverse(props.begin(), props.end());
  return devrec::EncodeReply(0, props);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint32_t kind = data[0] % 9;  // 0 and 8 are kinds without a table
  // The record goes into a buffer of its own size, so that ASan sees any overrun.
  const std::vector<uint8_t> record(data + 1, data + size);

  const Decoder general{&qwb::DecodeDeviceRecord, &devrec::LookupType, true};
  const Decoder task{&qwb::DecodeTaskRecord, &devrec::LookupTaskType, false};
  std::vector<Decoder> decoders{general};
  if (kind == devrec::kKindTask) decoders.push_back(task);

  for (const Decoder& d : decoders) {
    qwb::CPropertyMap map;
    Model model;
    DecodeAndCheck(d, kind, record, &map, &model);  // one walk into an empty map
    DecodeAndCheck(d, kind, record, &map, &model);  // on top of itself: the same
    map.Clear();
    model.clear();
    DecodeAndCheck(d, kind, record, &map, &model);  // the same shape again: entries reused

    std::vector<devrec::RawEntry> entries;
    if (record.empty() || devrec::ReadReply(record.data(), record.size(), kind, d.lookup,
                                            &entries) != devrec::ReadError::kOk)
      continue;
    // Other shapes into the map the record left: its properties backwards, then the second
    // half of them on top of the first half, then the record again after a shorter one.
    const size_t half = entries.size() / 2;
    for (const std::vector<uint8_t>& other :
         {Rewritten(entries, 0, entries.size(), true), Rewritten(entries, 0, half, false)}) {
      map.Clear();
      model.clear();
      DecodeAndCheck(d, kind, other, &map, &model);
    }
    DecodeAndCheck(d, kind, Rewritten(entries, half, entries.size() - half, false), &map, &model);
    map.Clear();
    model.clear();
    DecodeAndCheck(d, kind, record, &map, &model);
  }
  // The task decoder answers the other kinds without reading them.
  if (kind != devrec::kKindTask && !record.empty()) {
    qwb::CPropertyMap map;
    const int rc = qwb::DecodeTaskRecord(kind, record.data(), static_cast<DWORD>(record.size()),
                                         &map);
    const bool contactOrAppointment =
        kind == devrec::kKindContact || kind == devrec::kKindAppointment;
    Check(rc == (contactOrAppointment ? qwb::kDecodeOk : qwb::kDecodeWrongKind));
    Check(map.empty());
  }
  return 0;
}
