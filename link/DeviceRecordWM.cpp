#include "link/DeviceRecordWM.h"

#include <cstring>
#include <utility>

#include "core/Errors.h"

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

namespace {

size_t WideLength(const WCHAR* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

}  // namespace

// ---- Property list -----------------------------------------------------------------------

PropertyNode* CPropertyList::Append(const char* name) {
  auto node = std::make_unique<PropertyNode>();
  size_t len = std::strlen(name) + 1;
  node->nameLength = static_cast<DWORD>(len);
  node->name = new char[len];
  std::memcpy(node->name, name, len);
  node->namePad = devrec::PadOf(node->nameLength);
  PropertyNode* raw = node.release();
  if (tail_) {
    tail_->next = raw;
  } else {
    head_ = raw;
  }
  tail_ = raw;
  return raw;
}

void CPropertyList::Add(const char* name, const void* value) {
  PropertyNode* node = Append(name);
  DWORD length = 0;
  switch (devrec::LookupType(kind_, name)) {
    case devrec::kTypeString:
      length = static_cast<DWORD>(std::strlen(static_cast<const char*>(value)) + 1);
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
      return;
  }
  node->value = new BYTE[length];
  std::memcpy(node->value, value, length);
  node->valueLength = length;
  node->valuePad = devrec::PadOf(length);
  ++count_;
}

void CPropertyList::RequireType(const char* name, uint32_t type) const {
  if (devrec::LookupType(kind_, name) != type) throw CAtlException(E_INVALIDARG);
}

void CPropertyList::AddString(const char* name, std::u16string_view value) {
  std::u16string text(value);
  std::unique_ptr<char[]> utf8 = WideToUtf8(text.c_str());
  AddUtf8(name, utf8 ? utf8.get() : "");
}

void CPropertyList::AddUtf8(const char* name, const char* utf8) {
  RequireType(name, devrec::kTypeString);
  Add(name, utf8);
}

void CPropertyList::AddDate(const char* name, double value) {
  RequireType(name, devrec::kTypeDate);
  Add(name, &value);
}

void CPropertyList::AddInteger(const char* name, int32_t value) {
  RequireType(name, devrec::kTypeInteger);
  Add(name, &value);
}

void CPropertyList::AddBoolean(const char* name, int16_t value) {
  RequireType(name, devrec::kTypeBoolean);
  Add(name, &value);
}

void CPropertyList::Clear() {
  PropertyNode* n = head_;
  while (n) {
    PropertyNode* next = n->next;
    delete[] n->name;
    delete[] n->value;
    delete n;
    n = next;
  }
  head_ = tail_ = nullptr;
  count_ = 0;
}

LocalBuffer BuildDeviceRecord(const CPropertyList& list, int mode, DWORD entryId, DWORD* size) {
  size_t total = devrec::RequestHeaderSize(mode);
  for (const PropertyNode* n = list.head(); n; n = n->next)
    total += devrec::PropertyWireSize(n->nameLength, n->valueLength);
  LocalBuffer buf(static_cast<BYTE*>(LocalAlloc(LMEM_ZEROINIT, total)));
  if (!buf) throw CAtlException(E_OUTOFMEMORY);
  BYTE* p = buf.get() + devrec::WriteRequestHeader(buf.get(), list.kind(), mode, entryId, list.count());
  for (const PropertyNode* n = list.head(); n; n = n->next)
    p += devrec::WriteProperty(p, n->name, n->nameLength, n->value, n->valueLength);
  *size = static_cast<DWORD>(total);
  return buf;
}

// ---- Property map ------------------------------------------------------------------------

DeviceProperty::DeviceProperty(DeviceProperty&& o) noexcept
    : nameLength(o.nameLength),
      name(std::exchange(o.name, nullptr)),
      valueLength(o.valueLength),
      type(o.type),
      hasValue(std::exchange(o.hasValue, false)) {
  std::memcpy(&dateVal, &o.dateVal, sizeof dateVal);  // the union's eight bytes, any member
  o.binaryVal = nullptr;
}

DeviceProperty& DeviceProperty::operator=(DeviceProperty&& o) noexcept {
  if (this != &o) {
    Free();
    nameLength = o.nameLength;
    name = std::exchange(o.name, nullptr);
    valueLength = o.valueLength;
    type = o.type;
    hasValue = std::exchange(o.hasValue, false);
    std::memcpy(&dateVal, &o.dateVal, sizeof dateVal);
    o.binaryVal = nullptr;
  }
  return *this;
}

void DeviceProperty::Free() {
  SysFreeString(std::exchange(name, nullptr));
  if (hasValue) {
    if (type == devrec::kTypeString) SysFreeString(bstrVal);
    if (type == devrec::kTypeBinary && binaryVal) LocalFree(binaryVal);
  }
  hasValue = false;
  binaryVal = nullptr;
}

const DeviceProperty* CPropertyMap::Find(std::u16string_view name) const {
  auto it = map_.find(std::u16string(name));
  return it == map_.end() ? nullptr : &it->second;
}

bool CPropertyMap::GetString(std::u16string_view name, std::u16string* out) const {
  const DeviceProperty* p = Find(name);
  if (!p || p->type != devrec::kTypeString || !p->hasValue) return false;
  *out = p->bstrVal ? std::u16string(p->bstrVal, SysStringLen(p->bstrVal)) : std::u16string();
  return true;
}

bool CPropertyMap::GetDate(std::u16string_view name, double* out) const {
  const DeviceProperty* p = Find(name);
  if (!p || p->type != devrec::kTypeDate || !p->hasValue) return false;
  *out = p->dateVal;
  return true;
}

bool CPropertyMap::GetInteger(std::u16string_view name, int32_t* out) const {
  const DeviceProperty* p = Find(name);
  if (!p || p->type != devrec::kTypeInteger || !p->hasValue) return false;
  *out = p->intVal;
  return true;
}

bool CPropertyMap::GetBoolean(std::u16string_view name, int16_t* out) const {
  const DeviceProperty* p = Find(name);
  if (!p || p->type != devrec::kTypeBoolean || !p->hasValue) return false;
  *out = p->boolVal;
  return true;
}

void CPropertyMap::Put(std::u16string key, DeviceProperty value) {
  map_.insert_or_assign(std::move(key), std::move(value));
}

namespace {

// Turns the raw entries of a reply into map entries; binaries are copied only when asked.
// A name that is not valid UTF-8 cannot be any name a table looks up: that property is
// passed over and the others are kept. A date, integer or boolean shorter than its type is
// kept without a value (it reads as missing). Returns false (and adds nothing) when memory
// runs out.
bool Store(std::vector<devrec::RawEntry>& entries, bool copyBinary, CPropertyMap* map) {
  std::vector<std::pair<std::u16string, DeviceProperty>> decoded;
  decoded.reserve(entries.size());
  for (devrec::RawEntry& e : entries) {
    std::unique_ptr<WCHAR[]> wname = Utf8ToWide(e.name.c_str());
    if (!wname) continue;
    DeviceProperty p;
    p.nameLength = static_cast<ULONG>(WideLength(wname.get()));
    p.name = SysAllocString(wname.get());
    p.valueLength = static_cast<ULONG>(e.value.size());
    p.type = e.type;
    switch (e.type) {
      case devrec::kTypeString: {
        std::unique_ptr<WCHAR[]> text = Utf8ToWide(devrec::ValueAsString(e).c_str());
        p.bstrVal = text ? SysAllocString(text.get()) : nullptr;
        p.valueLength = text ? static_cast<ULONG>(WideLength(text.get())) : 0;
        p.hasValue = true;
        break;
      }
      case devrec::kTypeDate:
        p.hasValue = devrec::ValueAsDate(e, &p.dateVal);
        break;
      case devrec::kTypeInteger:
        p.hasValue = devrec::ValueAsInteger(e, &p.intVal);
        break;
      case devrec::kTypeBoolean: {
        uint16_t b = 0;
        p.hasValue = devrec::ValueAsBoolean(e, &b);
        p.boolVal = static_cast<int16_t>(b);
        break;
      }
      case devrec::kTypeBinary:
        if (copyBinary) {
          p.binaryVal = nullptr;
          if (!e.value.empty()) {
            p.binaryVal = static_cast<BYTE*>(LocalAlloc(LMEM_ZEROINIT, e.value.size()));
            if (!p.binaryVal) return false;
            std::memcpy(p.binaryVal, e.value.data(), e.value.size());
          }
          p.hasValue = true;
        }
        break;
      default:
        break;  // a name the table does not know: kept, without a value
    }
    decoded.emplace_back(std::u16string(wname.get()), std::move(p));
  }
  for (auto& [key, value] : decoded) map->Put(std::move(key), std::move(value));
  return true;
}

}  // namespace

int DecodeDeviceRecord(DWORD kind, const BYTE* reply, DWORD size, CPropertyMap* map) {
  if (size == 0) return kDecodeEmpty;
  std::vector<devrec::RawEntry> entries;
  if (devrec::ReadReply(reply, size, kind, devrec::LookupType, &entries) != devrec::ReadError::kOk)
    return kDecodeMalformed;
  return Store(entries, true, map) ? kDecodeOk : kDecodeMalformed;
}

int DecodeTaskRecord(DWORD kind, const BYTE* reply, DWORD size, CPropertyMap* map) {
  if (size == 0) return kDecodeEmpty;
  if (kind == devrec::kKindContact || kind == devrec::kKindAppointment) return kDecodeOk;
  if (kind != devrec::kKindTask) return kDecodeWrongKind;
  std::vector<devrec::RawEntry> entries;
  if (devrec::ReadReply(reply, size, kind, devrec::LookupTaskType, &entries) !=
      devrec::ReadError::kOk)
    return kDecodeMalformed;
  return Store(entries, false, map) ? kDecodeOk : kDecodeMalformed;
}

}  // namespace qwb
