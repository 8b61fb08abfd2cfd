// contacts.vcf: the phonebook as vCard 4.0 (RFC 6350), and vCard files read back into
// contacts. Every card carries the phone's UID of the contact ("qwbdcawm-<phone>-contact-<id>")
// so that an import into the same phone updates the contact it came from.
//
// Telephones keep their phone kind in TYPE (cell, home, work, fax, pager, and x-radio, x-car,
// x-company for the kinds vCard has no word for) and exactly in X-PHONE-KIND; speed dials in
// X-SPEED-DIAL. Reading names go into SORT-AS of N and X-PHONETIC-FIRST-NAME /
// X-PHONETIC-LAST-NAME. Groups are CATEGORIES; the photo is PHOTO, a data URI holding the
// bytes of the component's photo file (a JPEG unless the phone keeps a small picture of
// another format as it was given).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/ContactRecord.h"
#include "host/Export.h"

namespace qwbhost {

// The card of one contact, CRLF line ends, lines folded at 75 octets.
std::string ContactCard(const ContactRecord& c, const Phonebook& book, const std::string& uid);

// A card read back: the contact (id -1 when the card names no phone entry), its category
// names, and what of the card had no place on the phone.
struct ParsedCard {
  ContactRecord contact;
  std::vector<std::string> categories;
  std::vector<uint8_t> photo;  // the bytes of an embedded PHOTO, empty when none
  std::vector<std::string> unmapped;
};
// Reads every card of a vCard text (versions 3.0 and 4.0); a UID that starts with `uidPrefix`
// names the contact's entry id. A text without a card throws a usage error.
std::vector<ParsedCard> ParseVcards(const std::string& text, const std::string& uidPrefix);

// Writes the cards back to the phone: an update when the card's UID names a contact the
// phone has, a create otherwise; categories the phone lacks are created as groups. Reports
// on `report` what it did and what it could not map. Returns the number of cards written.
size_t ImportVcards(Session& session, const std::string& path, std::ostream& report);

std::unique_ptr<Exporter> MakeContactsExporter();

}  // namespace qwbhost
