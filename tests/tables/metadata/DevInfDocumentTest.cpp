// The device information document against documents written out by hand, line by line, for
// a domestic phone (model type 0, xLink dialling, a SIM with an extra number and an e-mail)
// and an international one (model type 1, no xLink value, no SIM answer); then the model
// rules one by one, and every document through an XML parser.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "tables/metadata/DevInfDocument.h"

namespace qwb {
namespace {

// Indentation helpers only: every element's text below is typed out.
using Texts = std::initializer_list<std::string>;
std::string Lines(Texts lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\r\n";
  return s;
}
// A property: its name and data type, then `children` (a line starting with a tab is taken
// as it is), its ValEnum values and `trailing` lines. Deep: inside a CTCap (three tabs,
// children four); shallow: directly in a data store (two tabs, children three).
std::string Prop(bool deep, const std::string& name, const std::string& type, Texts children = {},
                 Texts enums = {}, Texts trailing = {}) {
  const std::string outer = deep ? "\t\t\t" : "\t\t", inner = outer + "\t";
  std::string s = outer + "<Property>\r\n" + inner + "<PropName>" + name + "</PropName>\r\n" +
                  inner + "<DataType>" + type + "</DataType>\r\n";
  for (const std::string& c : children) s += (c[0] == '\t' ? c : inner + c) + "\r\n";
  for (const std::string& e : enums) s += inner + "<ValEnum>" + e + "</ValEnum>\r\n";
  for (const std::string& t : trailing) s += (t[0] == '\t' ? t : inner + t) + "\r\n";
  return s + outer + "</Property>\r\n";
}
std::string Deep(const std::string& name, const std::string& type, Texts children = {},
                 Texts enums = {}, Texts trailing = {}) {
  return Prop(true, name, type, children, enums, trailing);
}
std::string Shallow(const std::string& name, const std::string& type, Texts children = {},
                    Texts enums = {}) {
  return Prop(false, name, type, children, enums);
}

std::string Head(const std::string& model) {
  return Lines({"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "<DevInf xmlns='syncml:devinf'>",
                "\t<VerDTD>2.0</VerDTD>", "\t<Man>Tolvane</Man>", "\t<Mod>" + model + "</Mod>",
                "\t<FwV>1.0</FwV>", "\t<SwV>1.0</SwV>", "\t<HwV>1.0</HwV>",
                "\t<DevID>Unknwon</DevID>", "\t<DevTyp>phone</DevTyp>", "\t<UTC/>"});
}

std::string StoreHead(const std::string& source, const std::string& type, const std::string& ver) {
  return Lines({"\t<DataStore>", "\t\t<SourceRef>" + source + "</SourceRef>", "\t\t<Rx-Pref>",
                "\t\t\t<CTType>" + type + "</CTType>", "\t\t\t<VerCT>" + ver + "</VerCT>",
                "\t\t</Rx-Pref>", "\t\t<Tx-Pref>", "\t\t\t<CTType>" + type + "</CTType>",
                "\t\t\t<VerCT>" + ver + "</VerCT>", "\t\t</Tx-Pref>"});
}
std::string StoreTail(Texts memory) {
  std::string s = "\t\t<DSMem>\r\n";
  for (const std::string& m : memory) s += m + "\r\n";
  return s + Lines({"\t\t</DSMem>", "\t\t<SyncCap>", "\t\t\t<SyncType>4</SyncType>",
                    "\t\t\t<SyncType>5</SyncType>", "\t\t</SyncCap>", "\t</DataStore>"});
}
// A data store whose properties sit in a CTCap of its type.
std::string CtCapStore(const std::string& type, const std::string& properties, Texts memory) {
  return StoreHead(type, type, "1.0") +
         Lines({"\t\t<CTCap>", "\t\t\t<CTType>" + type + "</CTType>", "\t\t\t<VerCT>1.0</VerCT>"}) +
         properties + Lines({"\t\t</CTCap>"}) + StoreTail(memory);
}

std::string S255(const std::string& name) { return Deep(name, "string", {"<MaxSize>255</MaxSize>"}); }
std::string Counter(const std::string& name, const std::string& max) {
  return Deep(name, "string", {"<MaxValue>" + max + "</MaxValue>"});
}

// The phonebook's properties from FIRST_NAME to LAST_NAME, all limits 255.
std::string PhonebookNames() {
  return S255("FIRST_NAME") + S255("DISPLAY_NAME") + S255("NICKNAME") + S255("LAST_NAME");
}

std::string PhonebookMiddle() {
  return S255("JOBTITLE") + S255("COMPANY") + S255("DEPARTMENT") + S255("OFFICE_LOCATION") +
         Counter("URL_COUNT", "1") + S255("URL_ADDR") + Counter("EMAIL_COUNT", "3") +
         S255("EMAIL_ADDR") + Counter("MESSENGER_COUNT", "3") + S255("MESSENGER_ID") +
         Deep("NOTES", "string", {"<MaxSize>-1</MaxSize>"}) +
         Deep("PHOTO", "string", {"<MaxOccur>2</MaxOccur>"}, {"NONE", "IMAGE_PHOTO"}) +
         Deep("BIRTHDAY", "date") + Deep("ANNIVERSARY_DATE", "date") +
         Counter("ANNIVERSARY_COUNT", "2") + Counter("TEL_COUNT", "11") + S255("TEL_NUM") +
         Deep("TEL_TYPE", "string", {"<MaxOccur>11</MaxOccur>"},
              {"Mobile", "Landline.Private", "Landline.Business", "Landline.Private2",
               "Landline.Business2", "Fax.Private", "Fax.Business", "CarPhone", "Pager",
               "RadioTel", "Company"});
}

std::string TelDial() {
  return Deep("TEL_DIAL", "string",
              {"<MaxValue>99</MaxValue>", "<MinValue>1</MinValue>", "<LimitedValue>1</LimitedValue>"});
}

std::string PhonebookEnd() {
  return S255("GOVTID") + S255("CUSTOMERID") + S255("ACCOUNT") + S255("SPOUSE") +
         S255("CHILDREN") + S255("ASSISTANT") + S255("ASSISTANT_TEL") + S255("MANAGER") +
         Deep("ADDR_TYPE", "string", {"<MaxOccur>3</MaxOccur>"}, {"private", "business", "other"}) +
         Counter("ADDR_COUNT", "3") + S255("ADDR_EXTADDR") + S255("ADDR_POSTALCODE") +
         S255("ADDR_LOCALITY") + S255("ADDR_REGION") + S255("ADDR_COUNTRY") +
         Deep("MULTI_GROUP_COUNT", "integer", {"<MaxValue>50</MaxValue>"});
}

std::string PhonebookStore(const std::string& properties) {
  return CtCapStore("PHONEBOOK", properties, {"\t\t\t<MaxMem>-1</MaxMem>"});
}

std::string GroupStore() {
  return CtCapStore("PB_GROUP", S255("NAME"), {"\t\t\t<MaxMem>50</MaxMem>"});
}

const char kTypeComment[] =
    "\t\t\t\t<!--None=0, Daily, Weekly, Monthly, MonthlyNth, Yearly, YearlyNth-->";
const char kExpireComment[] = "\t\t\t\t<!-- End date=0, Occurrence, No end date-->";
const Texts kRecurrenceTypes = {"None",       "Daily",  "Weekly",   "Monthly",
                                "MonthlyNth", "Yearly", "YearlyNth"};
const Texts kRecurrenceFlags = {"WorkDay",   "Sunday",    "Monday",     "Tuesday",
                                "Wednesday", "Thursday",  "Friday",     "Saturday",
                                "Firstweek", "Secondweek", "Thirdweek", "Fourthweek",
                                "Lastweek"};
const Texts kSensitivities = {"Normal", "Personal", "Private", "Confidential"};

std::string CalendarStore(bool startDateType) {
  std::string p = Deep("SUBJECT", "string", {"<MaxSize>255</MaxSize>"}) +
                  Deep("LOCATION", "string", {"<MaxSize>255</MaxSize>"}) +
                  Deep("DETAIL", "string", {"<MaxSize>255</MaxSize>"}) +
                  Deep("START_DATE", "datetime") + Deep("END_DATE", "datetime");
  if (startDateType) p += Deep("START_DATE_TYPE", "string");
  p += Deep("ALARM_TYPE", "string", {}, {"Minute", "Hour", "Day", "Week"}) +
       Deep("ALARM_VALUE", "integer") + Deep("RECURRENCE_UI_TYPE", "string", {}, {"Type5"}) +
       Deep("RECURRENCE_TYPE", "integer", {}, kRecurrenceTypes, {kTypeComment}) +
       Deep("RECURRENCE_EVERY", "integer",
            {"\t\t\t\t<Condition>", "\t\t\t\t\t<PropName>RECURRENCE_TYPE</PropName>",
             "\t\t\t\t\t<ValEnum>Daily</ValEnum>", "\t\t\t\t\t<Apply>",
             "\t\t\t\t\t\t<ValEnum>1</ValEnum>", "\t\t\t\t\t</Apply>", "\t\t\t\t</Condition>"}) +
       Deep("RECURRENCE_FLAG", "integer", {}, kRecurrenceFlags) +
       Deep("RECURRENCE_EXPIRE_TYPE", "integer", {}, {"Enddate", "Occurrence", "Noenddate"},
            {kExpireComment}) +
       Deep("RECURRENCE_EXPIRE_VALUE", "datetime") + Deep("RECURRENCE_EXPIRE_DATE", "datetime") +
       Deep("CATEGORIES", "string") +
       Deep("STATUS", "string", {}, {"Free", "Tentative", "Busy", "OutofOffice"}) +
       Deep("SENSITIVITY", "string", {}, kSensitivities) +
       Deep("ISALLDAY", "string", {}, {"TRUE", "FALSE"}) +
       Deep("TYPE", "integer", {}, {"0"}, {"<DisplayName>Appointment</DisplayName>"});
  return CtCapStore("CALENDAR_EVENT", p, {"\t\t\t<SharedMem/>", "\t\t\t<MaxMem>-1</MaxMem>"});
}

std::string TaskStore() {
  std::string p =
      Deep("SUBJECT", "string", {"<MaxSize>255</MaxSize>"}) +
      Deep("DETAIL", "string", {"<MaxSize>-1</MaxSize>"}) + Deep("START_DATE", "date") +
      Deep("END_DATE", "date") + Deep("ALARM_TYPE", "string", {}, {"Date"}) +
      Deep("RECURRENCE_TYPE", "string", {}, kRecurrenceTypes, {kTypeComment}) +
      Deep("RECURRENCE_EVERY", "integer") +
      Deep("RECURRENCE_FLAG", "integer", {}, kRecurrenceFlags) +
      Deep("RECURRENCE_EXPIRE_TYPE", "integer", {}, {"Enddate", "Occurrence", "Noenddate"},
           {kExpireComment}) +
      Deep("RECURRENCE_EXPIRE_VALUE", "datetime") + Deep("RECURRENCE_EXPIRE_DATE", "datetime") +
      Deep("CATEGORIES", "string") + Deep("SENSITIVITY", "string", {}, kSensitivities) +
      Deep("PRIORITY", "string", {}, {"Low", "Normal", "High"}) +
      Deep("DONE_STATE", "string", {}, {"TRUE", "FALSE"}) +
      Deep("ALARM_VALUE", "string", {}, {"Date"});
  return CtCapStore("TASK", p, {"\t\t\t<SharedMem/>", "\t\t\t<MaxMem>-1</MaxMem>"});
}

// The SIM's number property: its size, the count of numbers, the extra numbers' count,
// length and count at that length, and the plus-sign parameter.
std::string SimTel(const std::string& size, const std::string& anrs, const std::string& anrLength,
                   const std::string& anrsAtLength) {
  return Shallow("TEL_NUM", "string",
                 {"<MaxSize>" + size + "</MaxSize>", "<MaxCntTelNum>1</MaxCntTelNum>",
                  "<MaxCntOfANR>" + anrs + "</MaxCntOfANR>",
                  "<MaxAnrLength>" + anrLength + "</MaxAnrLength>",
                  "<MaxCntOfMaxAnrLength>" + anrsAtLength + "</MaxCntOfMaxAnrLength>",
                  "\t\t\t<PropParam>", "\t\t\t\t<ParamName>ALLOWPLUSSIGN</ParamName>",
                  "\t\t\t\t<ValEnum>0</ValEnum>", "\t\t\t</PropParam>"});
}

std::string TailStores(const std::string& mmsSize) {
  auto number = [](const std::string& name, const std::string& max) {
    return Shallow(name, "interger", {"<MaxSize>" + max + "</MaxSize>"});
  };
  return StoreHead("SMS", "SMS", "1.0") + Shallow("MAX_RECEIVERS", "string", {}, {"20"}) +
         Shallow("MAX_CONTENTS", "string", {}, {"160"}) +
         StoreTail({"\t\t\t<MaxMem>-1</MaxMem>"}) + StoreHead("FILE_INFO", "FILE_INFO", "1.0") +
         Shallow("PHONE_TO_PHONE_SUPPORT", "string", {}, {"true"}) +
         StoreTail({"\t\t\t<MaxMem>0</MaxMem>"}) +
         StoreHead("MMS", "application/vnd.mms-message", "2.0") +
         Shallow("INFO_VALID", "string", {}, {"TRUE"}) + number("SUBJECT_LEN_MAX", "40") +
         number("SIZE_MAX", mmsSize) + number("PAGE_MAX", "10") +
         number("ADDR_LEN_MAX", "1024") + number("ADDR_CNT_MAX", "20") +
         Shallow("EXT_INFO", "string", {}, {"|mid|midi|mmf|imy|amr|mp3|"}) +
         Shallow("ATTACH_INFO", "string", {}, {"|vcs|vcf|pdf|doc|ppt|xls|html|htm|"}) +
         StoreTail({"\t\t\t<MaxMem>-1</MaxMem>"}) + "</DevInf>\r\n";
}

// The limit maps as the metadata table builds them (VT_INT values, TYPE and ALLOWPLUSSIGN
// VT_I4), with the SIM's four values given.
Variant Int(LONG n) {
  Variant v;
  v.Ptr()->vt = VT_INT;
  v.Ptr()->lVal = n;
  return v;
}
std::vector<FieldMap> Limits(LONG simTel, LONG simName, LONG simUsed, LONG simTotal) {
  std::vector<FieldMap> maps(4);
  for (auto [k, v] : std::initializer_list<std::pair<const char16_t*, LONG>>{
           {u"MAX_TEL_LENGTH", 255}, {u"MAX_NAME_LENGTH", 255}, {u"MAX_URL_LENGTH", 255},
           {u"MAX_EMAIL_LENGTH", 255}, {u"MAX_NOTE_LENGTH", -1}, {u"TOTAL_COUNT", -1}})
    PutField(maps[0], k, Int(v));
  for (size_t m : {1, 2})
    for (auto [k, v] : std::initializer_list<std::pair<const char16_t*, LONG>>{
             {u"USED_COUNT", 0}, {u"TOTAL_COUNT", -1}, {u"MAX_SUBJECT", 255},
             {u"MAX_DETAIL", 255}, {u"MAX_LOCATION", 255}})
      PutField(maps[m], k, Int(v));
  PutField(maps[1], u"TYPE", Variant::I4(0));
  PutField(maps[3], u"MAX_TEL_LENGTH", Int(simTel));
  PutField(maps[3], u"MAX_NAME_LENGTH", Int(simName));
  PutField(maps[3], u"USED_COUNT", Int(simUsed));
  PutField(maps[3], u"TOTAL_COUNT", Int(simTotal));
  PutField(maps[3], u"ALLOWPLUSSIGN", Variant::I4(0));
  return maps;
}

void ExpectSameText(const std::string& got, const std::string& want) {
  ASSERT_EQ(got.size(), want.size()) << got;
  for (size_t i = 0; i < want.size(); ++i) {
    if (got[i] != want[i]) {
      size_t from = i < 80 ? 0 : i - 80;
      FAIL() << "differs at byte " << i << "\nwant: ..." << want.substr(from, 160)
             << "\ngot:  ..." << got.substr(from, 160);
    }
  }
}

void ExpectWellFormed(const std::string& doc) {
  pugi::xml_document xml;
  pugi::xml_parse_result r = xml.load_string(doc.c_str());
  ASSERT_TRUE(r) << r.description() << " at " << r.offset;
  pugi::xml_node root = xml.child("DevInf");
  EXPECT_STREQ(root.attribute("xmlns").value(), "syncml:devinf");
  EXPECT_EQ(std::distance(root.children("DataStore").begin(), root.children("DataStore").end()),
            8);
}

TEST(DevInfDocument, DomesticPhoneWholeDocument) {
  std::vector<FieldMap> maps = Limits(40, 14, 20, 250);
  DevInfValues v;
  v.manufacturer = "Tolvane";
  v.modelName = "Hanul HD-100";
  v.modelType = 0;
  v.limitMaps = &maps;
  v.mmsMaxSize = 307200;
  v.telDial = true;
  v.simAnrCount = 1;
  v.simMaxAnrLength = 40;
  v.simEmailAddrCount = 1;
  v.simMaxEmailAddrLength = 40;

  const std::string phonebook =
      PhonebookNames() + S255("TITLE_NAME") + S255("SUFFIX_NAME") + PhonebookMiddle() +
      TelDial() + PhonebookEnd() +
      Deep("SUPPORT_PHONE_TEXT", "string", {"<MaxOccur>1</MaxOccur>"}, {"+,W"});
  const std::string sim =
      StoreHead("SIM_PHONEBOOK", "SIM_PHONEBOOK", "1.0") +
      Shallow("DISPLAY_NAME", "string", {"<MaxSize>14</MaxSize>"}) +
      SimTel("40", "40", "40", "40") +
      Shallow("EMAIL_ADDR", "string", {"<MaxSize>40</MaxSize>", "<MaxCntOfEmail>40</MaxCntOfEmail>"}) +
      StoreTail({"\t\t\t<MaxMem>250</MaxMem>"});
  const std::string want = Head("Hanul HD-100") + PhonebookStore(phonebook) + GroupStore() +
                           CalendarStore(true) + TaskStore() + sim + TailStores("307200");
  const std::string got = BuildDevInfDocument(v);
  ExpectSameText(got, want);
  ExpectWellFormed(got);
}

TEST(DevInfDocument, InternationalPhoneWithoutSimAnswerWholeDocument) {
  // The SIM call failed: the fallback limits, and capacity fields never filled.
  std::vector<FieldMap> maps = Limits(255, 255, 0, 1000);
  DevInfValues v;
  v.manufacturer = "Tolvane";
  v.modelName = "Aster W1";
  v.modelType = 1;
  v.limitMaps = &maps;
  v.mmsMaxSize = 307200;
  v.telDial = false;

  const std::string phonebook = PhonebookNames() + S255("MIDDLE_NAME") + S255("TITLE_NAME") +
                                S255("SUFFIX_NAME") + PhonebookMiddle() + PhonebookEnd();
  const std::string sim =
      StoreHead("SIM_PHONEBOOK", "SIM_PHONEBOOK", "1.0") +
      Shallow("DISPLAY_NAME", "string", {"<MaxSize>255</MaxSize>"}) +
      SimTel("255", "0", "0", "0") +
      StoreTail({"\t\t\t<MaxMem>1000</MaxMem>"});
  const std::string want = Head("Aster W1") + PhonebookStore(phonebook) + GroupStore() +
                           CalendarStore(false) + TaskStore() + sim + TailStores("307200");
  const std::string got = BuildDevInfDocument(v);
  ExpectSameText(got, want);
  ExpectWellFormed(got);
}

// The properties a model's document has, by name, in order.
std::vector<std::string> PhonebookPropertyNames(const std::string& doc) {
  pugi::xml_document xml;
  EXPECT_TRUE(xml.load_string(doc.c_str()));
  std::vector<std::string> names;
  for (pugi::xml_node store : xml.child("DevInf").children("DataStore"))
    if (std::string(store.child_value("SourceRef")) == "PHONEBOOK")
      for (pugi::xml_node p : store.child("CTCap").children("Property"))
        names.push_back(p.child_value("PropName"));
  return names;
}
bool Has(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

TEST(DevInfDocument, ModelRules) {
  std::vector<FieldMap> maps = Limits(255, 255, 0, 1000);
  struct Case {
    const char* model;
    int type;
    bool middle, title;
    const char* phoneText;  // null: no SUPPORT_PHONE_TEXT
    bool startDateType;
  };
  const Case cases[] = {
      {"Hanul HD-100", 0, false, true, "+,W", true},
      {"Aster W1", 1, true, true, nullptr, false},
      {"Aster Pad M7", 2, true, true, nullptr, false},
      {"Hanul HS-200", 3, false, true, "+,W", true},
      {"Hanul HL-300", 4, false, true, "W", true},
      {"Hanul HK-400", 5, false, true, "+,W,P", true},
      {"Aster S2", 6, true, true, nullptr, false},
      {"QX-M4100A", 1, false, false, nullptr, false},
      {"QXH-i207", 4, false, false, "W", true},
      {"qx-m4100a", 1, true, true, nullptr, false},  // compared byte for byte
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    DevInfValues v;
    v.manufacturer = "Tolvane";
    v.modelName = c.model;
    v.modelType = c.type;
    v.limitMaps = &maps;
    const std::string doc = BuildDevInfDocument(v);
    ExpectWellFormed(doc);
    std::vector<std::string> names = PhonebookPropertyNames(doc);
    EXPECT_EQ(Has(names, "MIDDLE_NAME"), c.middle);
    EXPECT_EQ(Has(names, "TITLE_NAME"), c.title);
    EXPECT_EQ(Has(names, "SUFFIX_NAME"), c.title);
    EXPECT_FALSE(Has(names, "TEL_DIAL"));
    if (c.phoneText) {
      ASSERT_EQ(names.back(), "SUPPORT_PHONE_TEXT");
      EXPECT_NE(doc.find("<ValEnum>" + std::string(c.phoneText) + "</ValEnum>\r\n\t\t\t</Property>"
                         "\r\n\t\t</CTCap>"),
                std::string::npos);
    } else {
      EXPECT_EQ(names.back(), "MULTI_GROUP_COUNT");
    }
    EXPECT_EQ(doc.find("START_DATE_TYPE") != std::string::npos, c.startDateType);
  }
}

TEST(DevInfDocument, SimCapacitiesAndOddValues) {
  // Two extra numbers and no e-mail; a model name that is longer XML-safe text; an MMS size
  // past 2^31 is written as a signed 32-bit number like every other value.
  std::vector<FieldMap> maps = Limits(20, 12, 3, 100);
  DevInfValues v;
  v.manufacturer = "Tolvane";
  v.modelName = "Aster W1";
  v.modelType = 1;
  v.limitMaps = &maps;
  v.mmsMaxSize = 0x80000000u;
  v.simAnrCount = 2;
  v.simMaxAnrLength = 32;
  v.simEmailAddrCount = 0;
  v.simMaxEmailAddrLength = 60;
  const std::string doc = BuildDevInfDocument(v);
  EXPECT_NE(doc.find("\t\t\t<MaxSize>20</MaxSize>\r\n\t\t\t<MaxCntTelNum>2</MaxCntTelNum>\r\n"
                     "\t\t\t<MaxCntOfANR>20</MaxCntOfANR>\r\n\t\t\t<MaxAnrLength>32</MaxAnrLength>"
                     "\r\n\t\t\t<MaxCntOfMaxAnrLength>20</MaxCntOfMaxAnrLength>\r\n"),
            std::string::npos);
  EXPECT_EQ(doc.find("EMAIL_ADDR</PropName>\r\n\t\t\t<DataType>"), std::string::npos);
  EXPECT_NE(doc.find("<MaxSize>-2147483648</MaxSize>"), std::string::npos);
  EXPECT_NE(doc.find("\t\t\t<MaxMem>100</MaxMem>"), std::string::npos);

  // Missing maps read as 0 everywhere; the document is still whole.
  DevInfValues bare;
  bare.manufacturer = "Tolvane";
  bare.modelName = "Tolvane-WM";
  const std::string empty = BuildDevInfDocument(bare);
  ExpectWellFormed(empty);
  EXPECT_NE(empty.find("<Mod>Tolvane-WM</Mod>"), std::string::npos);
  EXPECT_EQ(empty.find("SIM_MAX"), std::string::npos);
  EXPECT_EQ(empty.find("_SIZE<"), std::string::npos);
}

}  // namespace
}  // namespace qwb
