// The phone's contact categories and speed dials in image.sqlite (the contacts themselves are
// records of kind 1 in the RecordStore). The store behaves as the phone's own does: a category
// name is unique (adding one that exists answers its id), a speed-dial number belongs to one
// telephone, and deleting a contact takes its speed dials with it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "emulator/Image.h"
#include "link/PhonebookPacket.h"

namespace wmemu {

class PhonebookStore {
 public:
  explicit PhonebookStore(Image& image) : image_(image) {}

  std::vector<pbpacket::Category> Categories();
  // The id of the category of that name, added when there is none. Empty names are refused.
  std::optional<uint32_t> AddCategory(const std::string& name);
  // False when there is no such category or the name is empty or taken by another.
  bool RenameCategory(uint32_t id, const std::string& name);
  bool DeleteCategory(uint32_t id);

  // In ascending speed-dial number.
  std::vector<pbpacket::SpeedDialEntry> SpeedDials();
  // Adds an entry; false when its number is taken or its contact does not exist.
  bool AddSpeedDial(const pbpacket::SpeedDialEntry& e);
  // Adds or replaces the entry of that number; false when its contact does not exist.
  bool PutSpeedDial(const pbpacket::SpeedDialEntry& e);
  void ClearSpeedDials(uint32_t entryId);

  // Deletes a contact and its speed dials; false when there is no such contact.
  bool DeleteContact(uint32_t entryId);

 private:
  bool ContactExists(uint32_t entryId);  // caller holds the mutex
  void InsertSpeedDial(const pbpacket::SpeedDialEntry& e, bool replace);
  Image& image_;
};

}  // namespace wmemu
