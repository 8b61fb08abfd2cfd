#include "tables/messaging/MessageMapping.h"

#include "link/DeviceRecordWM.h"
#include "tables/organizer/TimeConv.h"
#include "wincompat/com.h"

namespace qwb {

MessageFamily MessageFamilyOf(int modelType) {
  switch (modelType) {
    case 0:
    case 3:
      return MessageFamily::kStream;
    case 4:
    case 5:
      return MessageFamily::kId;
    case 2:
      return MessageFamily::kNone;
    default:
      return MessageFamily::kEntryId;
  }
}

const char16_t* FolderName(DWORD code) {
  switch (code) {
    case devrec::kFolderDraft:
      return u"Draft";
    case devrec::kFolderOutbox:
      return u"Outbox";
    case devrec::kFolderSent:
      return u"Sent";
    default:
      return u"Inbox";
  }
}

DWORD SmsFolderCode(std::u16string_view name) {
  if (name == u"Inbox") return devrec::kFolderInbox;
  if (name == u"Outbox") return devrec::kFolderOutbox;
  if (name == u"Draft") return devrec::kFolderDraft;
  if (name == u"Sent") return devrec::kFolderSent;
  return devrec::kFolderDraft;
}

DWORD StreamMessageSuid(std::u16string_view id) {
  if (id.size() < 17) return 0;
  auto digit = [&](size_t i) -> uint32_t {
    char16_t c = id[i];
    return c >= u'0' && c <= u'9' ? uint32_t(c - u'0') : 0;
  };
  // The fields are joined with OR at these widths, as the phone composes the identifier.
  static constexpr uint32_t kShift[8] = {4, 16, 8, 16, 4, 16, 16, 16};
  uint32_t v = digit(8);
  for (size_t i = 0; i < 8; ++i) v = v * kShift[i] | digit(9 + i);
  return v * 16;
}

namespace {

void PutFixed(DWORD suid, FieldMap* f) {
  PutField(*f, u"SUID", Variant::UI4(suid));
  PutField(*f, u"MY_FOLDER", Variant::I4(-1));
  PutField(*f, u"MODE", Variant::Str(u"Home"));
  PutField(*f, u"TYPE", Variant::Str(u"SMS"));
}

void PutString(const CPropertyMap& p, std::u16string_view prop, std::u16string_view column,
               FieldMap* f) {
  std::u16string s;
  if (p.GetString(prop, &s)) PutField(*f, column, Variant::Str(s));
}

}  // namespace

void MessageRecordToFields(const CPropertyMap& p, DWORD suid, DWORD folder, bool idFamily,
                           FieldMap* f) {
  PutFixed(suid, f);
  PutString(p, u"PR_SENDER_EMAIL_ADDRESS", u"SENDER", f);
  PutString(p, u"PR_EMAIL_ADDRESS", u"RECEIVER", f);
  PutString(p, u"PR_SUBJECT", u"CONTENT", f);
  double utc = 0;
  if (p.GetDate(u"PR_MESSAGE_DELIVERY_TIME", &utc))
    PutField(*f, u"CREATE_DATE", Variant::Date(UtcToLocal(utc)));
  if (idFamily && folder == devrec::kFolderDraft) {
    int32_t status = 1;
    p.GetInteger(u"PR_MSG_STATUS", &status);
    PutField(*f, u"FOLDER", Variant::Str(status == 1 ? u"Inbox" : u"Sent"));
    PutField(*f, u"MY_FOLDER_PATH", Variant::Str(u"/Folder1"));
  } else {
    PutField(*f, u"FOLDER", Variant::Str(FolderName(folder)));
  }
}

void StreamRecordToFields(const devrec::StreamMessage& m, DWORD folder, FieldMap* f) {
  PutFixed(StreamMessageSuid(m.identifier), f);
  PutField(*f, u"CONTENT", Variant::Str(m.text));
  SYSTEMTIME st{m.time.year,   m.time.month,  m.time.dayOfWeek, m.time.day,
                m.time.hour,   m.time.minute, m.time.second,    m.time.milliseconds};
  double date = 0;
  SystemTimeToVariantTime(&st, &date);
  PutField(*f, u"CREATE_DATE", Variant::Date(date));
  const char16_t* name = folder == devrec::kFolderDraft  ? u"Draft"
                         : folder == devrec::kFolderSent ? u"Sent"
                                                         : u"Inbox";
  PutField(*f, u"FOLDER", Variant::Str(name));
  if (folder == devrec::kFolderSent) {
    PutField(*f, u"RECEIVER", Variant::Str(m.number));
  } else {
    PutField(*f, u"SENDER", Variant::Str(m.number));
    PutField(*f, u"RECEIVER", Variant::Str(m.receiver));
  }
}

void SimMessageToFields(const CPropertyMap& p, DWORD slot, FieldMap* f) {
  PutFixed(slot + kSimMessageSuidBase, f);
  PutString(p, u"PhoneNumber", u"SENDER", f);
  PutString(p, u"Message", u"CONTENT", f);
  double utc = 0;
  if (p.GetDate(u"ReceiveTime", &utc)) PutField(*f, u"CREATE_DATE", Variant::Date(UtcToLocal(utc)));
  PutField(*f, u"FOLDER", Variant::Str(u"Inbox"));
}

DWORD MessageFieldsToRecord(const FieldMap& f, CPropertyList* list) {
  std::u16string sender = ReadFieldString(f, u"SENDER");
  if (!sender.empty()) list->AddString("PR_SENDER_EMAIL_ADDRESS", sender);
  std::u16string receiver = ReadFieldString(f, u"RECEIVER");
  if (!receiver.empty()) list->AddString("PR_EMAIL_ADDRESS", receiver);
  std::u16string content = ReadFieldString(f, u"CONTENT");
  if (!content.empty()) list->AddString("PR_SUBJECT", content);
  DWORD folder = SmsFolderCode(ReadFieldString(f, u"FOLDER"));
  DATE local = ReadFieldDate(f, u"CREATE_DATE", 0);
  DATE utc = LocalToUtc(local);
  list->AddDate("PR_MESSAGE_DELIVERY_TIME", utc);
  list->AddDate("PR_LAST_MODIFICATION_TIME", utc);
  return folder;
}

}  // namespace qwb
