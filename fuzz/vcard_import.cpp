// Fuzzes the vCard reader of `qwbdcawm contacts import` (a user's file, from any program):
// any text reads as cards or as the usage error of a file without a card, never anything
// else; and the reader and the card writer agree: a card read, written, read and written
// again gives the same card text, with the same categories.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/Check.h"
#include "host/ContactsVcf.h"
#include "host/HostError.h"

namespace {

using fuzzsupport::Check;

const std::string kPrefix = "qwbdcawm-fuzz-contact-";

// The card of a read contact, with a group for each of its categories (as the import makes
// them on the phone).
std::string Write(const qwbhost::ParsedCard& card) {
  qwbhost::Phonebook book;
  qwbhost::ContactRecord c = card.contact;
  c.groupIds.clear();
  for (size_t i = 0; i < card.categories.size(); ++i) {
    book.groups.push_back({static_cast<LONG>(i + 1), card.categories[i]});
    c.groupIds.push_back(static_cast<ULONG>(i + 1));
  }
  return qwbhost::ContactCard(c, book, kPrefix + std::to_string(c.id < 0 ? 0 : c.id));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<qwbhost::ParsedCard> cards;
  try {
    cards = qwbhost::ParseVcards(text, kPrefix);
  } catch (const qwbhost::HostError& e) {
    Check(e.exitCode() == qwbhost::kExitUsage);
    return 0;
  }
  Check(!cards.empty() && cards.size() <= size / 20);  // "BEGIN:VCARD\nEND:VCARD" at least
  // The phone's texts end at a NUL, so a card holding one is read but not compared.
  if (text.find('\0') != std::string::npos) return 0;
  for (const qwbhost::ParsedCard& card : cards) {
    const std::string once = Write(card);
    std::vector<qwbhost::ParsedCard> back = qwbhost::ParseVcards(once, kPrefix);
    Check(back.size() == 1);
    const std::string twice = Write(back[0]);
    Check(twice == once);
  }
  return 0;
}
