#include "link/DeviceRecord.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <type_traits>

#include "platform/util/LittleEndian.h"

namespace devrec {
namespace {

// The type tables. A name's slot is 50 bytes; type 1 (string) unless stated.
constexpr PropertySlot kContact[] = {
    {"Birthday", 2},
    {"Anniversary", 2},
    {"BusinessFaxNumber", 1},
    {"CompanyName", 1},
    {"Department", 1},
    {"Email1Address", 1},
    {"MobileTelephoneNumber", 1},
    {"OfficeLocation", 1},
    {"PagerNumber", 1},
    {"BusinessTelephoneNumber", 1},
    {"JobTitle", 1},
    {"HomeTelephoneNumber", 1},
    {"Email2Address", 1},
    {"Spouse", 1},
    {"Email3Address", 1},
    {"Home2TelephoneNumber", 1},
    {"HomeFaxNumber", 1},
    {"CarTelephoneNumber", 1},
    {"AssistantName", 1},
    {"AssistantTelephoneNumber", 1},
    {"Children", 1},
    {"Categories", 1},
    {"WebPage", 1},
    {"Business2TelephoneNumber", 1},
    {"Title", 1},
    {"FirstName", 1},
    {"MiddleName", 1},
    {"LastName", 1},
    {"Suffix", 1},
    {"HomeAddressStreet", 1},
    {"HomeAddressCity", 1},
    {"HomeAddressState", 1},
    {"HomeAddressPostalCode", 1},
    {"HomeAddressCountry", 1},
    {"OtherAddressStreet", 1},
    {"OtherAddressCity", 1},
    {"OtherAddressState", 1},
    {"OtherAddressPostalCode", 1},
    {"OtherAddressCountry", 1},
    {"BusinessAddressStreet", 1},
    {"BusinessAddressCity", 1},
    {"BusinessAddressState", 1},
    {"BusinessAddressPostalCode", 1},
    {"BusinessAddressCountry", 1},
    {"RadioTelephoneNumber", 1},
    {"FileAs", 1},
    {"Body", 1},
    {"YomiCompanyName", 1},
    {"YomiFirstName", 1},
    {"YomiLastName", 1},
    {"AccountName", 1},
    {"CompanyTelephoneNumber", 1},
    {"CustomerId", 1},
    {"GovernmentId", 1},
    {"IM1Address", 1},
    {"IM2Address", 1},
    {"IM3Address", 1},
    {"Mms", 1},
    {"Nickname", 1},
    {"RingTone", 1},
    {"SIMPhone", 1},
    {"SmartProperty", 1},
    {"Sms", 1},
    {"YomiFileAs", 1},
    {"DisplayName", 1},
    {"Manager", 1},
    {"Prefix", 1},
    {"OtherAddress", 1},
    {"HomeAddress", 1},
    {"BusinessAddress", 1},
    {"Picture", 5},
};

constexpr PropertySlot kAppointment[] = {
    {"IsRecurring", 4},
    {"Subject", 1},
    {"Location", 1},
    {"Categories", 1},
    {"Start", 2},
    {"Duration", 3},
    {"End", 2},
    {"AllDayEvent", 4},
    {"ulBusyStatus", 3},
    {"ulSensitivity", 3},
    {"Body", 1},
    {"ReminderSet", 4},
    {"ReminderSoundFile", 1},
    {"ReminderMinutesBeforeStart", 3},
    {"Bias", 3},
    {"RecurrPattern.RecurrenceType", 3},
    {"RecurrPattern.PatternStartDate", 2},
    {"RecurrPattern.StartTime", 2},
    {"RecurrPattern.EndTime", 2},
    {"RecurrPattern.PatternEndDate", 2},
    {"RecurrPattern.NoEndDate", 4},
    {"RecurrPattern.Occurrences", 3},
    {"RecurrPattern.Interval", 3},
    {"RecurrPattern.DayOfWeekMask", 3},
    {"RecurrPattern.DayOfMonth", 3},
    {"RecurrPattern.Instance", 3},
    {"RecurrPattern.Duration", 3},
    {"RecurrPattern.MonthOfYear", 3},
    {"Lunar", 1},
    {"Attendee", 1},
};

constexpr PropertySlot kTask[] = {
    {"IsRecurring", 4},
    {"Subject", 1},
    {"Categories", 1},
    {"StartDate", 2},
    {"DueDate", 2},
    {"Importance", 3},
    {"Complete", 4},
    {"ulSensitivity", 3},
    {"Body", 1},
    {"ReminderSet", 4},
    {"ReminderSoundFile", 1},
    {"ReminderTime", 2},
    {"ReminderOptions", 3},
    {"Bias", 3},
    {"RecurrPattern.RecurrenceType", 3},
    {"RecurrPattern.PatternStartDate", 2},
    {"RecurrPattern.StartTime", 2},
    {"RecurrPattern.EndTime", 2},
    {"RecurrPattern.PatternEndDate", 2},
    {"RecurrPattern.NoEndDate", 4},
    {"RecurrPattern.Occurrences", 3},
    {"RecurrPattern.Interval", 3},
    {"RecurrPattern.DayOfWeekMask", 3},
    {"RecurrPattern.DayOfMonth", 3},
    {"RecurrPattern.Instance", 3},
    {"RecurrPattern.Duration", 3},
    {"RecurrPattern.MonthOfYear", 3},
};

constexpr PropertySlot kMessage[] = {
    {"PR_MESSAGE_CLASS", 1},
    {"PR_SUBJECT", 1},
    {"PR_SUBJECT_PREFIX", 1},
    {"PR_SENDER_NAME", 1},
    {"PR_SENDER_EMAIL_ADDRESS", 1},
    {"PR_MESSAGE_DELIVERY_TIME", 2},
    {"PR_MESSAGE_FLAGS", 3},
    {"PR_MESSAGE_SIZE", 3},
    {"PR_MSG_STATUS", 3},
    {"PR_LAST_MODIFICATION_TIME", 2},
    {"PR_RECIPIENT_TYPE", 3},
    {"PR_DISPLAY_NAME", 1},
    {"PR_EMAIL_ADDRESS", 1},
    {"PR_ORIGINAL_DISPLAY_BCC", 1},
    {"PR_ORIGINAL_DISPLAY_CC", 1},
    {"PR_DISPLAY_BCC", 1},
    {"PR_DISPLAY_CC", 1},
    {"folderId", 3},
    {"ServiceId", 3},
    {"flags", 3},
    {"from", 1},
    {"callback", 1},
    {"callbackName", 1},
    {"to", 1},
    {"body", 1},
    {"modify", 2},
    {"date", 2},
    {"smsId", 3},
    {"protocolId", 3},
    {"pullExpire", 2},
    {"expire", 3},
    {"authRand", 3},
    {"authSx", 3},
    {"url", 1},
    {"title", 1},
    {"msgSize", 3},
    {"mmsSize", 3},
    {"mmsData", 5},
    {"version", 3},
    {"command", 3},
    {"save", 3},
    {"action", 3},
    {"platform", 3},
    {"cpName", 1},
    {"appId", 1},
    {"payload", 1},
};

constexpr PropertySlot kMmsMessage[] = {
    {"PR_MESSAGE_CLASS", 1},        {"PR_SUBJECT", 1},
    {"PR_SUBJECT_PREFIX", 1},       {"PR_SENDER_NAME", 1},
    {"PR_SENDER_EMAIL_ADDRESS", 1}, {"PR_MESSAGE_DELIVERY_TIME", 2},
    {"PR_MESSAGE_FLAGS", 3},        {"PR_MESSAGE_SIZE", 3},
    {"PR_MSG_STATUS", 3},           {"PR_LAST_MODIFICATION_TIME", 2},
    {"PR_RECIPIENT_TYPE", 3},       {"PR_DISPLAY_NAME", 1},
    {"PR_EMAIL_ADDRESS", 1},        {"PR_ORIGINAL_DISPLAY_BCC", 1},
    {"PR_ORIGINAL_DISPLAY_CC", 1},  {"PR_DISPLAY_BCC", 1},
    {"PR_DISPLAY_CC", 1},           {"PR_MMS_BODY", 5},
    {"PR_MESSAGE_SIZE2", 3},
};

constexpr PropertySlot kSimContact[] = {
    {"TelNumber", 1},
    {"Name", 1},
    {"SecondName", 1},
    {"AdditionalNumCount", 3},
    {"AdditionalNum0", 1},
    {"AdditionalNum1", 1},
    {"AdditionalNum2", 1},
    {"AdditionalNum3", 1},
    {"AdditionalNum4", 1},
    {"AdditionalNum5", 1},
    {"EmailCount", 3},
    {"Email0", 1},
    {"Email1", 1},
    {"Email2", 1},
    {"Email3", 1},
    {"Email4", 1},
    {"Email5", 1},
    {"nUsed", 3},
    {"nTotal", 3},
    {"MaxPBEAddressLength", 3},
    {"MaxPBETextLength", 3},
    {"MinPBIndex", 3},
    {"MaxPBIndex", 3},
    {"MaxSNELength", 3},
    {"MaxANRLength", 3},
    {"MaxEmailAddrLength", 3},
    {"MaxGroupTagLength", 3},
    {"MaxANRTagLength", 3},
    {"ANRCount", 3},
    {"EmailAddrCount", 3},
    {"MaxGroupTag", 3},
    {"MaxANRTag", 3},
    {"fHidden", 4},
    {"fUid", 4},
    {"MaxGroupIdCount", 3},
};

constexpr PropertySlot kSimMessage[] = {
    {"nUsed", 3}, {"nTotal", 3}, {"PhoneNumber", 1}, {"Message", 1}, {"ReceiveTime", 2},
};

// The little-endian word of the k (at most 8) bytes at p.
constexpr uint64_t LoadBytes(const char* p, size_t k) {
  if (!std::is_constant_evaluated() && k == 8) {
    uint64_t v;
    std::memcpy(&v, p, 8);  // the hosts we build for are little-endian
    return v;
  }
  if (!std::is_constant_evaluated() && k == 4) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
  uint64_t v = 0;
  for (size_t i = 0; i < k; ++i) v |= uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
  return v;
}

// A name's head and tail words: between them they hold every byte of a name of up to 16
// bytes, so that for those equal words and lengths are equal names.
struct NameKey {
  uint64_t head = 0;
  uint64_t tail = 0;
};
constexpr NameKey KeyOf(const char* s, size_t n) {
  if (n >= 8) return {LoadBytes(s, 8), LoadBytes(s + n - 8, 8)};
  if (n >= 4) return {LoadBytes(s, 4), LoadBytes(s + n - 4, 4)};
  return {LoadBytes(s, n), 0};
}
constexpr uint64_t Mix(NameKey k, size_t n) {
  return (k.head * 0x9E3779B97F4A7C15ull) ^ ((k.tail + n) * 0xC2B2AE3D27D4EB4Full);
}

constexpr size_t kBucketBits = 10;
constexpr size_t kBuckets = size_t{1} << kBucketBits;
constexpr size_t kMaxTable = 80;

// A perfect hash of a type table, found while compiling: every name of the table has a
// bucket of its own, so that a lookup hashes once and compares one candidate. Each entry
// also carries the name's field as it goes on the wire.
struct TableIndex {
  std::span<const PropertySlot> table;
  uint64_t multiplier = 0;
  uint8_t bucket[kBuckets] = {};  // entry number plus one, 0 when free
  NameKey keys[kMaxTable] = {};
  NameField fields[kMaxTable] = {};

  explicit constexpr TableIndex(uint32_t kind, std::span<const PropertySlot> t) : table(t) {
    if (t.size() > kMaxTable) throw "type table too large";
    for (size_t i = 0; i < t.size(); ++i) {
      const std::string_view name(t[i].name);
      if (name.empty() || name.size() > kMaxNameLength) throw "bad name in a type table";
      keys[i] = KeyOf(name.data(), name.size());
      NameField& f = fields[i];
      f.kind = kind;
      f.type = t[i].type;
      f.head = keys[i].head;
      f.tail = keys[i].tail;
      f.length = static_cast<uint32_t>(name.size());
      const uint32_t nameLength = f.length + 1;
      f.size = 4 + nameLength + PadOf(nameLength);
      f.wire[0] = static_cast<uint8_t>(nameLength);  // below 256: the rest of the word is 0
      for (size_t c = 0; c < name.size(); ++c) f.wire[4 + c] = static_cast<uint8_t>(name[c]);
    }
    for (uint64_t seed = 1;; ++seed) {
      if (seed > 100000) throw "no perfect hash for a type table";
      multiplier = (seed * 0xD6E8FEB86659FD93ull) | 1;
      for (uint8_t& b : bucket) b = 0;
      bool clash = false;
      for (size_t i = 0; i < t.size() && !clash; ++i) {
        const size_t b = BucketOf(keys[i], fields[i].length);
        if (bucket[b]) clash = true;
        bucket[b] = static_cast<uint8_t>(i + 1);
      }
      if (!clash) break;
    }
  }
  constexpr size_t BucketOf(NameKey k, size_t n) const {
    return static_cast<size_t>((Mix(k, n) * multiplier) >> (64 - kBucketBits));
  }
  const NameField* Find(const char* name, size_t n) const {
    if (n == 0 || n > kMaxNameLength) return nullptr;
    const NameKey k = KeyOf(name, n);
    const unsigned slot = bucket[BucketOf(k, n)];
    if (!slot) return nullptr;
    const size_t i = slot - 1u;
    if (fields[i].length != n || keys[i].head != k.head || keys[i].tail != k.tail) return nullptr;
    // Beyond 16 bytes the middle is not in the words.
    if (n > 16 && std::memcmp(name + 8, table[i].name + 8, n - 16) != 0) return nullptr;
    return &fields[i];
  }
};

template <class T>
std::vector<uint8_t> LittleEndianBytes(T v) {
  std::vector<uint8_t> out(sizeof(T));
  std::memcpy(out.data(), &v, sizeof(T));  // the hosts we build for are little-endian
  return out;
}

size_t WireSizeOf(const std::vector<Property>& props) {
  size_t n = 0;
  for (const Property& p : props) {
    n += PropertyWireSize(static_cast<uint32_t>(p.name.size() + 1),
                          static_cast<uint32_t>(p.value.size()));
  }
  return n;
}

uint8_t* WriteAll(uint8_t* dst, const std::vector<Property>& props) {
  for (const Property& p : props) {
    dst += WriteProperty(dst, p.name.c_str(), static_cast<uint32_t>(p.name.size() + 1),
                         p.value.data(), static_cast<uint32_t>(p.value.size()));
  }
  return dst;
}

}  // namespace

std::span<const PropertySlot> PropertyTable(uint32_t kind) {
  switch (kind) {
    case kKindContact:
      return kContact;
    case kKindAppointment:
      return kAppointment;
    case kKindTask:
      return kTask;
    case kKindMessage:
      return kMessage;
    case kKindMmsMessage:
      return kMmsMessage;
    case kKindSimContact:
      return kSimContact;
    case kKindSimMessage:
      return kSimMessage;
    default:
      return {};
  }
}

namespace {

// Built while compiling: a lookup pays neither for building nor for a first-use guard.
constexpr TableIndex kIndexes[] = {
    TableIndex(kKindContact, kContact),
    TableIndex(kKindAppointment, kAppointment),
    TableIndex(kKindTask, kTask),
    TableIndex(kKindMessage, kMessage),
    TableIndex(kKindMmsMessage, kMmsMessage),
    TableIndex(kKindSimContact, kSimContact),
    TableIndex(kKindSimMessage, kSimMessage),
};

// The address cache: direct-mapped, shared by every thread. Its entries are a hint only:
// what one gives is checked against the name's bytes, so a stale, overwritten or torn entry
// costs a lookup, never a wrong answer (every field it can hold is a table's).
struct AddressCacheEntry {
  std::atomic<const char*> name{nullptr};
  std::atomic<const NameField*> field{nullptr};
};
constexpr size_t kAddressCacheSize = 256;
AddressCacheEntry g_addressCache[kAddressCacheSize];

inline size_t AddressSlot(const char* name) {
  const auto a = reinterpret_cast<uintptr_t>(name);
  return ((a >> 3) ^ (a >> 11)) % kAddressCacheSize;
}

// The name is that of `f`: the length and the head and tail words, and beyond 16 bytes the
// middle too.
inline bool IsNameOf(const char* name, size_t n, const NameField* f) {
  if (f->length != n) return false;
  const NameKey k = KeyOf(name, n);
  if (k.head != f->head || k.tail != f->tail) return false;
  return n <= 16 || std::memcmp(name + 8, f->wire + 4 + 8, n - 16) == 0;
}

}  // namespace

const NameField* FindName(uint32_t kind, const char* name, size_t length) {
  if (kind < kKindContact || kind > kKindSimMessage) return nullptr;
  return kIndexes[kind - kKindContact].Find(name, length);
}

const NameField* FindNameAt(uint32_t kind, const char* name, size_t* length) {
  const size_t n = std::strlen(name);
  *length = n;
  AddressCacheEntry& e = g_addressCache[AddressSlot(name)];
  const NameField* f = e.field.load(std::memory_order_relaxed);
  if (e.name.load(std::memory_order_relaxed) == name && f && f->kind == kind &&
      IsNameOf(name, n, f))
    return f;
  f = FindName(kind, name, n);
  if (f) {
    e.name.store(name, std::memory_order_relaxed);
    e.field.store(f, std::memory_order_relaxed);
  }
  return f;
}

uint32_t LookupType(uint32_t kind, std::string_view name) {
  const NameField* f = FindName(kind, name.data(), name.size());
  return f ? f->type : kTypeNone;
}

uint32_t LookupTaskType(uint32_t kind, std::string_view name) {
  return kind == kKindTask ? LookupType(kind, name) : kTypeNone;
}

uint32_t LookupNone(uint32_t, std::string_view) { return kTypeNone; }

size_t PropertyWireSize(uint32_t nameLength, uint32_t valueLength) {
  return 4 + size_t{nameLength} + PadOf(nameLength) + 4 + size_t{valueLength} + PadOf(valueLength);
}

size_t WriteProperty(uint8_t* dst, const char* name, uint32_t nameLength, const uint8_t* value,
                     uint32_t valueLength) {
  uint8_t* p = dst;
  le::Put32(p, nameLength);
  p += 4;
  if (nameLength) std::memcpy(p, name, nameLength);
  p += nameLength;
  std::memset(p, 0, PadOf(nameLength));
  p += PadOf(nameLength);
  le::Put32(p, valueLength);
  p += 4;
  if (value && valueLength) {
    std::memcpy(p, value, valueLength);
  } else {
    std::memset(p, 0, valueLength);
  }
  p += valueLength;
  std::memset(p, 0, PadOf(valueLength));
  p += PadOf(valueLength);
  return static_cast<size_t>(p - dst);
}

void AppendProperty(std::vector<uint8_t>* out, std::string_view name, uint32_t type,
                    std::span<const uint8_t> value) {
  size_t length = value.size();
  size_t fixed = 0;
  switch (type) {
    case kTypeString: {
      const void* nul = value.empty() ? nullptr : std::memchr(value.data(), 0, value.size());
      length =
          nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - value.data()) : value.size();
      break;
    }
    case kTypeDate:
      fixed = 8;
      break;
    case kTypeInteger:
      fixed = 4;
      break;
    case kTypeBoolean:
      fixed = 2;
      break;
    default:
      break;
  }
  if (fixed && length >= fixed) length = fixed;
  const auto nameLength = static_cast<uint32_t>(name.size() + 1);
  // A string's NUL is the zero its value's room starts with: WriteProperty copies the text
  // and the bytes after it are zeroed below.
  const auto valueLength = static_cast<uint32_t>(type == kTypeString ? length + 1 : length);
  const size_t at = out->size();
  out->resize(at + PropertyWireSize(nameLength, valueLength));
  uint8_t* p = out->data() + at;
  le::Put32(p, nameLength);
  p += 4;
  if (!name.empty()) std::memcpy(p, name.data(), name.size());
  p += nameLength + PadOf(nameLength);  // the NUL and pad: resize zeroed them
  le::Put32(p, valueLength);
  p += 4;
  if (length) std::memcpy(p, value.data(), length);  // the rest: zeros from resize
}

size_t WriteRequestHeader(uint8_t* dst, uint32_t kind, int mode, uint32_t entryId, uint32_t count) {
  le::Put32(dst, kind);
  if (mode == kModeReplace) {
    le::Put32(dst + 4, entryId);
    le::Put32(dst + 8, count);
    return 12;
  }
  le::Put32(dst + 4, count);
  return 8;
}

Property Property::String(std::string name, std::string_view utf8) {
  Property p{std::move(name), std::vector<uint8_t>(utf8.begin(), utf8.end())};
  p.value.push_back(0);
  return p;
}
Property Property::Date(std::string name, double oleDate) {
  return {std::move(name), LittleEndianBytes(oleDate)};
}
Property Property::Integer(std::string name, int32_t v) {
  return {std::move(name), LittleEndianBytes(v)};
}
Property Property::Boolean(std::string name, uint16_t v) {
  return {std::move(name), LittleEndianBytes(v)};
}
Property Property::Binary(std::string name, std::vector<uint8_t> bytes) {
  return {std::move(name), std::move(bytes)};
}

std::vector<uint8_t> EncodeRequest(uint32_t kind, int mode, uint32_t entryId,
                                   const std::vector<Property>& props) {
  std::vector<uint8_t> out(RequestHeaderSize(mode) + WireSizeOf(props));
  size_t n =
      WriteRequestHeader(out.data(), kind, mode, entryId, static_cast<uint32_t>(props.size()));
  WriteAll(out.data() + n, props);
  return out;
}

std::vector<uint8_t> EncodeReply(uint32_t firstWord, const std::vector<Property>& props) {
  std::vector<uint8_t> out(4 + WireSizeOf(props));
  le::Put32(out.data(), firstWord);
  WriteAll(out.data() + 4, props);
  return out;
}

ReadError ReadPropertyView(const uint8_t* data, size_t size, size_t* offset, uint32_t kind,
                           TypeLookup lookup, EntryView* out) {
  size_t at = *offset;
  uint32_t nameLength = 0;
  if (!le::Take32(data, size, &at, &nameLength)) return ReadError::kTruncated;
  if (nameLength == 0) return ReadError::kEmptyName;
  if (nameLength > size - at) return ReadError::kTruncated;
  const char* name = reinterpret_cast<const char*>(data + at);
  const void* nul = std::memchr(name, 0, nameLength);
  if (!nul) return ReadError::kUnterminated;
  size_t chars = static_cast<size_t>(static_cast<const char*>(nul) - name);
  at += nameLength;
  // The name's pad must be there: a value length follows it.
  if (PadOf(nameLength) > size - at) return ReadError::kTruncated;
  at += PadOf(nameLength);
  uint32_t valueLength = 0;
  if (!le::Take32(data, size, &at, &valueLength)) return ReadError::kTruncated;
  if (valueLength > size - at) return ReadError::kTruncated;
  const uint8_t* value = data + at;
  at += valueLength;
  // The last value's pad carries nothing; a record that ends without it is still whole.
  at = std::min(size, at + PadOf(valueLength));
  *offset = at;
  // Each property stands on its own: a name too long for the reader's name buffer is passed
  // over (the lengths still lead to the next property); a name longer than a type slot but
  // within that buffer is read, as a name the tables do not know (type 0).
  if (chars > kMaxReadNameLength) return ReadError::kNameTooLong;

  out->name = std::string_view(name, chars);
  out->type = lookup ? lookup(kind, out->name) : kTypeNone;
  // A date, integer or boolean shorter than its type keeps its bytes; the typed views refuse
  // it, so that the property reads as one without a value.
  out->value = std::span<const uint8_t>(value, valueLength);
  return ReadError::kOk;
}

ReadError ReadProperty(const uint8_t* data, size_t size, size_t* offset, uint32_t kind,
                       TypeLookup lookup, RawEntry* out) {
  EntryView view;
  ReadError err = ReadPropertyView(data, size, offset, kind, lookup, &view);
  if (err != ReadError::kOk) return err;
  RawEntry e;
  e.name.assign(view.name);
  e.type = view.type;
  e.value.assign(view.value.begin(), view.value.end());
  *out = std::move(e);
  return ReadError::kOk;
}

uint32_t CountProperties(std::span<const uint8_t> props) {
  uint32_t count = 0;
  size_t offset = 0;
  EntryView view;
  while (offset < props.size()) {
    const ReadError e =
        ReadPropertyView(props.data(), props.size(), &offset, kKindContact, LookupNone, &view);
    if (e == ReadError::kOk || e == ReadError::kNameTooLong)
      ++count;
    else
      break;
  }
  return count;
}

ReadError ReadReply(const uint8_t* data, size_t size, uint32_t kind, TypeLookup lookup,
                    std::vector<RawEntry>* out) {
  out->clear();
  if (size <= 4) return ReadError::kOk;
  size_t offset = 4;
  while (offset < size) {
    RawEntry e;
    ReadError err = ReadProperty(data, size, &offset, kind, lookup, &e);
    if (err == ReadError::kNameTooLong) continue;
    if (err != ReadError::kOk) return err;
    out->push_back(std::move(e));
  }
  return ReadError::kOk;
}

ReadError ReadRequest(const uint8_t* data, size_t size, int mode, Request* out) {
  *out = Request{};
  size_t offset = 0;
  if (!le::Take32(data, size, &offset, &out->kind)) return ReadError::kTruncated;
  if (mode == kModeReplace && !le::Take32(data, size, &offset, &out->entryId))
    return ReadError::kTruncated;
  if (!le::Take32(data, size, &offset, &out->count)) return ReadError::kTruncated;
  for (uint32_t i = 0; i < out->count; ++i) {
    RawEntry e;
    ReadError err = ReadProperty(data, size, &offset, out->kind, LookupType, &e);
    if (err == ReadError::kNameTooLong) continue;
    if (err != ReadError::kOk) return err;
    out->properties.push_back(std::move(e));
  }
  return ReadError::kOk;
}

const char* ReadErrorText(ReadError e) {
  switch (e) {
    case ReadError::kOk:
      return "ok";
    case ReadError::kTruncated:
      return "a length runs past the end of the record";
    case ReadError::kEmptyName:
      return "a property name of length 0";
    case ReadError::kUnterminated:
      return "a property name without its NUL";
    case ReadError::kNameTooLong:
      return "a property name longer than 259 bytes (passed over)";
    case ReadError::kShortValue:
      return "a value shorter than its type";
  }
  return "?";
}

bool ValueAsDate(const RawEntry& e, double* out) {
  if (e.value.size() < 8) return false;
  std::memcpy(out, e.value.data(), 8);
  return true;
}
bool ValueAsInteger(const RawEntry& e, int32_t* out) {
  if (e.value.size() < 4) return false;
  std::memcpy(out, e.value.data(), 4);
  return true;
}
bool ValueAsBoolean(const RawEntry& e, uint16_t* out) {
  if (e.value.size() < 2) return false;
  std::memcpy(out, e.value.data(), 2);
  return true;
}
std::string ValueAsString(const RawEntry& e) {
  if (e.value.empty()) return {};
  const char* p = reinterpret_cast<const char*>(e.value.data());
  const void* nul = std::memchr(p, 0, e.value.size());
  size_t n = nul ? static_cast<size_t>(static_cast<const char*>(nul) - p) : e.value.size();
  return std::string(p, n);
}

}  // namespace devrec
