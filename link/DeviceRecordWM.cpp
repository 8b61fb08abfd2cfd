#include "link/DeviceRecordWM.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/Errors.h"
#include "platform/util/LittleEndian.h"
#include "platform/util/Utf.h"

namespace qwb {

// ---- UTF-8 -------------------------------------------------------------------------------

std::unique_ptr<char[]> WideToUtf8(const WCHAR* wide) {
  if (!wide) return nullptr;
  int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return nullptr;
  std::unique_ptr<char[]> out(new (std::nothrow) char[static_cast<size_t>(n) + 1]());
  if (!out) return nullptr;
  if (WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.get(), n, nullptr, nullptr) <= 0)
    return nullptr;
  out[static_cast<size_t>(n)] = '\0';
  return out;
}

std::unique_ptr<WCHAR[]> Utf8ToWide(const char* utf8) {
  if (!utf8) return nullptr;
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
  if (n <= 0) return nullptr;
  std::unique_ptr<WCHAR[]> out(new (std::nothrow) WCHAR[static_cast<size_t>(n) + 1]());
  if (!out) return nullptr;
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, out.get(), n) <= 0)
    return nullptr;
  out[static_cast<size_t>(n)] = u'\0';
  return out;
}

// ---- Property list -----------------------------------------------------------------------

uint8_t* CPropertyList::Grow(size_t bytes) {
  {
    size_t capacity = std::max<size_t>(capacity_ * 2, 1024);
    while (capacity - size_ < bytes) capacity *= 2;
    std::unique_ptr<uint8_t[]> grown(new uint8_t[capacity]);
    if (size_) std::memcpy(grown.get(), wire_.get(), size_);
    wire_ = std::move(grown);
    capacity_ = capacity;
  }
  return wire_.get() + size_;
}

void CPropertyList::Append(const devrec::NameField* field, const char* name, size_t nameLength,
                           const void* value, size_t textLength) {
  const uint32_t type = field ? field->type : devrec::kTypeNone;
  uint32_t length = 0;
  switch (type) {
    case devrec::kTypeString:
      if (textLength == kMeasure) textLength = std::strlen(static_cast<const char*>(value));
      length = static_cast<uint32_t>(textLength + 1);
      break;
    case devrec::kTypeDate:
      length = 8;
      break;
    case devrec::kTypeInteger:
      length = 4;
      break;
    case devrec::kTypeBoolean:
      length = 2;
      break;
    default:
      // Unknown names and binaries travel as a name alone and are not counted.
      break;
  }
  const uint32_t padded = length + devrec::PadOf(length);
  if (!field) {
    // A name the tables do not know, of any length: the general writer.
    const auto wireLength = static_cast<uint32_t>(nameLength + 1);
    uint8_t* p = Reserve(devrec::PropertyWireSize(wireLength, 0));
    size_ += devrec::WriteProperty(p, name, wireLength, nullptr, 0);
    return;
  }
  // The name's field is copied whole from the table (a fixed-size copy: the room reserved
  // covers it), then the value and its pad.
  uint8_t* p = Reserve(devrec::kMaxNameField + 4 + padded);
  std::memcpy(p, field->wire, devrec::kMaxNameField);
  p += field->size;
  le::Put32(p, length);
  p += 4;
  switch (type) {
    case devrec::kTypeString:
      le::Put32(p + padded - 4, 0);  // the pad (and the last bytes, written over next)
      std::memcpy(p, value, length);
      break;
    case devrec::kTypeDate:
      std::memcpy(p, value, 8);
      break;
    case devrec::kTypeInteger:
      std::memcpy(p, value, 4);
      break;
    case devrec::kTypeBoolean:
      std::memcpy(p, value, 2);
      p[2] = p[3] = 0;
      break;
    default:
      break;
  }
  p += padded;
  size_ = static_cast<size_t>(p - wire_.get());
  if (length) ++count_;
}

void CPropertyList::Add(const char* name, const void* value) {
  size_t n = 0;
  const devrec::NameField* f = devrec::FindNameAt(kind_, name, &n);
  Append(f, name, n, value);
}

const devrec::NameField* CPropertyList::RequireType(const char* name, uint32_t type) const {
  size_t n = 0;
  const devrec::NameField* f = devrec::FindNameAt(kind_, name, &n);
  if (!f || f->type != type) throw CAtlException(E_INVALIDARG);
  return f;
}

void CPropertyList::AddString(const char* name, std::u16string_view value) {
  const devrec::NameField* f = RequireType(name, devrec::kTypeString);
  // The text goes as a C string: it ends at its first NUL.
  value = value.substr(0, value.find(u'\0'));
  utf::Utf16ToUtf8(value, &scratch_, false);
  Append(f, name, f->length, scratch_.c_str(), scratch_.size());
}

void CPropertyList::AddUtf8(const char* name, const char* utf8) {
  const devrec::NameField* f = RequireType(name, devrec::kTypeString);
  Append(f, name, f->length, utf8);
}

void CPropertyList::AddDate(const char* name, double value) {
  const devrec::NameField* f = RequireType(name, devrec::kTypeDate);
  Append(f, name, f->length, &value);
}

void CPropertyList::AddInteger(const char* name, int32_t value) {
  const devrec::NameField* f = RequireType(name, devrec::kTypeInteger);
  Append(f, name, f->length, &value);
}

void CPropertyList::AddBoolean(const char* name, int16_t value) {
  const devrec::NameField* f = RequireType(name, devrec::kTypeBoolean);
  Append(f, name, f->length, &value);
}

void CPropertyList::Clear() {
  size_ = 0;
  nodes_.clear();
  count_ = 0;
}

const PropertyNode* CPropertyList::head() const {
  // The wire bytes describe themselves: the nodes are read back from them.
  nodes_.clear();
  for (size_t at = 0; at < size_;) {
    const uint8_t* p = wire_.get() + at;
    PropertyNode& n = nodes_.emplace_back();
    n.nameLength = le::Get32(p);
    n.name = reinterpret_cast<const char*>(p + 4);
    n.namePad = devrec::PadOf(n.nameLength);
    p += 4 + n.nameLength + n.namePad;
    n.valueLength = le::Get32(p);
    n.value = n.valueLength ? p + 4 : nullptr;
    n.valuePad = devrec::PadOf(n.valueLength);
    at = static_cast<size_t>(p + 4 + n.valueLength + n.valuePad - wire_.get());
  }
  for (size_t i = 0; i + 1 < nodes_.size(); ++i) nodes_[i].next = &nodes_[i + 1];
  if (nodes_.empty()) return nullptr;
  nodes_.back().next = nullptr;
  return nodes_.data();
}

LocalBuffer BuildDeviceRecord(const CPropertyList& list, int mode, DWORD entryId, DWORD* size) {
  const size_t header = devrec::RequestHeaderSize(mode);
  const size_t total = header + list.wire().size();
  LocalBuffer buf(static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, total)));
  if (!buf) throw CAtlException(E_OUTOFMEMORY);
  devrec::WriteRequestHeader(buf.get(), list.kind(), mode, entryId, list.count());
  if (!list.wire().empty()) std::memcpy(buf.get() + header, list.wire().data(), list.wire().size());
  *size = static_cast<DWORD>(total);
  return buf;
}

// ---- Property map ------------------------------------------------------------------------

uint32_t CPropertyMap::Hash(std::u16string_view name) {
  // The length and three units: cheap, and enough to tell a record's names apart before the
  // names themselves are compared.
  if (name.empty()) return 0;
  return static_cast<uint32_t>(name.size()) ^ (uint32_t{name[0]} << 8) ^
         (uint32_t{name[name.size() / 2]} << 16) ^ (uint32_t{name.back()} << 21);
}

void CPropertyMap::Clear() {
  if (size_ == 0) return;
  buckets_.fill(0);
  size_ = 0;
}

size_t CPropertyMap::IndexOf(std::u16string_view name, uint32_t hash) const {
  for (size_t b = BucketOf(hash); buckets_[b]; b = (b + 1) % buckets_.size()) {
    const size_t i = buckets_[b] - 1u;
    if (hashes_[i] == hash && entries_[i].name == name) return i;
  }
  for (size_t i = kIndexed; i < size_; ++i) {
    if (hashes_[i] == hash && entries_[i].name == name) return i;
  }
  return size_;
}

const DeviceProperty* CPropertyMap::Find(std::u16string_view name) const {
  size_t i = IndexOf(name, Hash(name));
  return i < size_ ? &entries_[i] : nullptr;
}

void CPropertyMap::Index(size_t i) {
  if (i >= kIndexed) return;
  size_t b = BucketOf(hashes_[i]);
  while (buckets_[b]) b = (b + 1) % buckets_.size();
  buckets_[b] = static_cast<uint8_t>(i + 1);
}

DeviceProperty& CPropertyMap::Slot(std::u16string_view name, std::string_view wireName) {
  const uint32_t hash = Hash(name);
  size_t i = IndexOf(name, hash);
  if (i < size_) return entries_[i];
  if (size_ == entries_.size()) {
    entries_.emplace_back();
    hashes_.push_back(0);
    wireNames_.emplace_back();
  }
  const size_t k = size_;
  DeviceProperty& p = entries_[k];
  hashes_[k] = hash;
  Index(k);
  ++size_;
  p.name.assign(name);
  // Entries [0, k) carry their wire names (taken back or noted in this record), and are
  // distinct from this one; names kept beyond k are dropped, as they may repeat it.
  if (!wireName.empty() && k <= wireValid_) {
    wireNames_[k].assign(wireName);
    wireValid_ = k + 1;
  } else {
    wireValid_ = std::min(wireValid_, k);
  }
  return p;
}

void CPropertyMap::BeginShape(DWORD kind, devrec::TypeLookup lookup) {
  if (kind == shapeKind_ && lookup == shapeLookup_) return;
  shapeKind_ = kind;
  shapeLookup_ = lookup;
  wireValid_ = 0;
}

DeviceProperty* CPropertyMap::Reuse(std::string_view wireName) {
  const size_t k = size_;
  if (k >= wireValid_ || wireName.empty() || wireNames_[k] != wireName) return nullptr;
  Index(k);
  ++size_;
  return &entries_[k];
}

bool CPropertyMap::GetString(std::u16string_view name, std::u16string* out) const {
  const DeviceProperty* p = Find(name);
  if (!p || p->type != devrec::kTypeString || !p->text()) return false;
  *out = *p->text();
  return true;
}

bool CPropertyMap::GetDate(std::u16string_view name, double* out) const {
  const DeviceProperty* p = Find(name);
  if (!p || p->type != devrec::kTypeDate || !p->date()) return false;
  *out = *p->date();
  return true;
}

bool CPropertyMap::GetInteger(std::u16string_view name, int32_t* out) const {
  const DeviceProperty* p = Find(name);
  if (!p || p->type != devrec::kTypeInteger || !p->integer()) return false;
  *out = *p->integer();
  return true;
}

bool CPropertyMap::GetBoolean(std::u16string_view name, int16_t* out) const {
  const DeviceProperty* p = Find(name);
  if (!p || p->type != devrec::kTypeBoolean || !p->boolean()) return false;
  *out = *p->boolean();
  return true;
}

namespace {

// The value's variant made to hold a T, keeping the buffer it holds when it already does.
template <class T>
T& Hold(DeviceProperty::Value& v) {
  if (T* t = std::get_if<T>(&v)) return *t;
  return v.emplace<T>();
}

// Widens a property name. Names are ASCII in every table: those are widened in place;
// anything else goes through the strict converter. False when the name is not UTF-8.
bool WidenName(std::string_view name, std::u16string* out) {
  for (char c : name) {
    if (static_cast<unsigned char>(c) >= 0x80) return utf::Utf8ToUtf16(name, out, true);
  }
  out->resize(name.size());
  for (size_t i = 0; i < name.size(); ++i) (*out)[i] = static_cast<char16_t>(name[i]);
  return true;
}

// Reads every property of a reply into the map. A malformed reply adds nothing: into an
// empty map (every listing) the reply is read in one walk and the map emptied again when its
// lengths do not hold together; into a map that holds properties already, the lengths are
// checked in a first walk before anything is stored. A name that
// is not valid UTF-8 cannot be any name a table looks up: that property is passed over and the
// others are kept. A date, integer or boolean shorter than its type is kept without a value
// (it reads as missing). Binaries are copied only when asked.
int Decode(DWORD kind, const BYTE* reply, DWORD size, devrec::TypeLookup lookup, bool copyBinary,
           CPropertyMap* map) {
  devrec::EntryView e;
  const bool oneWalk = map->empty();
  if (size > 4 && !oneWalk) {
    for (size_t offset = 4; offset < size;) {
      devrec::ReadError err = devrec::ReadPropertyView(reply, size, &offset, kind, nullptr, &e);
      if (err != devrec::ReadError::kOk && err != devrec::ReadError::kNameTooLong)
        return kDecodeMalformed;
    }
  }
  if (size <= 4) return kDecodeOk;
  thread_local std::u16string wname;
  map->BeginShape(kind, lookup);
  try {
    for (size_t offset = 4; offset < size;) {
      const devrec::ReadError err =
          devrec::ReadPropertyView(reply, size, &offset, kind, nullptr, &e);
      if (err == devrec::ReadError::kNameTooLong) continue;  // passed over
      if (err != devrec::ReadError::kOk) {
        map->Clear();  // only reached in one walk: the map was empty
        return kDecodeMalformed;
      }
      DeviceProperty* slot = map->Reuse(e.name);
      if (slot) {
        e.type = slot->type;  // typed from this name with this kind and lookup before
      } else {
        if (!WidenName(e.name, &wname)) continue;
        e.type = lookup ? lookup(kind, e.name) : devrec::kTypeNone;
        slot = &map->Slot(wname, e.name);
      }
      DeviceProperty& p = *slot;
      p.type = e.type;
      p.valueLength = static_cast<ULONG>(e.value.size());
      switch (e.type) {
        case devrec::kTypeString: {
          // The text up to its NUL (or the whole value when it has none).
          const char* text = reinterpret_cast<const char*>(e.value.data());
          const void* nul = e.value.empty() ? nullptr : std::memchr(text, 0, e.value.size());
          const size_t n =
              nul ? static_cast<size_t>(static_cast<const char*>(nul) - text) : e.value.size();
          std::u16string& s = Hold<std::u16string>(p.value);
          utf::Utf8ToUtf16(std::string_view(text, n), &s, true);  // invalid: left empty
          p.valueLength = static_cast<ULONG>(s.size());
          break;
        }
        case devrec::kTypeDate:
          if (e.value.size() >= 8) {
            std::memcpy(&Hold<double>(p.value), e.value.data(), 8);
          } else {
            p.value = std::monostate{};
          }
          break;
        case devrec::kTypeInteger:
          if (e.value.size() >= 4) {
            std::memcpy(&Hold<int32_t>(p.value), e.value.data(), 4);
          } else {
            p.value = std::monostate{};
          }
          break;
        case devrec::kTypeBoolean:
          if (e.value.size() >= 2) {
            std::memcpy(&Hold<int16_t>(p.value), e.value.data(), 2);
          } else {
            p.value = std::monostate{};
          }
          break;
        case devrec::kTypeBinary:
          if (copyBinary) {
            Hold<std::vector<uint8_t>>(p.value).assign(e.value.begin(), e.value.end());
          } else {
            p.value = std::monostate{};
          }
          break;
        default:
          p.value = std::monostate{};  // a name the table does not know: kept, without a value
          break;
      }
    }
  } catch (const std::bad_alloc&) {
    if (oneWalk) map->Clear();
    return kDecodeMalformed;
  }
  return kDecodeOk;
}

}  // namespace

int DecodeDeviceRecord(DWORD kind, const BYTE* reply, DWORD size, CPropertyMap* map) {
  if (size == 0) return kDecodeEmpty;
  return Decode(kind, reply, size, devrec::LookupType, true, map);
}

int DecodeTaskRecord(DWORD kind, const BYTE* reply, DWORD size, CPropertyMap* map) {
  if (size == 0) return kDecodeEmpty;
  if (kind == devrec::kKindContact || kind == devrec::kKindAppointment) return kDecodeOk;
  if (kind != devrec::kKindTask) return kDecodeWrongKind;
  return Decode(kind, reply, size, devrec::LookupTaskType, false, map);
}

}  // namespace qwb
