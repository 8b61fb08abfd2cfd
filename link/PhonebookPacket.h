// The phonebook stream packets: what the phonebook table and the device-side service exchange
// over the stream that "DevCeApplyAllData" opens. This is the one writer and the one reader of
// every packet, free of COM so that the phone emulator links the very same code.
//
// Layout (all integers 32-bit little-endian):
//   request: command, length of the rest (L), L bytes of payload
//   reply:   L, then L bytes; L = 0 after a contact write announces one more word, the
//            device's error code, instead of a body
//
//   command                payload                                       reply body
//   0  add contact         1, 0, count, properties                       entry id
//   1  replace contact     1, entry id, count, properties                entry id
//   2  delete contact      1, entry id                                   (none)
//   3  get contact         1, entry id                                   entry id, word, properties
//   6  list contact ids    1                                             count, count ids
//   7  list categories     (none)                                        word, {id, n, name+NUL, pad}
//   8  add category        8, 0, n, name (UTF-8, no NUL, no pad)         category id
//   9  rename category     8, id, n, name                                category id
//   10 delete category     8, id                                         (none)
//   11 list speed dials    (none)                                        count, count entries
//   12 add speed dial      one 1048-byte entry                           (none)
//   13 replace speed dial  one 1048-byte entry                           (none)
//   14 clear speed dials   an entry, all zero but the contact entry id   (none)
//
// Properties are those of the device record (DeviceRecord.h): nameLength (counts the NUL),
// name, pad, valueLength, value, pad; their types come from the contact table (kind 1).
//
// Speed-dial entry (1048 bytes): number, contact entry id, 0, property identifier of the
// telephone, 8 zero bytes, name (256 UTF-16 units, NUL-terminated), telephone number (256
// UTF-16 units, NUL-terminated).
//
// Readers never read outside the bytes they are given and fail on a length that lies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/DeviceRecord.h"

namespace pbpacket {

enum Command : uint32_t {
  kAddContact = 0,
  kReplaceContact = 1,
  kDeleteContact = 2,
  kGetContact = 3,
  kListContactIds = 6,
  kListCategories = 7,
  kAddCategory = 8,
  kRenameCategory = 9,
  kDeleteCategory = 10,
  kListSpeedDials = 11,
  kAddSpeedDial = 12,
  kReplaceSpeedDial = 13,
  kClearSpeedDials = 14,
};

// The word the category commands carry where the contact commands carry the record kind 1.
inline constexpr uint32_t kCategoryKind = 8;
inline constexpr size_t kRequestHeaderSize = 8;   // command, length
inline constexpr size_t kContactHeaderSize = 20;  // command, length, kind, entry id, count
inline constexpr size_t kSpeedDialEntrySize = 1048;
inline constexpr size_t kSpeedDialTextUnits = 256;  // 512 bytes, NUL included
inline constexpr uint32_t kNoPropertyId = 0xFFFFFFFFu;

// Phone kind codes 0..11 and the device property identifiers of the telephones they stand for
// (0 mobile ... 11 assistant). Outside 0..11: kNoPropertyId, and -1 the other way.
uint32_t PropertyIdOfKind(int kind);
int KindOfPropertyId(uint32_t propertyId);

struct SpeedDialEntry {
  uint32_t number = 0;
  uint32_t entryId = 0;
  uint32_t propertyId = 0;
  std::u16string name;       // at most 255 units are kept
  std::u16string telephone;  // at most 255 units are kept
};

struct Category {
  uint32_t id = 0;
  std::string name;  // UTF-8
};

// A property to put into a contact packet: the name without its NUL and the value bytes as
// they travel (for strings the UTF-8 text and its NUL).
struct PropertyRef {
  std::string_view name;
  const uint8_t* value = nullptr;
  uint32_t valueLength = 0;
};

enum class Error {
  kOk,
  kTruncated,    // fewer bytes than a count, a length or a fixed layout needs
  kBadProperty,  // a property that does not read as one (DeviceRecord's ReadError)
  kBadKind,      // a request whose record kind is not the command's
  kTooLarge,     // a length beyond what a packet may carry
};
const char* ErrorText(Error e);

// The largest payload or reply body either side accepts.
inline constexpr uint32_t kMaxBody = 16u << 20;

// ---- Requests: writer (the component) -----------------------------------------------------

// A request of 32-bit payload words: delete, get and list contacts, list categories, delete
// category, list speed dials.
std::vector<uint8_t> WordsRequest(uint32_t command, std::initializer_list<uint32_t> words);
// Add (8) or rename (9) category: 8, id, name length, the name bytes.
std::vector<uint8_t> CategoryWriteRequest(uint32_t command, uint32_t categoryId,
                                          std::string_view utf8Name);
// Add (12), replace (13) or clear (14) speed dials.
std::vector<uint8_t> SpeedDialRequest(uint32_t command, const SpeedDialEntry& entry);
// Add (0) or replace (1) contact: the 20-byte header and the properties in order.
std::vector<uint8_t> ContactPacket(uint32_t command, uint32_t entryId,
                                   std::span<const PropertyRef> props);

// The 1048 bytes of one entry at dst.
void WriteSpeedDialEntry(uint8_t* dst, const SpeedDialEntry& entry);

// ---- Requests: reader (the device side) ---------------------------------------------------

struct RequestHeader {
  uint32_t command = 0;
  uint32_t length = 0;
};
// The first 8 bytes of a request.
RequestHeader ReadRequestHeader(const uint8_t header[kRequestHeaderSize]);

struct ContactWrite {
  uint32_t entryId = 0;
  std::vector<devrec::RawEntry> properties;
};
// The payload of commands 0 and 1 (after command and length).
Error ReadContactWrite(std::span<const uint8_t> payload, ContactWrite* out);
// `n` words of a fixed payload; extra bytes are ignored.
Error ReadWords(std::span<const uint8_t> payload, size_t n, uint32_t* out);
// The payload of commands 8 and 9.
Error ReadCategoryWrite(std::span<const uint8_t> payload, uint32_t* categoryId, std::string* name);
// One speed-dial entry (payload of 12, 13, 14; one entry of a list).
Error ReadSpeedDialEntry(std::span<const uint8_t> bytes, SpeedDialEntry* out);

// ---- Replies: writer (the device side); each is L followed by the body --------------------

std::vector<uint8_t> IdReply(uint32_t id);  // contact write and category write replies
std::vector<uint8_t> ErrorReply(uint32_t code);  // L = 0, then the error code
std::vector<uint8_t> ContactReply(uint32_t entryId, const std::vector<devrec::Property>& props);
// The same from `count` properties already in their wire form, back to back in `packed` (as
// the phone's store keeps them).
std::vector<uint8_t> ContactReply(uint32_t entryId, uint32_t count, std::span<const uint8_t> packed);
std::vector<uint8_t> EntryIdListReply(const std::vector<uint32_t>& ids);
std::vector<uint8_t> CategoryListReply(const std::vector<Category>& categories);
std::vector<uint8_t> SpeedDialListReply(const std::vector<SpeedDialEntry>& entries);

// ---- Replies: reader (the component), on the body after L ----------------------------------

// The first word of a write reply (contact or category).
Error ReadFirstWord(std::span<const uint8_t> body, uint32_t* out);
// The contact reply: the entry id, then a device record reply (its leading word, properties).
Error ReadContactReply(std::span<const uint8_t> body, uint32_t* entryId,
                       std::vector<devrec::RawEntry>* props);
Error ReadEntryIdList(std::span<const uint8_t> body, std::vector<uint32_t>* ids);
Error ReadCategoryList(std::span<const uint8_t> body, std::vector<Category>* categories);
Error ReadSpeedDialList(std::span<const uint8_t> body, std::vector<SpeedDialEntry>* entries);

}  // namespace pbpacket
