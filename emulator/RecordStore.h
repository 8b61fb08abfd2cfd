// The service stores of the phone image: the records of one store (keyed by its record kind,
// or by a key of its own for a second store of a kind) with their properties, in image.sqlite.
// RecordService.h serves them through the device-side service. A record is one row: its
// properties in the order they were sent, packed as a reply carries them, so that a get is
// one row read and one copy. Each value is kept in its type's form (see Pack).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "emulator/Image.h"
#include "link/DeviceRecord.h"

namespace wmemu {

class RecordStore {
 public:
  RecordStore(Image& image, uint32_t store) : image_(image), kind_(store) {}

  // Entry ids in ascending order.
  std::vector<uint32_t> List();
  // The properties of an entry, as they go into a reply; nullopt when there is no such entry.
  std::optional<std::vector<devrec::Property>> Get(uint32_t id);
  // The same entry as the reply record the service sends (the id as its leading word),
  // written straight from the stored rows; false when there is no such entry.
  bool GetReply(uint32_t id, std::vector<uint8_t>* out);
  uint32_t Add(const std::vector<devrec::RawEntry>& props);
  // Replaces the whole property set; false when there is no such entry.
  bool Replace(uint32_t id, const std::vector<devrec::RawEntry>& props);
  bool Delete(uint32_t id);

  // A property as the writer would send it, with its type from the kind's table.
  static devrec::RawEntry Raw(uint32_t kind, const devrec::Property& p);

 private:
  // The properties as they are kept: each in its wire form, the value as the reply sends it.
  static std::vector<uint8_t> Pack(const std::vector<devrec::RawEntry>& props);
  Image& image_;
  uint32_t kind_;
};

}  // namespace wmemu
