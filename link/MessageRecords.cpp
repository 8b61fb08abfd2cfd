#include "link/MessageRecords.h"

#include <algorithm>
#include <cstring>

#include "platform/util/LittleEndian.h"

namespace devrec {
namespace {

// A wide string inside [p, p + bytes): up to the first NUL or the end of the area.
std::u16string GetWide(const uint8_t* p, size_t bytes) {
  std::u16string s;
  for (size_t i = 0; i + 1 < bytes; i += 2) {
    char16_t c = le::Get16(p + i);
    if (c == 0) break;
    s.push_back(c);
  }
  return s;
}

// False when the text and its NUL do not fit `bytes`; the area is zero already.
bool SetWide(uint8_t* p, size_t bytes, std::u16string_view s) {
  if ((s.size() + 1) * 2 > bytes) return false;
  for (size_t i = 0; i < s.size(); ++i) le::Put16(p + 2 * i, s[i]);
  return true;
}

// The SYSTEMTIME words in field order.
void SetTime(uint8_t* p, const RecordTime& t) {
  const uint16_t w[8] = {t.year, t.month, t.dayOfWeek, t.day,
                         t.hour, t.minute, t.second,   t.milliseconds};
  for (int i = 0; i < 8; ++i) le::Put16(p + 2 * i, w[i]);
}
RecordTime GetTime(const uint8_t* p) {
  RecordTime t;
  uint16_t* w[8] = {&t.year, &t.month,  &t.dayOfWeek, &t.day,
                    &t.hour, &t.minute, &t.second,    &t.milliseconds};
  for (int i = 0; i < 8; ++i) *w[i] = le::Get16(p + 2 * i);
  return t;
}

// Count at `at`; then `each`-byte entries. kTruncated when fewer arrived than counted.
template <class F>
ReadError ReadCounted(const uint8_t* data, size_t size, size_t at, size_t each, F&& take) {
  if (size < at + 4) return size == 0 ? ReadError::kOk : ReadError::kTruncated;
  uint32_t count = le::Get32(data + at);
  size_t off = at + 4;
  for (uint32_t i = 0; i < count; ++i) {
    if (size - off < each) return ReadError::kTruncated;
    take(data + off);
    off += each;
  }
  return ReadError::kOk;
}

constexpr const char* kCapacityNames[kSimCapacityWords] = {
    "nUsed",          "nTotal",        "MaxPBEAddressLength", "MaxPBETextLength",
    "MinPBIndex",     "MaxPBIndex",    "",                    "MaxANRLength",
    "MaxEmailAddrLength", "MaxGroupTagLength", "MaxANRTagLength", "ANRCount",
    "EmailAddrCount", "MaxGroupTag",   "MaxANRTag",           "fHidden",
    "fUid",           "MaxGroupIdCount"};
constexpr size_t kHiddenWord = 15, kUidWord = 16;

}  // namespace

// ---- Stream message record ------------------------------------------------------------------

bool WriteStreamMessage(const StreamMessage& m, std::array<uint8_t, kStreamMessageSize>* out) {
  std::array<uint8_t, kStreamMessageSize> r{};
  SetTime(r.data() + kStreamTimeOffset, m.time);
  if (!SetWide(r.data() + kStreamNumberOffset, kStreamTextOffset - kStreamNumberOffset,
               m.number) ||
      !SetWide(r.data() + kStreamTextOffset, kStreamIdentOffset - kStreamTextOffset, m.text) ||
      !SetWide(r.data() + kStreamIdentOffset, kStreamStateOffset - kStreamIdentOffset,
               m.identifier) ||
      !SetWide(r.data() + kStreamReceiverOffset, kStreamMessageSize - kStreamReceiverOffset,
               m.receiver))
    return false;
  le::Put16(r.data() + kStreamStateOffset, m.state);
  *out = r;
  return true;
}

StreamMessage ReadStreamMessage(const uint8_t* r) {
  StreamMessage m;
  m.time = GetTime(r + kStreamTimeOffset);
  m.number = GetWide(r + kStreamNumberOffset, kStreamTextOffset - kStreamNumberOffset);
  m.text = GetWide(r + kStreamTextOffset, kStreamIdentOffset - kStreamTextOffset);
  m.identifier = GetWide(r + kStreamIdentOffset, kStreamStateOffset - kStreamIdentOffset);
  m.state = le::Get16(r + kStreamStateOffset);
  m.receiver = GetWide(r + kStreamReceiverOffset, kStreamMessageSize - kStreamReceiverOffset);
  return m;
}

std::vector<uint8_t> EncodeStreamMessageList(
    const std::vector<std::array<uint8_t, kStreamMessageSize>>& records) {
  std::vector<uint8_t> out;
  out.reserve(4 + records.size() * kStreamMessageSize);
  le::Append32(&out, static_cast<uint32_t>(records.size()));
  for (const auto& r : records) out.insert(out.end(), r.begin(), r.end());
  return out;
}

// ---- Entry IDs ------------------------------------------------------------------------------

uint32_t EntryId::Suid() const { return le::Get32(bytes.data() + 16); }

EntryId MakeEntryId(const std::array<uint8_t, 16>& prefix, uint32_t id) {
  EntryId e;
  e.length = kEntryIdSize;
  std::memcpy(e.bytes.data(), prefix.data(), 16);
  le::Put32(e.bytes.data() + 16, id);
  return e;
}

std::vector<uint8_t> EncodeEntryIdList(uint32_t head0, uint32_t head1,
                                       const std::vector<EntryId>& ids) {
  std::vector<uint8_t> out;
  le::Append32(&out, head0);
  le::Append32(&out, head1);
  le::Append32(&out, static_cast<uint32_t>(ids.size()));
  for (const EntryId& e : ids) {
    le::Append32(&out, e.length);
    out.insert(out.end(), e.bytes.begin(), e.bytes.begin() + e.length);
    out.resize(out.size() + PadOf(e.length), 0);
  }
  return out;
}

std::vector<uint8_t> EncodeMessageIdList(uint32_t head0, uint32_t head1,
                                         const std::vector<uint32_t>& ids) {
  std::vector<uint8_t> out;
  le::Append32(&out, head0);
  le::Append32(&out, head1);
  le::Append32(&out, static_cast<uint32_t>(ids.size()));
  for (uint32_t id : ids) le::Append32(&out, id);
  return out;
}

ReadError ReadEntryIdList(const uint8_t* data, size_t size, std::vector<EntryId>* out,
                          size_t* skipped) {
  if (skipped) *skipped = 0;
  if (size < 12) return ReadError::kOk;
  uint32_t count = le::Get32(data + 8);
  size_t off = 12;
  for (uint32_t i = 0; i < count; ++i) {
    if (size - off < 4) return ReadError::kTruncated;
    uint32_t len = le::Get32(data + off);
    off += 4;
    if (size - off < len) return ReadError::kTruncated;
    if (len <= kEntryIdSize) {
      EntryId e;
      e.length = len;
      std::memcpy(e.bytes.data(), data + off, len);
      out->push_back(e);
    } else if (skipped) {
      ++*skipped;
    }
    off += len;
    // The pad of the last entry may be missing at the very end.
    off += std::min<size_t>(PadOf(len), size - off);
  }
  return ReadError::kOk;
}

ReadError ReadMessageIdList(const uint8_t* data, size_t size, std::vector<uint32_t>* out) {
  if (size < 12) return ReadError::kOk;
  return ReadCounted(data, size, 8, 4, [&](const uint8_t* p) { out->push_back(le::Get32(p)); });
}

std::vector<uint8_t> EncodeGetByEntryId(uint32_t kind, uint32_t folder, const EntryId& id) {
  std::vector<uint8_t> out;
  le::Append32(&out, kind);
  le::Append32(&out, folder);
  le::Append32(&out, id.length);
  out.insert(out.end(), id.bytes.begin(), id.bytes.begin() + std::min<size_t>(id.length, 20));
  return out;
}

bool ReadGetByEntryId(const uint8_t* data, size_t size, uint32_t* kind, uint32_t* folder,
                      EntryId* id) {
  if (size < 12) return false;
  uint32_t len = le::Get32(data + 8);
  if (len > kEntryIdSize || size - 12 < len) return false;
  *kind = le::Get32(data);
  *folder = le::Get32(data + 4);
  *id = EntryId{};
  id->length = len;
  std::memcpy(id->bytes.data(), data + 12, len);
  return true;
}

// ---- SIM phonebook --------------------------------------------------------------------------

bool WriteSimRecord(const SimRecord& s, std::array<uint8_t, kSimRecordSize>* out) {
  std::array<uint8_t, kSimRecordSize> r{};
  le::Put32(r.data(), s.entryId);
  if (!SetWide(r.data() + kSimNameOffset, kSimNumberOffset - kSimNameOffset, s.name) ||
      !SetWide(r.data() + kSimNumberOffset, kSimNumber2Offset - kSimNumberOffset, s.number) ||
      !SetWide(r.data() + kSimNumber2Offset, kSimEmailOffset - kSimNumber2Offset, s.number2) ||
      !SetWide(r.data() + kSimEmailOffset, kSimRecordSize - kSimEmailOffset, s.email))
    return false;
  *out = r;
  return true;
}

SimRecord ReadSimRecord(const uint8_t* r) {
  SimRecord s;
  s.entryId = le::Get32(r);
  s.name = GetWide(r + kSimNameOffset, kSimNumberOffset - kSimNameOffset);
  s.number = GetWide(r + kSimNumberOffset, kSimNumber2Offset - kSimNumberOffset);
  s.number2 = GetWide(r + kSimNumber2Offset, kSimEmailOffset - kSimNumber2Offset);
  s.email = GetWide(r + kSimEmailOffset, kSimRecordSize - kSimEmailOffset);
  return s;
}

std::vector<uint8_t> EncodeSimRecordList(
    const std::vector<std::array<uint8_t, kSimRecordSize>>& records) {
  std::vector<uint8_t> out;
  le::Append32(&out, static_cast<uint32_t>(records.size()));
  for (const auto& r : records) out.insert(out.end(), r.begin(), r.end());
  return out;
}

ReadError ReadSimRecordList(const uint8_t* data, size_t size, std::vector<SimRecord>* out) {
  return ReadCounted(data, size, 0, kSimRecordSize,
                     [&](const uint8_t* p) { out->push_back(ReadSimRecord(p)); });
}

// ---- SIM capacities -------------------------------------------------------------------------

const char* SimCapacityName(size_t word) {
  return word < kSimCapacityWords ? kCapacityNames[word] : "";
}

void ReadSimCapacities(const std::vector<RawEntry>& props, SimCapacities* out) {
  for (const RawEntry& e : props) {
    for (size_t w = 0; w < kSimCapacityWords; ++w) {
      if (kCapacityNames[w][0] == 0 || e.name != kCapacityNames[w]) continue;
      int32_t v;
      uint16_t b;
      if (w == kHiddenWord || w == kUidWord) {
        if (e.type == kTypeBoolean && ValueAsBoolean(e, &b)) out->words[w] = b == 0xFFFF ? 1 : 0;
      } else if (e.type == kTypeInteger && ValueAsInteger(e, &v)) {
        out->words[w] = static_cast<uint32_t>(v);
      }
    }
  }
}

std::vector<Property> SimCapacityProperties(const SimCapacities& caps) {
  std::vector<Property> props;
  for (size_t w = 0; w < kSimCapacityWords; ++w) {
    if (kCapacityNames[w][0] == 0) continue;
    if (w == kHiddenWord || w == kUidWord)
      props.push_back(Property::Boolean(kCapacityNames[w], caps.words[w] ? 0xFFFF : 0));
    else
      props.push_back(Property::Integer(kCapacityNames[w], static_cast<int32_t>(caps.words[w])));
  }
  return props;
}

}  // namespace devrec
