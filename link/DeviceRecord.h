// The device record: the packed property record that block-mode DevCe calls exchange with
// the device-side service. This is the one writer and the one reader of that format, kept
// free of COM and Windows types so that the phone emulator links the very same code.
//
// Layout (all integers 32-bit little-endian, every variable-length field padded with zero
// bytes to a multiple of 4, the pad not counted in its length):
//   request: kind, [entry id, replace requests only], count, properties
//   reply:   one leading word (ignored by the reader), then properties up to the end
//   property: nameLength (counts the NUL), name bytes, pad, valueLength, value bytes, pad
//
// The property's type is not on the wire: both sides look it up by record kind and name.
// The component's in-memory forms (property list, property map) are in DeviceRecordWM.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace devrec {

// Property type codes.
enum PropType : uint32_t {
  kTypeNone = 0,     // name not in the table of its kind
  kTypeString = 1,   // UTF-8, NUL-terminated, valueLength counts the NUL
  kTypeDate = 2,     // 8 bytes: an OLE automation date (double)
  kTypeInteger = 3,  // 4 bytes
  kTypeBoolean = 4,  // 2 bytes (true is 0xFFFF)
  kTypeBinary = 5,   // raw bytes
};

// Record kinds.
enum RecordKind : uint32_t {
  kKindContact = 1,
  kKindAppointment = 2,
  kKindTask = 3,
  kKindMessage = 4,
  kKindMmsMessage = 5,
  kKindSimContact = 6,
  kKindSimMessage = 7,
};

// Request modes: 0 builds (kind, count, ...), 1 builds (kind, entry id, count, ...).
enum RecordMode : int { kModeAdd = 0, kModeReplace = 1 };

inline constexpr size_t kNameSlot = 50;  // bytes per name in the type tables
inline constexpr size_t kMaxNameLength = kNameSlot - 1;
// The reader's name buffer: 260 bytes, NUL included. Longer names are passed over.
inline constexpr size_t kMaxReadNameLength = 259;

struct PropertySlot {
  char name[kNameSlot];
  uint32_t type;
};

// The type table of a record kind (empty for unknown kinds), in table order.
std::span<const PropertySlot> PropertyTable(uint32_t kind);

// A name of a kind's table: its type, and its name field as it goes on the wire
// (nameLength, the name, its NUL, the zero pad), ready to be copied whole.
inline constexpr size_t kMaxNameField = 4 + kNameSlot + 2;
struct NameField {
  uint32_t kind = 0;
  uint32_t type = kTypeNone;
  uint32_t length = 0;  // the name's bytes, without the NUL
  uint32_t size = 0;    // the field's bytes: 4 + nameLength + pad, at most kMaxNameField
  uint8_t wire[kMaxNameField] = {};  // the field, then zeros
  uint64_t head = 0, tail = 0;       // the name's first and last words, as the lookup reads them
};

// The entry of `name` (`length` bytes) in the table of `kind`; null when absent. The name
// needs no NUL.
const NameField* FindName(uint32_t kind, const char* name, size_t length);
// FindName for a NUL-terminated name, through a small cache keyed by the name's address:
// callers mostly pass the same literals record after record, and a cached entry only needs
// checking against the name's bytes. *length receives strlen(name).
const NameField* FindNameAt(uint32_t kind, const char* name, size_t* length);

// The general lookup: the type of `name` in the table of `kind`, 0 when absent.
uint32_t LookupType(uint32_t kind, std::string_view name);
// The task-only lookup: the kind 3 table; 0 for every other kind.
uint32_t LookupTaskType(uint32_t kind, std::string_view name);
// A lookup that knows no name (0 for all): for walks that want the lengths and bytes only.
uint32_t LookupNone(uint32_t kind, std::string_view name);

// The zero pad that follows a field of `length` bytes.
inline constexpr uint32_t PadOf(uint32_t length) { return (4 - length % 4) % 4; }

// ---- Writer ---------------------------------------------------------------------------------

// Bytes one property takes on the wire. nameLength counts the NUL.
size_t PropertyWireSize(uint32_t nameLength, uint32_t valueLength);

// Writes one property at dst: nameLength, `nameLength` bytes of name (the caller's buffer
// holds the NUL), zero pad, valueLength, value (valueLength bytes; null writes zeros), zero
// pad. Returns the bytes written (PropertyWireSize). dst must have room for them.
size_t WriteProperty(uint8_t* dst, const char* name, uint32_t nameLength, const uint8_t* value,
                     uint32_t valueLength);

// Appends one property to `out`, its value in the form of its type: a string up to its
// first NUL and then one NUL; a date, an integer or a boolean cut to its fixed size; a value
// too short for its type, a binary and a value of type 0 as they are.
void AppendProperty(std::vector<uint8_t>* out, std::string_view name, uint32_t type,
                    std::span<const uint8_t> value);

// Header of a request: 8 bytes in mode 0, 12 in mode 1.
inline constexpr size_t RequestHeaderSize(int mode) { return mode == kModeReplace ? 12 : 8; }
size_t WriteRequestHeader(uint8_t* dst, uint32_t kind, int mode, uint32_t entryId, uint32_t count);

// A property to write: its name and the value bytes as they go on the wire (for strings the
// UTF-8 text and its NUL). The helpers build the wire form of each type.
struct Property {
  std::string name;
  std::vector<uint8_t> value;

  static Property String(std::string name, std::string_view utf8);
  static Property Date(std::string name, double oleDate);
  static Property Integer(std::string name, int32_t v);
  static Property Boolean(std::string name, uint16_t v);
  static Property Binary(std::string name, std::vector<uint8_t> bytes);
};

// A whole request record; count is props.size().
std::vector<uint8_t> EncodeRequest(uint32_t kind, int mode, uint32_t entryId,
                                   const std::vector<Property>& props);
// A whole reply record: the leading word, then the properties.
std::vector<uint8_t> EncodeReply(uint32_t firstWord, const std::vector<Property>& props);

// ---- Reader ---------------------------------------------------------------------------------

// One property read from a record. `value` holds the valueLength bytes as they came.
struct RawEntry {
  std::string name;
  uint32_t type = kTypeNone;
  std::vector<uint8_t> value;
};

// The same property as views into the record's bytes (valid while they are).
struct EntryView {
  std::string_view name;
  uint32_t type = kTypeNone;
  std::span<const uint8_t> value;
};

using TypeLookup = uint32_t (*)(uint32_t kind, std::string_view name);

// Why a read failed; kOk when it did not.
enum class ReadError {
  kOk,
  kTruncated,     // a length or a field runs past the end
  kEmptyName,     // nameLength 0
  kUnterminated,  // no NUL within nameLength
  kNameTooLong,   // more than 259 bytes: that property alone is passed over
  kShortValue,    // no longer raised: a short fixed-size value is kept and reads as missing
};

// Reads one property at `offset` of data[0, size): on success stores it in *out (the name up
// to its NUL, the type from lookup(kind, name)) and advances *offset past the value's pad (a
// missing pad at the very end of the data is tolerated). Never reads outside the data.
// kNameTooLong also advances *offset: the property is passed over and the next one can be
// read. The other errors leave *offset where it was.
ReadError ReadProperty(const uint8_t* data, size_t size, size_t* offset, uint32_t kind,
                       TypeLookup lookup, RawEntry* out);

// ReadProperty without copies: the name and value are views into data.
ReadError ReadPropertyView(const uint8_t* data, size_t size, size_t* offset, uint32_t kind,
                           TypeLookup lookup, EntryView* out);

// Walks a reply: skips the leading word, then reads properties up to the end. A reply of 4
// bytes or less has none. Properties whose names are too long to read are passed over; a
// reply whose lengths do not hold together fails, and *out then holds the properties read
// before the fault.
ReadError ReadReply(const uint8_t* data, size_t size, uint32_t kind, TypeLookup lookup,
                    std::vector<RawEntry>* out);
inline ReadError ReadReply(const uint8_t* data, size_t size, uint32_t kind,
                           std::vector<RawEntry>* out) {
  return ReadReply(data, size, kind, LookupType, out);
}

// A request as the device-side service reads it.
struct Request {
  uint32_t kind = 0;
  uint32_t entryId = 0;  // mode 1 only
  uint32_t count = 0;
  std::vector<RawEntry> properties;  // `count` of them
};
// Reads a request of the given mode: the header, then `count` properties. Bytes after them
// are ignored.
ReadError ReadRequest(const uint8_t* data, size_t size, int mode, Request* out);

const char* ReadErrorText(ReadError e);

// The number of properties, back to back from data[0], that read whole (a reply's properties
// after its leading word).
uint32_t CountProperties(std::span<const uint8_t> props);

// Typed views of a raw value (little-endian); false when the bytes are too few.
bool ValueAsDate(const RawEntry& e, double* out);
bool ValueAsInteger(const RawEntry& e, int32_t* out);
bool ValueAsBoolean(const RawEntry& e, uint16_t* out);
// The string up to its NUL (or the whole value when it has none).
std::string ValueAsString(const RawEntry& e);

}  // namespace devrec
