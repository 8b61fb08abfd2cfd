// The phone's message store (text and multimedia messages by folder), its SIM message slots
// and the DevCe functions that serve them. Every model family keeps the same store; what
// differs is how "DevCeMessageList" answers:
//   stream family (model types 0, 3): the stream form only: after the 8-byte request (kind,
//     folder) the phone sends the count and one 4712-byte record per message, hidden ones
//     (state 1) included, as its own list keeps them;
//   ID family (4, 5): block form, 32-bit message ids;
//   entry-ID family (1, 6) and the MID (2): block form, 20-byte entry IDs whose last word is
//     the message id.
// Block functions (requests and replies little-endian 32-bit words):
//   "DevCeMessageList"    kind, folder          -> kind, folder, count, ids / entry IDs
//   "DevCeGetMessage"     kind, id (ID family) or kind, folder, L, entry ID (the others)
//                                               -> id, folder, the message's properties
//   "DevCeSaveMessage"    kind, folder, count, properties -> the new id
//   "DevCeSendMessage"    the same; the message lands in Sent stamped with the send time
//   "DevCeMessageSIMInfo" 7                     -> 7, nUsed, nTotal
//   "DevCeMessageSIMGet"  7, slot               -> slot, PhoneNumber, Message, ReceiveTime
// Multimedia messages (kind 5, with "PR_MMS_BODY") are listed and read by entry ID on every
// family but the stream family, whose block list answers nothing.
// Failures: malformed requests E_INVALIDARG; unknown ids and empty SIM slots 0x80070490; a
// send without a recipient 0x82000201; a text or a multimedia message the phone cannot hold
// 0x82000203; the block list on a stream-family phone E_NOTIMPL.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "emulator/Image.h"
#include "link/DeviceRecord.h"

namespace wmemu {

class ServiceRegistry;

inline constexpr int32_t kHrNoRecipient = static_cast<int32_t>(0x82000201u);
inline constexpr int32_t kHrTextTooLong = static_cast<int32_t>(0x82000203u);

// Message states: shown, hidden from every list but the stream family's raw records, unread.
inline constexpr uint16_t kStateRead = 0, kStateHidden = 1, kStateUnread = 2;

// Texts longer than these (UTF-16 units) do not fit the phone: the stream family's record
// area, and the others' ten concatenated parts.
inline constexpr size_t kStreamPhoneMaxText = 512;
inline constexpr size_t kPhoneMaxText = 1530;

// The largest multimedia message the phone keeps or sends (its "Max Size" setting).
inline constexpr size_t kMmsMaxSize = 307200;

// The phone's clock for the stream family's records: Korea Standard Time, UTC+9.
inline constexpr double kPhoneLocalOffsetDays = 9.0 / 24.0;

// SIM message slots.
inline constexpr uint32_t kSimMessageSlots = 30;

struct StoredMessage {
  uint32_t id = 0;
  uint32_t kind = 0;  // 4 text, 5 multimedia
  uint32_t folder = 0;
  uint16_t state = kStateRead;
  std::vector<devrec::RawEntry> props;
};

class MessageStore {
 public:
  explicit MessageStore(Image& image);

  // Messages of a kind in a folder in the order they arrived, hidden ones included.
  std::vector<StoredMessage> List(uint32_t kind, uint32_t folder);
  std::optional<StoredMessage> Get(uint32_t id);
  // What DevCeGetMessage answers for the message `id` of `kind`: its id, its folder, then its
  // properties as they are stored, without unpacking them; false when there is no such
  // message of that kind or it is hidden.
  bool GetReply(uint32_t id, uint32_t kind, std::vector<uint8_t>* out);
  uint32_t Add(uint32_t kind, uint32_t folder, uint16_t state,
               const std::vector<devrec::RawEntry>& props);
  // Many at once, in one transaction (presets).
  void AddAll(const std::vector<StoredMessage>& messages);

  struct SimMessage {
    std::string number;  // UTF-8
    std::string text;
    double receivedUtc = 0;
  };
  std::optional<SimMessage> GetSim(uint32_t slot);
  void PutSim(uint32_t slot, const SimMessage& m);
  uint32_t SimUsed();

 private:
  Image& image_;
};

// The 16 bytes in front of every entry ID this phone hands out (its message store's id).
extern const std::array<uint8_t, 16> kStoreEntryPrefix;

// The stream family's identifier text of a message: the phone's local date (8 digits) and 9
// digits from which the component derives the message's SUID (distinct for every id below
// 128 000 000).
std::u16string StreamIdentifier(uint32_t id, double localDate);

void RegisterMessageStore(ServiceRegistry& services);

// The demo phone's text and multimedia messages and SIM messages.
void BuildDemoMessages(Image& image);
// The multimedia ones alone: pictures, sounds and texts, one near the MMS size limit.
void BuildDemoMms(Image& image);

}  // namespace wmemu
