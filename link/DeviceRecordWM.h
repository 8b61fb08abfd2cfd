// The component's side of the device record (the wire format itself is in DeviceRecord.h):
// the property list a table fills to build a request, the property map a reply is decoded
// into, and the UTF-8 conversions every record string goes through.
#pragma once

#include <array>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

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

// One property of a list, as views into the list's wire bytes (valid until the list changes).
struct PropertyNode {
  DWORD nameLength = 0;        // strlen(name) + 1
  const char* name = nullptr;  // nameLength bytes, NUL included
  DWORD namePad = 0;
  DWORD valueLength = 0;
  const BYTE* value = nullptr;  // valueLength bytes (none for names of type 0 and 5)
  DWORD valuePad = 0;
  const PropertyNode* next = nullptr;
};

// A count and the properties in the order they were added, each written once, straight into
// its wire form: building the request is then one copy. The table operation that builds a
// request owns it; Clear keeps the buffers for the next record.
class CPropertyList {
 public:
  explicit CPropertyList(DWORD kind) : kind_(kind) {}
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
  // The first of the list's nodes (null when empty); the nodes stay valid until the next
  // Add or Clear.
  const PropertyNode* head() const;
  // The properties' wire bytes, in list order (without the request header).
  std::span<const uint8_t> wire() const { return {wire_.get(), size_}; }

 private:
  // Appends a name of the kind's table, or (field null) a name it does not know, written as
  // it came: `name` then has `nameLength` bytes and a NUL after them. A string value's
  // length (without its NUL) is `textLength` when the caller knows it, else measured.
  static constexpr size_t kMeasure = ~size_t{0};
  void Append(const devrec::NameField* field, const char* name, size_t nameLength,
              const void* value, size_t textLength = kMeasure);
  const devrec::NameField* RequireType(const char* name, uint32_t type) const;
  // Room for `bytes` more past the end of the wire bytes.
  uint8_t* Reserve(size_t bytes) {
    return capacity_ - size_ >= bytes ? wire_.get() + size_ : Grow(bytes);
  }
  uint8_t* Grow(size_t bytes);

  DWORD kind_;
  DWORD count_ = 0;
  // Every property in its wire form, in order; grown by doubling and kept by Clear.
  std::unique_ptr<uint8_t[]> wire_;
  size_t size_ = 0;
  size_t capacity_ = 0;
  mutable std::vector<PropertyNode> nodes_;  // head()'s views
  std::string scratch_;                      // AddString's UTF-8
};

// Builds the request record of a list: kind, [entry id in mode 1], count, every node in list
// order, in a zero-filled LocalAlloc buffer as the block invocation sends it. Raises
// CAtlException(E_OUTOFMEMORY) when allocation fails.
LocalBuffer BuildDeviceRecord(const CPropertyList& list, int mode, DWORD entryId, DWORD* size);

// ---- Property map (reader side) ----------------------------------------------------------

// One decoded property: its name, its type from the kind's table and its value, one of
// text (type 1; empty when the bytes were not valid UTF-8), date (2), integer (3), boolean
// (4) or bytes (5). No value (monostate) for names the table does not know, for a date,
// integer or boolean shorter than its type, and for binaries the task decoder skips.
struct DeviceProperty {
  using Value =
      std::variant<std::monostate, std::u16string, double, int32_t, int16_t, std::vector<uint8_t>>;

  std::u16string name;
  ULONG valueLength = 0;  // characters for strings, bytes otherwise
  ULONG type = devrec::kTypeNone;
  Value value;

  bool hasValue() const { return value.index() != 0; }
  const std::u16string* text() const { return std::get_if<std::u16string>(&value); }
  const double* date() const { return std::get_if<double>(&value); }
  const int32_t* integer() const { return std::get_if<int32_t>(&value); }
  const int16_t* boolean() const { return std::get_if<int16_t>(&value); }
  const std::vector<uint8_t>* bytes() const { return std::get_if<std::vector<uint8_t>>(&value); }
};

// The properties of one record, by name. A map that is cleared and decoded into again keeps
// its entries' buffers, so that reading record after record of the same shape allocates
// nothing once the first is read.
class CPropertyMap {
 public:
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

  void Clear();
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // The entry for `name` (UTF-16), made when there is none; a later property of the same
  // name replaces an earlier one. The caller then sets its type and value. `wireName` is the
  // name as it came in the record: the map keeps it so that the next record of the same
  // shape takes the entry back through Reuse.
  DeviceProperty& Slot(std::u16string_view name, std::string_view wireName = {});

  // Records read one after another into one map mostly share their shape: the same names in
  // the same order. A decoder states the kind and type lookup it reads with (the entries'
  // types come from them), then offers each property's wire name: when the entry that would
  // come next held that name in an earlier record, it is taken back with its name, name hash
  // and type, and returned; null otherwise (the decoder then goes through Slot).
  void BeginShape(DWORD kind, devrec::TypeLookup lookup);
  DeviceProperty* Reuse(std::string_view wireName);

 private:
  static uint32_t Hash(std::u16string_view name);
  static size_t BucketOf(uint32_t hash) { return (hash * 0x9E3779B1u) >> 24; }
  size_t IndexOf(std::u16string_view name, uint32_t hash) const;
  void Index(size_t i);  // enters entry i into the index

  // The first kIndexed entries are found through an open-addressed index (each bucket holds
  // an entry number plus one, 0 when free); any beyond them, by a scan.
  static constexpr size_t kIndexed = 255;
  std::vector<DeviceProperty> entries_;  // [0, size_) in use; the rest kept for reuse
  std::vector<uint32_t> hashes_;         // each entry's name hash
  size_t size_ = 0;
  std::array<uint8_t, 256> buckets_{};
  // Wire names of entries [0, wireValid_): pairwise distinct, each the name of its entry.
  std::vector<std::string> wireNames_;
  size_t wireValid_ = 0;
  DWORD shapeKind_ = 0;
  devrec::TypeLookup shapeLookup_ = nullptr;
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
