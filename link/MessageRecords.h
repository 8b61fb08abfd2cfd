// The fixed-layout records of the message and SIM calls of the device-side service, beside the
// device record: one writer and one reader of each, shared by the component and the phone
// emulator. Like DeviceRecord.h this is free of COM and Windows types.
//
// All integers are little-endian. Wide strings are UTF-16, NUL-terminated inside a fixed area;
// a reader stops at the first NUL or at the end of the area, a writer refuses a text that does
// not fit with its NUL (nothing is cut silently).
//
//   stream message record, 4712 bytes (the stream form of "DevCeMessageList"):
//     0 4 (not read) | 4 SYSTEMTIME 16 (phone's local time) | 62 other party's number |
//     580 text | 1606 identifier text | 2652 state 16-bit | 3688 receiver number | to 4712
//   entry ID: length L (at most 20) and L bytes; the word at bytes 16..19 is the SUID
//   entry-ID list reply: 2 words (not read), count, count x (L, L bytes, zero pad to 4)
//   message-ID list reply: 2 words (not read), count, count x 32-bit message id
//   SIM record, 336 bytes: 0 entry id | 4 name (34) | 38 number (82) | 120 second number (82) |
//     202 e-mail (134)
//   SIM record list reply: count, count x record
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/DeviceRecord.h"

namespace devrec {

// Message folder codes.
enum FolderCode : uint32_t {
  kFolderInbox = 1,
  kFolderDraft = 2,
  kFolderOutbox = 3,
  kFolderSent = 4,
};

// SYSTEMTIME as it sits in a record: eight 16-bit words.
struct RecordTime {
  uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0;
  uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
  bool operator==(const RecordTime&) const = default;
};

// ---- Stream message record ------------------------------------------------------------------

inline constexpr size_t kStreamMessageSize = 4712;
inline constexpr size_t kStreamTimeOffset = 4;
inline constexpr size_t kStreamNumberOffset = 62;
inline constexpr size_t kStreamTextOffset = 580;
inline constexpr size_t kStreamIdentOffset = 1606;
inline constexpr size_t kStreamStateOffset = 2652;
inline constexpr size_t kStreamReceiverOffset = 3688;

// Characters each wide area holds besides its NUL.
inline constexpr size_t kStreamNumberChars = (kStreamTextOffset - kStreamNumberOffset) / 2 - 1;
inline constexpr size_t kStreamTextChars = (kStreamIdentOffset - kStreamTextOffset) / 2 - 1;
inline constexpr size_t kStreamIdentChars = (kStreamStateOffset - kStreamIdentOffset) / 2 - 1;
inline constexpr size_t kStreamReceiverChars =
    (kStreamMessageSize - kStreamReceiverOffset) / 2 - 1;

struct StreamMessage {
  RecordTime time;
  std::u16string number;  // the other party
  std::u16string text;
  std::u16string identifier;
  uint16_t state = 0;
  std::u16string receiver;
  bool operator==(const StreamMessage&) const = default;
};

// False (and *out untouched) when a text does not fit its area.
bool WriteStreamMessage(const StreamMessage& m, std::array<uint8_t, kStreamMessageSize>* out);
// Reads the fields of a 4712-byte record; bytes outside them are not looked at.
StreamMessage ReadStreamMessage(const uint8_t* record);

// ---- Entry IDs ------------------------------------------------------------------------------

inline constexpr size_t kEntryIdSize = 20;

struct EntryId {
  uint32_t length = 0;
  std::array<uint8_t, kEntryIdSize> bytes{};
  // The 32-bit word at bytes 16..19.
  uint32_t Suid() const;
  bool operator==(const EntryId&) const = default;
};

// A full-length entry ID: `prefix` (16 bytes) followed by the 32-bit id.
EntryId MakeEntryId(const std::array<uint8_t, 16>& prefix, uint32_t id);

// The list replies of "DevCeMessageList". `head0` and `head1` fill the two words the
// component does not read.
std::vector<uint8_t> EncodeEntryIdList(uint32_t head0, uint32_t head1,
                                       const std::vector<EntryId>& ids);
std::vector<uint8_t> EncodeMessageIdList(uint32_t head0, uint32_t head1,
                                         const std::vector<uint32_t>& ids);

// Readers. A reply shorter than 12 bytes lists nothing. An entry longer than 20 bytes does
// not fit an entry ID: it is skipped (and counted in *skipped) while the walk goes on past it.
// Entries that run past the reply end the walk with kTruncated; what was read before stays.
ReadError ReadEntryIdList(const uint8_t* data, size_t size, std::vector<EntryId>* out,
                          size_t* skipped = nullptr);
ReadError ReadMessageIdList(const uint8_t* data, size_t size, std::vector<uint32_t>* out);

// The request of "DevCeGetMessage" by entry ID: kind, folder, L, the L bytes (no pad).
std::vector<uint8_t> EncodeGetByEntryId(uint32_t kind, uint32_t folder, const EntryId& id);
// Reads it back; false when the request is short or L is above 20.
bool ReadGetByEntryId(const uint8_t* data, size_t size, uint32_t* kind, uint32_t* folder,
                      EntryId* id);

// ---- Stream form of the message list --------------------------------------------------------

// What the phone sends on the stream after the 8-byte request: the count and the records.
std::vector<uint8_t> EncodeStreamMessageList(
    const std::vector<std::array<uint8_t, kStreamMessageSize>>& records);

// ---- SIM phonebook --------------------------------------------------------------------------

inline constexpr size_t kSimRecordSize = 336;
inline constexpr size_t kSimNameOffset = 4;
inline constexpr size_t kSimNumberOffset = 38;
inline constexpr size_t kSimNumber2Offset = 120;
inline constexpr size_t kSimEmailOffset = 202;
inline constexpr size_t kSimNameChars = (kSimNumberOffset - kSimNameOffset) / 2 - 1;
inline constexpr size_t kSimNumberChars = (kSimNumber2Offset - kSimNumberOffset) / 2 - 1;
inline constexpr size_t kSimEmailChars = (kSimRecordSize - kSimEmailOffset) / 2 - 1;

struct SimRecord {
  uint32_t entryId = 0;
  std::u16string name;
  std::u16string number;
  std::u16string number2;
  std::u16string email;
  bool operator==(const SimRecord&) const = default;
};

bool WriteSimRecord(const SimRecord& r, std::array<uint8_t, kSimRecordSize>* out);
SimRecord ReadSimRecord(const uint8_t* record);

std::vector<uint8_t> EncodeSimRecordList(
    const std::vector<std::array<uint8_t, kSimRecordSize>>& records);
// Count and records as far as they arrived; kTruncated when the count promises more. (The
// position list is the service's common id list, ServiceFormats.h.)
ReadError ReadSimRecordList(const uint8_t* data, size_t size, std::vector<SimRecord>* out);

// ---- SIM capacities -------------------------------------------------------------------------

// The eighteen capacity words of the SIM information reply (record kind 6), in the order the
// SIM session keeps them. The seventh word has no property and stays 0; the two flags are 1
// when their boolean is 0xFFFF.
inline constexpr size_t kSimCapacityWords = 18;
struct SimCapacities {
  std::array<uint32_t, kSimCapacityWords> words{};
  bool operator==(const SimCapacities&) const = default;
};
// The property behind each word ("" for the seventh).
const char* SimCapacityName(size_t word);
// Fills the words whose property is present; the others keep their value.
void ReadSimCapacities(const std::vector<RawEntry>& props, SimCapacities* out);
// The properties a phone sends for these words (integers and the two 0/0xFFFF flags).
std::vector<Property> SimCapacityProperties(const SimCapacities& caps);

}  // namespace devrec
