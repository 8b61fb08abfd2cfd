// The component's side of the device record (the wire format itself is in DeviceRecord.h):
// the property list a table fills to build a request, the property map a reply is decoded
// into, and the UTF-8 conversions every record string goes through.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "link/DeviceRecord.h"
#include "wincompat/com.h"
#include "wincompat/scoped.h"
#include "wincompat/winbase.h"

namespace qwb {

// ---- UTF-8 -------------------------------------------------------------------------------

// Wide to UTF-8, NUL-terminated; null on failure (a null input gives null).
std::unique_ptr<char[]> WideToUtf8(const WCHAR* wide);
// UTF-8 (NUL-terminated) to wide; null when the input is not valid UTF-8.
std::unique_ptr<WCHAR[]> Utf8ToWide(const char* utf8);

// ---- Property list (writer side) ---------------------------------------------------------

struct PropertyNode {
  DWORD nameLength = 0;  // strlen(name) + 1
  char* name = nullptr;  // nameLength bytes, NUL included
  DWORD namePad = 0;
  DWORD valueLength = 0;
  BYTE* value = nullptr;  // valueLength bytes (none for names of type 0 and 5)
  DWORD valuePad = 0;
  PropertyNode* next = nullptr;
};

// A count and a singly linked list of property nodes appended at the tail. The table
// operation that builds a request owns it; the nodes go with it.
class CPropertyList {
 public:
  explicit CPropertyList(DWORD kind) : kind_(kind) {}
  ~CPropertyList() { Clear(); }
  CPropertyList(const CPropertyList&) = delete;
  CPropertyList& operator=(const CPropertyList&) = delete;

  // Adds a property: the type comes from the table of the list's kind; `value` points at a
  // NUL-terminated UTF-8 string (type 1), a double (2), a 32-bit integer (3) or a 16-bit
  // boolean (4). A name of type 0 or 5 is appended with an empty value and does not count.
  void Add(const char* name, const void* value);

  // Typed forms of Add. They check the name's type and raise CAtlException(E_INVALIDARG)
  // when it is not the one they write (a mapping error, not a device failure).
  void AddString(const char* name, std::u16string_view value);
  void AddUtf8(const char* name, const char* utf8);
  void AddDate(const char* name, double value);
  void AddInteger(const char* name, int32_t value);
  void AddBoolean(const char* name, int16_t value);

  void Clear();

  DWORD kind() const { return kind_; }
  DWORD count() const { return count_; }
  const PropertyNode* head() const { return head_; }

 private:
  PropertyNode* Append(const char* name);
  void RequireType(const char* name, uint32_t type) const;

  DWORD kind_;
  DWORD count_ = 0;
  PropertyNode* head_ = nullptr;
  PropertyNode* tail_ = nullptr;
};

// Builds the request record of a list: kind, [entry id in mode 1], count, every node in list
// order, in a zero-filled LocalAlloc buffer as the block invocation sends it. Raises
// CAtlException(E_OUTOFMEMORY) when allocation fails.
LocalBuffer BuildDeviceRecord(const CPropertyList& list, int mode, DWORD entryId, DWORD* size);

// ---- Property map (reader side) ----------------------------------------------------------

// One decoded property. Owns its BSTRs and its binary buffer.
struct DeviceProperty {
  DeviceProperty() = default;
  DeviceProperty(DeviceProperty&& o) noexcept;
  DeviceProperty& operator=(DeviceProperty&& o) noexcept;
  DeviceProperty(const DeviceProperty&) = delete;
  DeviceProperty& operator=(const DeviceProperty&) = delete;
  ~DeviceProperty() { Free(); }
  void Free();

  ULONG nameLength = 0;  // characters
  BSTR name = nullptr;
  ULONG valueLength = 0;  // characters for strings, bytes otherwise
  ULONG type = devrec::kTypeNone;
  union {
    BSTR bstrVal;               // type 1 (null when the text was not valid UTF-8)
    double dateVal;             // type 2
    int32_t intVal;             // type 3
    int16_t boolVal;            // type 4
    BYTE* binaryVal = nullptr;  // type 5: LocalAlloc'd copy, valueLength bytes
  };
  bool hasValue = false;  // false for type 0 and for binaries the task decoder skips
};

class CPropertyMap {
 public:
  using Map = std::map<std::u16string, DeviceProperty>;

  CPropertyMap() = default;
  CPropertyMap(const CPropertyMap&) = delete;
  CPropertyMap& operator=(const CPropertyMap&) = delete;

  const DeviceProperty* Find(std::u16string_view name) const;
  bool Has(std::u16string_view name) const { return Find(name) != nullptr; }
  // Typed reads; false when the property is missing, has another type or no value.
  bool GetString(std::u16string_view name, std::u16string* out) const;
  bool GetDate(std::u16string_view name, double* out) const;
  bool GetInteger(std::u16string_view name, int32_t* out) const;
  bool GetBoolean(std::u16string_view name, int16_t* out) const;

  void Clear() { map_.clear(); }
  size_t size() const { return map_.size(); }
  bool empty() const { return map_.empty(); }
  Map::const_iterator begin() const { return map_.begin(); }
  Map::const_iterator end() const { return map_.end(); }

  // Stores under the property's wide name; a later property of the same name replaces it.
  void Put(std::u16string key, DeviceProperty value);

 private:
  Map map_;
};

// Decoder results.
inline constexpr int kDecodeOk = 0;
inline constexpr int kDecodeWrongKind = 1;  // the task decoder, for kinds other than 1-3
inline constexpr int kDecodeEmpty = 2;      // a reply of 0 bytes
inline constexpr int kDecodeMalformed = 3;  // lengths or names that do not hold together

// The general decoder: every kind, every type. On success the properties are added to *map;
// a malformed reply adds nothing.
int DecodeDeviceRecord(DWORD kind, const BYTE* reply, DWORD size, CPropertyMap* map);
// The task decoder: 2 for an empty reply, 0 without decoding for kinds 1 and 2, 1 for kinds
// other than 3; kind 3 is decoded with the task-only lookup, binary values skipped.
int DecodeTaskRecord(DWORD kind, const BYTE* reply, DWORD size, CPropertyMap* map);

}  // namespace qwb
