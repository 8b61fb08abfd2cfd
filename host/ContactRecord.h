// A contact and a group as the CLI sees them: the phonebook columns read from an item by
// name, written back to one, and the whole phonebook read in one listing.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/Session.h"
#include "qwbdcawm/qwbdcawm.h"

namespace qwbhost {

struct ContactPhone {
  std::string kind;    // the TEL_TYPE text: "Mobile", "Landline.Private", ...
  std::string number;
  std::string speedDial;  // "" when none
};

struct ContactAddress {
  std::string kind;  // "private", "business" or "other"
  std::string street, locality, region, postalCode, country;
};

struct ContactRecord {
  LONG id = -1;
  std::string displayName, first, last, middle, nick, prefix, suffix;
  std::string readingFirst, readingLast;  // from the ADD_INFOS reading-name document
  std::string company, jobTitle, department, office, notes;
  std::string assistant, assistantPhone, manager, spouse, children, ringtone;
  std::vector<ContactPhone> phones;
  std::vector<std::string> emails, messengers;
  std::string url;
  std::vector<ContactAddress> addresses;
  std::optional<DATE> birthday, anniversary;
  std::vector<ULONG> groupIds;  // GROUP_ID_n; 0xFFFFFFFF for a name the phone has no group of
  // The photo: the component's file of it (PHOTO) and that file's full path
  // (PHOTO_LOCAL_PATH), both empty when the contact has none. Written back, the path is the
  // picture file to send: the cached file itself keeps the photo as it is.
  std::string photo, photoPath;

  // What a listing shows: the display name, else the names, else company, e-mail or number.
  std::string Title() const;
};

struct GroupRecord {
  LONG id = -1;
  std::string name;
};

// The telephone kinds of the phonebook, in the order the phone keeps them.
extern const char* const kPhoneKinds[11];

ContactRecord ReadContact(IItem* item);
GroupRecord ReadGroup(IItem* item);
// Writes every contact column the record has (the others are left as they are).
void ApplyContact(IItem* item, const ContactRecord& c);

// The reading-name document of ADD_INFOS, written and read as the phonebook does.
std::string ReadingDocument(const std::string& last, const std::string& first);
void ParseReadingDocument(const std::string& text, std::string* last, std::string* first);

struct Phonebook {
  std::vector<GroupRecord> groups;
  std::vector<ContactRecord> contacts;
  std::string GroupName(ULONG id) const;  // "" when unknown
};
Phonebook ReadPhonebook(Session& session);

// Reads the phonebook in one listing without keeping its contacts: `onContact` gets each
// contact as it arrives with the book's groups (its `contacts` stay empty), and its position
// and the count the table reported. The phone lists every group before the first contact,
// so the groups are complete by then; they are as many as the phone has categories,
// whatever the number of contacts. Returns the book's groups.
Phonebook ForEachContact(
    Session& session,
    const std::function<void(const ContactRecord&, const Phonebook&, ULONG, ULONG)>& onContact);

}  // namespace qwbhost
