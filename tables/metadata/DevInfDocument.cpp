#include "tables/metadata/DevInfDocument.h"

#include <cstdio>
#include <initializer_list>
#include <span>
#include <string_view>

namespace qwb {
namespace {

// ---- Templates ----------------------------------------------------------------------------

constexpr char kSkeleton[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<DevInf xmlns='syncml:devinf'>\r\n"
    "\t<VerDTD>2.0</VerDTD>\r\n"
    "\t<Man>MANUFACTURER_NAME</Man>\r\n"
    "\t<Mod>MODEL_NAME</Mod>\r\n"
    "\t<FwV>1.0</FwV>\r\n"
    "\t<SwV>1.0</SwV>\r\n"
    "\t<HwV>1.0</HwV>\r\n"
    "\t<DevID>Unknwon</DevID>\r\n"
    "\t<DevTyp>phone</DevTyp>\r\n"
    "\t<UTC/>\r\n"
    "PHONEBOOK_BODYPHONEBOOK_GROUP_BODYCALENDAR_BODYTASK_BODYSIM_BODYSMS_BODYFILE_INFO_BODYMMS_BODY"
    "</DevInf>\r\n";

// A data store: its source, content type and version, the capability part (a CTCap, or a
// token alone) and the memory part inside DSMem.
std::string Store(std::string_view source, std::string_view type, std::string_view version,
                  std::string_view capability, std::string_view memory) {
  std::string s;
  s.append("\t<DataStore>\r\n");
  s.append("\t\t<SourceRef>").append(source).append("</SourceRef>\r\n");
  for (const char* pref : {"Rx-Pref", "Tx-Pref"}) {
    s.append("\t\t<").append(pref).append(">\r\n");
    s.append("\t\t\t<CTType>").append(type).append("</CTType>\r\n");
    s.append("\t\t\t<VerCT>").append(version).append("</VerCT>\r\n");
    s.append("\t\t</").append(pref).append(">\r\n");
  }
  s.append(capability);
  s.append("\t\t<DSMem>\r\n").append(memory).append("\t\t</DSMem>\r\n");
  s.append("\t\t<SyncCap>\r\n");
  s.append("\t\t\t<SyncType>4</SyncType>\r\n");
  s.append("\t\t\t<SyncType>5</SyncType>\r\n");
  s.append("\t\t</SyncCap>\r\n");
  s.append("\t</DataStore>\r\n");
  return s;
}

// A CTCap of `type`, version 1.0, around `properties` (a token or fragments).
std::string CtCap(std::string_view type, std::string_view properties) {
  std::string s("\t\t<CTCap>\r\n");
  s.append("\t\t\t<CTType>").append(type).append("</CTType>\r\n");
  s.append("\t\t\t<VerCT>1.0</VerCT>\r\n");
  s.append(properties);
  s.append("\t\t</CTCap>\r\n");
  return s;
}

std::string MaxMem(std::string_view value, bool shared = false) {
  std::string s(shared ? "\t\t\t<SharedMem/>\r\n" : "");
  return s.append("\t\t\t<MaxMem>").append(value).append("</MaxMem>\r\n");
}

// ---- Property fragments -------------------------------------------------------------------

// Phonebook, calendar and task properties sit inside a CTCap (deep); the others directly in
// the data store (shallow).
enum class Depth { kDeep, kShallow };

class Property {
 public:
  Property(Depth depth, std::string_view name, std::string_view type)
      : indent_(depth == Depth::kDeep ? "\t\t\t\t" : "\t\t\t"),
        outer_(depth == Depth::kDeep ? "\t\t\t" : "\t\t") {
    text_.append(outer_).append("<Property>\r\n");
    Child("PropName", name);
    Child("DataType", type);
  }
  Property& Child(std::string_view tag, std::string_view value) {
    text_.append(indent_).append("<").append(tag).append(">").append(value);
    text_.append("</").append(tag).append(">\r\n");
    return *this;
  }
  Property& Children(std::string_view tag, std::initializer_list<std::string_view> values) {
    for (std::string_view v : values) Child(tag, v);
    return *this;
  }
  // A line written as it is (comments, condition and parameter blocks).
  Property& Line(std::string_view line) {
    text_.append(line);
    return *this;
  }
  void AppendTo(std::string* out) {
    out->append(text_).append(outer_).append("</Property>\r\n");
  }

 private:
  std::string_view indent_, outer_;
  std::string text_;
};

constexpr std::string_view kRecurrenceTypes[] = {"None",   "Daily",  "Weekly",   "Monthly",
                                                 "MonthlyNth", "Yearly", "YearlyNth"};
constexpr std::string_view kRecurrenceFlags[] = {
    "WorkDay",  "Sunday",    "Monday",    "Tuesday",    "Wednesday", "Thursday",  "Friday",
    "Saturday", "Firstweek", "Secondweek", "Thirdweek", "Fourthweek", "Lastweek"};
constexpr char kRecurrenceTypeComment[] =
    "\t\t\t\t<!--None=0, Daily, Weekly, Monthly, MonthlyNth, Yearly, YearlyNth-->\r\n";
constexpr char kExpireTypeComment[] = "\t\t\t\t<!-- End date=0, Occurrence, No end date-->\r\n";

template <size_t N>
Property& ValEnums(Property& p, const std::string_view (&values)[N]) {
  for (std::string_view v : values) p.Child("ValEnum", v);
  return p;
}

bool IsDomesticFamily(int modelType) {
  return modelType == 0 || modelType == 3 || modelType == 4 || modelType == 5;
}

// The two models whose phonebook keeps no title, suffix or middle name.
bool IsShortNameModel(const std::string& model) {
  return model == "QXH-i207" || model == "QX-M4100A";
}

std::string PhonebookProperties(const DevInfValues& v) {
  std::string out;
  auto text = [&](std::string_view name, std::string_view maxSize) {
    Property(Depth::kDeep, name, "string").Child("MaxSize", maxSize).AppendTo(&out);
  };
  auto counter = [&](std::string_view name, std::string_view maxValue) {
    Property(Depth::kDeep, name, "string").Child("MaxValue", maxValue).AppendTo(&out);
  };
  text("FIRST_NAME", "PHONEBOOK_FIRST_NAME_SIZE");
  text("DISPLAY_NAME", "PHONEBOOK_DISPLAY_NAME_SIZE");
  text("NICKNAME", "PHONEBOOK_NICKNAME_SIZE");
  text("LAST_NAME", "PHONEBOOK_LAST_NAME_SIZE");
  if (!IsShortNameModel(v.modelName) && !IsDomesticFamily(v.modelType))
    text("MIDDLE_NAME", "255");
  if (!IsShortNameModel(v.modelName)) {
    text("TITLE_NAME", "255");
    text("SUFFIX_NAME", "255");
  }
  for (std::string_view name : {"JOBTITLE", "COMPANY", "DEPARTMENT", "OFFICE_LOCATION"})
    text(name, "255");
  counter("URL_COUNT", "1");
  text("URL_ADDR", "PHONEBOOK_URL_ADDR_SIZE");
  counter("EMAIL_COUNT", "3");
  text("EMAIL_ADDR", "PHONEBOOK_EMAIL_ADDR_SIZE");
  counter("MESSENGER_COUNT", "3");
  text("MESSENGER_ID", "255");
  text("NOTES", "PHONEBOOK_NOTES_SIZE");
  Property(Depth::kDeep, "PHOTO", "string")
      .Child("MaxOccur", "2")
      .Children("ValEnum", {"NONE", "IMAGE_PHOTO"})
      .AppendTo(&out);
  Property(Depth::kDeep, "BIRTHDAY", "date").AppendTo(&out);
  Property(Depth::kDeep, "ANNIVERSARY_DATE", "date").AppendTo(&out);
  counter("ANNIVERSARY_COUNT", "2");
  counter("TEL_COUNT", "11");
  text("TEL_NUM", "PHONEBOOK_TEL_NUM_SIZE");
  Property(Depth::kDeep, "TEL_TYPE", "string")
      .Child("MaxOccur", "11")
      .Children("ValEnum", {"Mobile", "Landline.Private", "Landline.Business", "Landline.Private2",
                            "Landline.Business2", "Fax.Private", "Fax.Business", "CarPhone",
                            "Pager", "RadioTel", "Company"})
      .AppendTo(&out);
  if (v.telDial) {
    Property(Depth::kDeep, "TEL_DIAL", "string")
        .Child("MaxValue", "99")
        .Child("MinValue", "1")
        .Child("LimitedValue", "1")
        .AppendTo(&out);
  }
  for (std::string_view name : {"GOVTID", "CUSTOMERID", "ACCOUNT", "SPOUSE", "CHILDREN",
                                "ASSISTANT", "ASSISTANT_TEL", "MANAGER"})
    text(name, "255");
  Property(Depth::kDeep, "ADDR_TYPE", "string")
      .Child("MaxOccur", "3")
      .Children("ValEnum", {"private", "business", "other"})
      .AppendTo(&out);
  counter("ADDR_COUNT", "3");
  for (std::string_view name :
       {"ADDR_EXTADDR", "ADDR_POSTALCODE", "ADDR_LOCALITY", "ADDR_REGION", "ADDR_COUNTRY"})
    text(name, "255");
  Property(Depth::kDeep, "MULTI_GROUP_COUNT", "integer").Child("MaxValue", "50").AppendTo(&out);
  if (IsDomesticFamily(v.modelType)) {
    const char* accepted = v.modelType == 4 ? "W" : v.modelType == 5 ? "+,W,P" : "+,W";
    Property(Depth::kDeep, "SUPPORT_PHONE_TEXT", "string")
        .Child("MaxOccur", "1")
        .Child("ValEnum", accepted)
        .AppendTo(&out);
  }
  return out;
}

// The recurrence properties of appointments and tasks, RECURRENCE_TYPE to CATEGORIES: the
// type's data type differs, and an appointment's RECURRENCE_EVERY is 1 for a daily one.
void RecurrenceProperties(std::string_view typeDataType, bool dailyEveryCondition,
                          std::string* out) {
  auto plain = [&](std::string_view name, std::string_view type) {
    Property(Depth::kDeep, name, type).AppendTo(out);
  };
  {
    Property p(Depth::kDeep, "RECURRENCE_TYPE", typeDataType);
    ValEnums(p, kRecurrenceTypes).Line(kRecurrenceTypeComment).AppendTo(out);
  }
  Property every(Depth::kDeep, "RECURRENCE_EVERY", "integer");
  if (dailyEveryCondition) {
    every.Line("\t\t\t\t<Condition>\r\n")
        .Line("\t\t\t\t\t<PropName>RECURRENCE_TYPE</PropName>\r\n")
        .Line("\t\t\t\t\t<ValEnum>Daily</ValEnum>\r\n")
        .Line("\t\t\t\t\t<Apply>\r\n")
        .Line("\t\t\t\t\t\t<ValEnum>1</ValEnum>\r\n")
        .Line("\t\t\t\t\t</Apply>\r\n")
        .Line("\t\t\t\t</Condition>\r\n");
  }
  every.AppendTo(out);
  {
    Property p(Depth::kDeep, "RECURRENCE_FLAG", "integer");
    ValEnums(p, kRecurrenceFlags).AppendTo(out);
  }
  Property(Depth::kDeep, "RECURRENCE_EXPIRE_TYPE", "integer")
      .Children("ValEnum", {"Enddate", "Occurrence", "Noenddate"})
      .Line(kExpireTypeComment)
      .AppendTo(out);
  plain("RECURRENCE_EXPIRE_VALUE", "datetime");
  plain("RECURRENCE_EXPIRE_DATE", "datetime");
  plain("CATEGORIES", "string");
}

std::string CalendarProperties(const DevInfValues& v) {
  std::string out;
  auto plain = [&](std::string_view name, std::string_view type) {
    Property(Depth::kDeep, name, type).AppendTo(&out);
  };
  Property(Depth::kDeep, "SUBJECT", "string").Child("MaxSize", "CALENDAR_1_MAX_SUBJECT").AppendTo(&out);
  Property(Depth::kDeep, "LOCATION", "string")
      .Child("MaxSize", "CALENDAR_1_MAX_LOCATION")
      .AppendTo(&out);
  Property(Depth::kDeep, "DETAIL", "string").Child("MaxSize", "CALENDAR_1_MAX_DETAIL").AppendTo(&out);
  plain("START_DATE", "datetime");
  plain("END_DATE", "datetime");
  if (IsDomesticFamily(v.modelType)) plain("START_DATE_TYPE", "string");
  Property(Depth::kDeep, "ALARM_TYPE", "string")
      .Children("ValEnum", {"Minute", "Hour", "Day", "Week"})
      .AppendTo(&out);
  plain("ALARM_VALUE", "integer");
  Property(Depth::kDeep, "RECURRENCE_UI_TYPE", "string").Child("ValEnum", "Type5").AppendTo(&out);
  RecurrenceProperties("integer", true, &out);
  Property(Depth::kDeep, "STATUS", "string")
      .Children("ValEnum", {"Free", "Tentative", "Busy", "OutofOffice"})
      .AppendTo(&out);
  Property(Depth::kDeep, "SENSITIVITY", "string")
      .Children("ValEnum", {"Normal", "Personal", "Private", "Confidential"})
      .AppendTo(&out);
  Property(Depth::kDeep, "ISALLDAY", "string").Children("ValEnum", {"TRUE", "FALSE"}).AppendTo(&out);
  Property(Depth::kDeep, "TYPE", "integer")
      .Child("ValEnum", "CALENDAR_1_TYPE")
      .Child("DisplayName", "Appointment")
      .AppendTo(&out);
  return out;
}

std::string TaskProperties() {
  std::string out;
  auto plain = [&](std::string_view name, std::string_view type) {
    Property(Depth::kDeep, name, type).AppendTo(&out);
  };
  Property(Depth::kDeep, "SUBJECT", "string").Child("MaxSize", "TASK_MAX_SUBJECT").AppendTo(&out);
  Property(Depth::kDeep, "DETAIL", "string").Child("MaxSize", "-1").AppendTo(&out);
  plain("START_DATE", "date");
  plain("END_DATE", "date");
  Property(Depth::kDeep, "ALARM_TYPE", "string").Child("ValEnum", "Date").AppendTo(&out);
  RecurrenceProperties("string", false, &out);
  Property(Depth::kDeep, "SENSITIVITY", "string")
      .Children("ValEnum", {"Normal", "Personal", "Private", "Confidential"})
      .AppendTo(&out);
  Property(Depth::kDeep, "PRIORITY", "string")
      .Children("ValEnum", {"Low", "Normal", "High"})
      .AppendTo(&out);
  Property(Depth::kDeep, "DONE_STATE", "string")
      .Children("ValEnum", {"TRUE", "FALSE"})
      .AppendTo(&out);
  Property(Depth::kDeep, "ALARM_VALUE", "string").Child("ValEnum", "Date").AppendTo(&out);
  return out;
}

std::string Decimal(long long n) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%d", static_cast<int>(static_cast<int32_t>(n)));
  return buf;
}

std::string SimProperties(const DevInfValues& v) {
  std::string out;
  Property(Depth::kShallow, "DISPLAY_NAME", "string")
      .Child("MaxSize", "SIM_MAX_DISPLAY_NAME")
      .AppendTo(&out);
  Property tel(Depth::kShallow, "TEL_NUM", "string");
  tel.Child("MaxSize", "SIM_MAX_TEL_NUM");
  if (static_cast<int32_t>(v.simAnrCount) > 0) {
    tel.Child("MaxCntTelNum", "SIM_CNT_TEL_NUM")
        .Child("MaxCntOfANR", "SIM_MAX_CNT_OF_ANR")
        .Child("MaxAnrLength", "SIM_MAX_ANR_LENGTH")
        .Child("MaxCntOfMaxAnrLength", "SIM_CNT_OF_MAX_ANR_LENGTH");
  } else {
    tel.Child("MaxCntTelNum", "1")
        .Child("MaxCntOfANR", "0")
        .Child("MaxAnrLength", "0")
        .Child("MaxCntOfMaxAnrLength", "0");
  }
  tel.Line("\t\t\t<PropParam>\r\n")
      .Line("\t\t\t\t<ParamName>ALLOWPLUSSIGN</ParamName>\r\n")
      .Line("\t\t\t\t<ValEnum>SIM_ALLOWPLUSSIGN</ValEnum>\r\n")
      .Line("\t\t\t</PropParam>\r\n")
      .AppendTo(&out);
  if (static_cast<int32_t>(v.simAnrCount) > 0) {
    ReplaceAll(&out, "SIM_CNT_TEL_NUM", Decimal(v.simAnrCount));
    ReplaceAll(&out, "SIM_MAX_CNT_OF_ANR", "SIM_MAX_TEL_NUM");
    ReplaceAll(&out, "SIM_MAX_ANR_LENGTH", Decimal(v.simMaxAnrLength));
    ReplaceAll(&out, "SIM_CNT_OF_MAX_ANR_LENGTH", "SIM_MAX_TEL_NUM");
  }
  if (static_cast<int32_t>(v.simEmailAddrCount) > 0) {
    Property(Depth::kShallow, "EMAIL_ADDR", "string")
        .Child("MaxSize", "SIM_MAX_EMAIL_SIZE")
        .Child("MaxCntOfEmail", "SIM_CNT_OF_EMAIL")
        .AppendTo(&out);
    ReplaceAll(&out, "SIM_MAX_EMAIL_SIZE", Decimal(v.simMaxEmailAddrLength));
    ReplaceAll(&out, "SIM_CNT_OF_EMAIL", "SIM_MAX_TEL_NUM");
  }
  return out;
}

std::string SmsProperties() {
  std::string out;
  Property(Depth::kShallow, "MAX_RECEIVERS", "string").Child("ValEnum", "20").AppendTo(&out);
  Property(Depth::kShallow, "MAX_CONTENTS", "string").Child("ValEnum", "160").AppendTo(&out);
  return out;
}

std::string FileInfoProperties() {
  std::string out;
  Property(Depth::kShallow, "PHONE_TO_PHONE_SUPPORT", "string").Child("ValEnum", "true").AppendTo(&out);
  return out;
}

std::string MmsProperties() {
  std::string out;
  // The numeric properties' data type is spelled "interger" in the document hosts read.
  auto number = [&](std::string_view name, std::string_view maxSize) {
    Property(Depth::kShallow, name, "interger").Child("MaxSize", maxSize).AppendTo(&out);
  };
  Property(Depth::kShallow, "INFO_VALID", "string").Child("ValEnum", "TRUE").AppendTo(&out);
  number("SUBJECT_LEN_MAX", "40");
  number("SIZE_MAX", "MMS_MAX_SIZE");
  number("PAGE_MAX", "10");
  number("ADDR_LEN_MAX", "1024");
  number("ADDR_CNT_MAX", "20");
  Property(Depth::kShallow, "EXT_INFO", "string")
      .Child("ValEnum", "|mid|midi|mmf|imy|amr|mp3|")
      .AppendTo(&out);
  Property(Depth::kShallow, "ATTACH_INFO", "string")
      .Child("ValEnum", "|vcs|vcf|pdf|doc|ppt|xls|html|htm|")
      .AppendTo(&out);
  return out;
}

}  // namespace

void ReplaceAll(std::string* text, std::string_view token, std::string_view value) {
  if (token.empty()) return;
  size_t at = 0;
  while ((at = text->find(token, at)) != std::string::npos) {
    text->replace(at, token.size(), value);
    at += value.size();
  }
}

namespace {

// A number the document takes from a limit map ([0] phonebook, [1] calendar, [2] task,
// [3] SIM): the token it replaces and the map's key.
struct Limit {
  std::string_view token;
  std::u16string_view key;
};
constexpr size_t kPhonebook = 0, kCalendar = 1, kTask = 2, kSim = 3, kNoLimits = ~size_t{0};

constexpr Limit kPhonebookLimits[] = {
    {"PHONEBOOK_FIRST_NAME_SIZE", u"MAX_NAME_LENGTH"},
    {"PHONEBOOK_DISPLAY_NAME_SIZE", u"MAX_NAME_LENGTH"},
    {"PHONEBOOK_NICKNAME_SIZE", u"MAX_NAME_LENGTH"},
    {"PHONEBOOK_LAST_NAME_SIZE", u"MAX_NAME_LENGTH"},
    {"PHONEBOOK_JOBTITLE_SIZE", u"MAX_NAME_LENGTH"},
    {"PHONEBOOK_COMPANY_SIZE", u"MAX_NAME_LENGTH"},
    {"PHONEBOOK_TEL_NUM_SIZE", u"MAX_TEL_LENGTH"},
    {"PHONEBOOK_EMAIL_ADDR_SIZE", u"MAX_EMAIL_LENGTH"},
    {"PHONEBOOK_NOTES_SIZE", u"MAX_NOTE_LENGTH"},
    {"PHONEBOOK_URL_ADDR_SIZE", u"MAX_URL_LENGTH"},
    {"PHONEBOOK_MAX_MEM", u"TOTAL_COUNT"},
};
constexpr Limit kCalendarLimits[] = {
    {"CALENDAR_1_MAX_SUBJECT", u"MAX_SUBJECT"},   {"CALENDAR_1_MAX_LOCATION", u"MAX_LOCATION"},
    {"CALENDAR_1_MAX_DETAIL", u"MAX_DETAIL"},     {"CALENDAR_1_TYPE", u"TYPE"},
    {"CALENDAR_MAX_MEM", u"TOTAL_COUNT"},
};
constexpr Limit kTaskLimits[] = {{"TASK_MAX_SUBJECT", u"MAX_SUBJECT"},
                                 {"TASK_MAX_MEM", u"TOTAL_COUNT"}};
constexpr Limit kSimLimits[] = {
    {"SIM_MAX_DISPLAY_NAME", u"MAX_NAME_LENGTH"}, {"SIM_MAX_TEL_NUM", u"MAX_TEL_LENGTH"},
    {"SIM_ALLOWPLUSSIGN", u"ALLOWPLUSSIGN"},      {"SIM_MAX_MEM", u"TOTAL_COUNT"},
};

std::string GroupProperties(const DevInfValues&) {
  std::string out;
  Property(Depth::kDeep, "NAME", "string").Child("MaxSize", "255").AppendTo(&out);
  return out;
}

// One data store of the document, in the skeleton's order: the skeleton's token it
// replaces, its source, content type and version, whether its properties sit in a CTCap, its
// memory (a number or a limit token) and the limits filled in once the properties are in.
struct StoreTemplate {
  std::string_view docToken, source, type, version;
  bool ctCap;
  std::string_view maxMem;
  bool sharedMem;
  std::string (*properties)(const DevInfValues&);
  size_t limitMap;
  std::span<const Limit> limits;
};

const StoreTemplate kStores[] = {
    {"PHONEBOOK_BODY", "PHONEBOOK", "PHONEBOOK", "1.0", true, "PHONEBOOK_MAX_MEM", false,
     PhonebookProperties, kPhonebook, kPhonebookLimits},
    {"PHONEBOOK_GROUP_BODY", "PB_GROUP", "PB_GROUP", "1.0", true, "50", false, GroupProperties,
     kNoLimits, {}},
    {"CALENDAR_BODY", "CALENDAR_EVENT", "CALENDAR_EVENT", "1.0", true, "CALENDAR_MAX_MEM", true,
     CalendarProperties, kCalendar, kCalendarLimits},
    {"TASK_BODY", "TASK", "TASK", "1.0", true, "TASK_MAX_MEM", true,
     [](const DevInfValues&) { return TaskProperties(); }, kTask, kTaskLimits},
    {"SIM_BODY", "SIM_PHONEBOOK", "SIM_PHONEBOOK", "1.0", false, "SIM_MAX_MEM", false,
     SimProperties, kSim, kSimLimits},
    {"SMS_BODY", "SMS", "SMS", "1.0", false, "-1", false,
     [](const DevInfValues&) { return SmsProperties(); }, kNoLimits, {}},
    {"FILE_INFO_BODY", "FILE_INFO", "FILE_INFO", "1.0", false, "0", false,
     [](const DevInfValues&) { return FileInfoProperties(); }, kNoLimits, {}},
    {"MMS_BODY", "MMS", "application/vnd.mms-message", "2.0", false, "-1", false,
     [](const DevInfValues& v) {
       std::string properties = MmsProperties();
       ReplaceAll(&properties, "MMS_MAX_SIZE", Decimal(v.mmsMaxSize));
       return properties;
     },
     kNoLimits, {}},
};

}  // namespace

std::string BuildDevInfDocument(const DevInfValues& v) {
  static const FieldMap kNoMap;
  std::string doc(kSkeleton);
  ReplaceAll(&doc, "MANUFACTURER_NAME", v.manufacturer);
  ReplaceAll(&doc, "MODEL_NAME", v.modelName);
  for (const StoreTemplate& t : kStores) {
    const std::string properties = t.properties(v);
    std::string store = Store(t.source, t.type, t.version,
                              t.ctCap ? CtCap(t.type, properties) : properties,
                              MaxMem(t.maxMem, t.sharedMem));
    const FieldMap& limits =
        v.limitMaps && t.limitMap < v.limitMaps->size() ? (*v.limitMaps)[t.limitMap] : kNoMap;
    for (const Limit& l : t.limits) ReplaceAll(&store, l.token, Decimal(ReadFieldI4(limits, l.key, 0)));
    ReplaceAll(&doc, t.docToken, store);
  }
  return doc;
}

}  // namespace qwb
