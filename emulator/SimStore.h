// The SIM card's phonebook: contacts in numbered positions (1..capacity) with the limits of a
// real card, and the DevCe functions that serve it (record kind 6):
//   "DevCePhonebookSIMInfo"    6        -> 6, the capacity properties
//   "DevCePhonebookSIMList"    6        -> count, positions
//   "DevCePhonebookSIMListAll" 6        -> count, 336-byte SIM records
//   "DevCePhonebookSIMGet"     6, pos   -> pos, the contact's properties
//   "DevCePhonebookSIMAdd"     record in replace form, the wanted position (0: any)
//                                       -> the position used (the wanted one when free, else
//                                          the lowest free one)
//   "DevCePhonebookSIMReplace" record in replace form with the position -> the position
//   "DevCePhonebookSIMDelete"  6, pos   -> nothing
// The card refuses what it cannot hold: a full card 0x88000340; a name, number or e-mail
// longer than its limit, more numbers or e-mails than it keeps per contact, or a contact
// without name and number 0x88000068. Unknown positions answer 0x80070490.
// Of two "AdditionalNumCount" values in a record the card takes the last.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "emulator/Image.h"

namespace wmemu {

class ServiceRegistry;

inline constexpr int32_t kHrSimFull = static_cast<int32_t>(0x88000340u);
inline constexpr int32_t kHrSimTooLong = static_cast<int32_t>(0x88000068u);

struct SimLimits {
  uint32_t capacity = 250;      // positions 1..capacity
  uint32_t maxName = 14;        // characters (UTF-16 units) of a name or second name
  uint32_t maxNumber = 40;      // digits of a number
  uint32_t maxEmail = 40;       // characters of an e-mail address
  uint32_t additionalNumbers = 1;
  uint32_t emails = 1;
};

struct SimContact {
  uint32_t position = 0;
  std::string name, secondName, number;  // UTF-8
  std::vector<std::string> additional;   // at most additionalNumbers
  std::string email;
};

class SimStore {
 public:
  explicit SimStore(Image& image);

  SimLimits limits();
  // Tests and presets may shrink or grow the card (kept in the image).
  void SetCapacity(uint32_t capacity);

  std::vector<SimContact> List();
  std::optional<SimContact> Get(uint32_t position);
  // 0 on success, else the card's refusal (see above).
  int32_t Check(const SimContact& c);
  // Stores at the wanted position when free (and in range), else the lowest free one; the
  // position used, or 0 when the card is full.
  uint32_t Add(SimContact c, uint32_t wanted);
  bool Replace(const SimContact& c);
  bool Delete(uint32_t position);

 private:
  Image& image_;
};

void RegisterSimStore(ServiceRegistry& services);

// The demo phone's SIM contacts.
void BuildDemoSim(Image& image);

}  // namespace wmemu
