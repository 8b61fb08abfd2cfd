// Fuzzes the phonebook packet readers: any bytes, as every reply body the component reads and
// every request payload the device reads, must be read without touching memory outside them,
// and what reads must read back the same after being written again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "link/PhonebookPacket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The bytes go into a buffer of their own size, so that ASan sees any overrun.
  std::vector<uint8_t> bytes(data, data + size);
  std::span<const uint8_t> in(bytes.data(), bytes.size());

  std::vector<uint32_t> ids;
  if (pbpacket::ReadEntryIdList(in, &ids) == pbpacket::Error::kOk) {
    std::vector<uint8_t> again = pbpacket::EntryIdListReply(ids);
    std::vector<uint32_t> reread;
    if (pbpacket::ReadEntryIdList(std::span(again).subspan(4), &reread) != pbpacket::Error::kOk ||
        reread != ids)
      std::abort();
  }
  std::vector<pbpacket::Category> categories;
  if (pbpacket::ReadCategoryList(in, &categories) == pbpacket::Error::kOk) {
    std::vector<uint8_t> again = pbpacket::CategoryListReply(categories);
    std::vector<pbpacket::Category> reread;
    if (pbpacket::ReadCategoryList(std::span(again).subspan(4), &reread) != pbpacket::Error::kOk ||
        reread.size() != categories.size())
      std::abort();
  }
  std::vector<pbpacket::SpeedDialEntry> dials;
  if (pbpacket::ReadSpeedDialList(in, &dials) == pbpacket::Error::kOk) {
    std::vector<uint8_t> again = pbpacket::SpeedDialListReply(dials);
    std::vector<pbpacket::SpeedDialEntry> reread;
    if (pbpacket::ReadSpeedDialList(std::span(again).subspan(4), &reread) != pbpacket::Error::kOk ||
        reread.size() != dials.size())
      std::abort();
  }
  uint32_t id = 0;
  std::vector<devrec::RawEntry> props;
  pbpacket::ReadContactReply(in, &id, &props);
  pbpacket::ContactWrite write;
  pbpacket::ReadContactWrite(in, &write);
  std::string name;
  pbpacket::ReadCategoryWrite(in, &id, &name);
  pbpacket::SpeedDialEntry entry;
  pbpacket::ReadSpeedDialEntry(in, &entry);
  uint32_t words[2];
  pbpacket::ReadWords(in, 2, words);
  return 0;
}
