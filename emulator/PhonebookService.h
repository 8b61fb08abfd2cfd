// The phonebook service of the device: "DevCeApplyAllData" opens a stream on which the phone
// answers the phonebook packets (link/PhonebookPacket.h) over its contact, category and
// speed-dial stores until the desktop closes the stream.
//
// Answers the phone gives besides the ordinary replies:
//   - a contact write whose packet does not hold together: L = 0 and 0x80070018;
//   - a replace of a contact it does not have: L = 0 and 0x80070490 (not found);
//   - a get of a contact it does not have, an empty or taken category name, a rename of an
//     unknown category: L = 0 (nothing follows);
//   - a speed dial for an unknown contact, or (add) a number in use: ignored, as every write
//     without a reply.
// A request it cannot follow (an unknown command, a length beyond 16 MiB) closes the stream.
//
// Faults: each command is known by a name for the fault injector ("DevCeAddContact",
// "DevCeReplaceContact", "DevCeDeleteContact", "DevCeGetContact", "DevCeListContacts",
// "DevCeListCategories", "DevCeAddCategory", "DevCeRenameCategory", "DevCeDeleteCategory",
// "DevCeListSpeedDials", "DevCeAddSpeedDial", "DevCeReplaceSpeedDial",
// "DevCeClearSpeedDials"). An injected failure answers L = 0 followed, after a contact write,
// by the failure's HRESULT, and stores nothing; a drop-on-call closes the stream unanswered;
// a byte limit cuts the reply where it falls.
#pragma once

#include <cstdint>

namespace wmemu {

class ServiceRegistry;

// The name a stream command is known by for the faults; "" for an unknown command.
const char* PhonebookCommandName(uint32_t command);

void RegisterPhonebookService(ServiceRegistry& services);

}  // namespace wmemu
