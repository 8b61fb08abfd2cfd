// The control channel a Windows Mobile 5/6 phone opens to the PC's TCP port 990, and the
// first word of each session connection it opens afterwards. One writer and one reader,
// shared by the connection manager (PC side) and the emulator's dialling side (phone side).
//
// Every word is a little-endian u32 and there is no common frame: a receiver knows from the
// state of the exchange what comes next. So the reader is a byte queue that the owner asks
// for the piece it expects; it holds only bytes that arrived, never what a length claims.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ctlwire {

// Words of the exchange.
inline constexpr uint32_t kPhoneHello = 0;         // phone's opening word
inline constexpr uint32_t kHelloAnswer = 3;        // PC's answer to it
inline constexpr uint32_t kPhoneRequest = 6;       // phone's second word
inline constexpr uint32_t kDeviceInfo = 4;         // device information follows (len, bytes)
inline constexpr uint32_t kSessionRequest = 5;     // PC asks for a session: 5, 4, id
inline constexpr uint32_t kShowUnlockScreen = 8;   // PC asks a WM6 phone to show its lock screen
inline constexpr uint32_t kUnlockConfirm = 0x0C;   // PC's second word after a WM6 unlock
inline constexpr uint32_t kPing = 1;
inline constexpr uint32_t kPong = 2;

// Password keys of the device information.
inline constexpr uint32_t kNoPassword = 0;
inline constexpr uint32_t kUnlockOnDevice = 0xFFFFFFFFu;

// Bounds of the device information.
inline constexpr uint32_t kMaxNameUnits = 31;
inline constexpr uint32_t kMaxPlatformBytes = 255;
inline constexpr uint32_t kMaxModelBytes = 255;
inline constexpr uint32_t kMaxComponents = 6;
// The largest information a valid phone can send with its optional extra data; anything
// longer is refused before a byte of it is kept.
inline constexpr uint32_t kMaxInfoBytes = 4096;
// A WM5 password message carries at most this many bytes.
inline constexpr uint16_t kMaxPasswordBytes = 512;

struct DeviceInfo {
  std::array<uint8_t, 16> guid{};  // as on the wire: Data1, Data2, Data3 little-endian
  uint32_t osMajor = 0;
  uint32_t osMinor = 0;
  std::u16string name;             // without terminator
  uint32_t version = 0;
  uint32_t cpuType = 0;
  uint32_t unknown = 0;
  uint32_t partnerId = 0;
  uint32_t id = 0;
  std::string platform;            // first string of the platform list
  std::string model;
  std::vector<std::array<uint8_t, 8>> components;
  uint32_t passwordKey = kNoPassword;
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex.
std::string GuidText(const std::array<uint8_t, 16>& guid);

// Reads the payload of a device information message (the bytes after its length word).
// False with *error set (one line of text) when a field or length is out of bounds.
bool ParseDeviceInfo(const uint8_t* p, size_t n, DeviceInfo* out, std::string* error);

// --- Writers. Each returns one message, to be written in one send. ---
// Phone -> PC
std::vector<uint8_t> PhoneHello();                              // 00
std::vector<uint8_t> PhoneRequest();                            // 06
std::vector<uint8_t> DeviceInfoMessage(const DeviceInfo& info); // 04, len, payload
std::vector<uint8_t> PasswordVerdict(bool accepted);            // u16 1 / 0
std::vector<uint8_t> UnlockResult(uint32_t result);             // u32
std::vector<uint8_t> Pong();                                    // 02
std::vector<uint8_t> SessionHello(uint32_t id);                 // first word of a session
// PC -> phone
std::vector<uint8_t> HelloAnswer();                             // 03
std::vector<uint8_t> RequestAnswer();                           // 07 08 04 05
std::vector<uint8_t> ShowUnlockScreen();                        // 08
std::vector<uint8_t> UnlockAccepted();                          // 00 0c
std::vector<uint8_t> Ping();                                    // 01
std::vector<uint8_t> SessionRequest(uint32_t id);               // 05 04 id
// u16 byte count, then the UTF-16LE password (no terminator), every byte XORed with the
// key's low byte. Empty when the password does not fit kMaxPasswordBytes.
std::vector<uint8_t> PasswordMessage(const std::u16string& password, uint32_t key);

// The bytes of the channel that arrived and are not read yet. Each Take* consumes its piece
// only when all of it is there and reports kNeedMore otherwise; kBad leaves the queue as it
// was and means the channel must be closed.
class Reader {
 public:
  enum Result { kOk, kNeedMore, kBad };

  // Appends bytes that arrived. False (nothing kept) when more than `limit` bytes would
  // be waiting: a peer that sends more than any message it may send is closed.
  bool Feed(const uint8_t* p, size_t n, size_t limit = kMaxInfoBytes + 16);
  size_t pending() const { return buf_.size() - off_; }

  Result TakeWord(uint32_t* w);
  Result TakeHalf(uint16_t* h);
  // PC side: the rest of a device information message after its 04 word (len, payload).
  Result TakeDeviceInfo(DeviceInfo* info, std::string* error);
  // PC side: the rest of a PC -> phone "07 08 04 05" answer after its first word.
  Result TakeRequestAnswerRest();
  // Phone side: the rest of a session request after its 05 word (04, id).
  Result TakeSessionRequestRest(uint32_t* id);
  // Phone side: a whole WM5 password message, decoded with the key. A trailing encoded
  // terminator is dropped, so both the counted and the NUL-terminated forms read the same.
  Result TakePassword(uint32_t key, std::u16string* password);

 private:
  bool Have(size_t n) const { return pending() >= n; }
  uint32_t Peek32(size_t at) const;
  void Consume(size_t n);
  std::vector<uint8_t> buf_;
  size_t off_ = 0;
};

}  // namespace ctlwire
