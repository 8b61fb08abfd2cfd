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
std::string Lines(std::initializer_list<std::string> lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\r\n";
  return s;
}
// A property inside a CTCap (three tabs, children four).
std::string Deep(std::initializer_list<std::string> children) {
  std::string s = "\t\t\t<Property>\r\n";
  for (const std::string& c : children) s += (c[0] == '\t' ? c : "\t\t\t\t" + c) + "\r\n";
  return s + "\t\t\t</Property>\r\n";
}
// A property directly in a data store (two tabs, children three).
std::string Shallow(std::initializer_list<std::string> children) {
  std::string s = "\t\t<Property>\r\n";
  for (const std::string& c : children) s += (c[0] == '\t' ? c : "\t\t\t" + c) + "\r\n";
  return s + "\t\t</Property>\r\n";
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
std::string StoreTail(std::initializer_list<std::string> memory) {
  std::string s = "\t\t<DSMem>\r\n";
  for (const std::string& m : memory) s += m + "\r\n";
  return s + Lines({"\t\t</DSMem>", "\t\t<SyncCap>", "\t\t\t<SyncType>4</SyncType>",
                    "\t\t\t<SyncType>5</SyncType>", "\t\t</SyncCap>", "\t</DataStore>"});
}

std::string S255(const std::string& name) {
  return Deep({"<PropName>" + name + "</PropName>", "<DataType>string</DataType>",
               "<MaxSize>255</MaxSize>"});
}

// The phonebook's properties from FIRST_NAME to LAST_NAME, all limits 255.
std::string PhonebookNames() {
  return S255("FIRST_NAME") + S255("DISPLAY_NAME") + S255("NICKNAME") + S255("LAST_NAME");
}

std::string PhonebookMiddle() {
  return S255("JOBTITLE") + S255("COMPANY") + S255("DEPARTMENT") + S255("OFFICE_LOCATION") +
         Deep({"<PropName>URL_COUNT</PropName>", "<DataType>string</DataType>",
               "<MaxValue>1</MaxValue>"}) +
         S255("URL_ADDR") +
         Deep({"<PropName>EMAIL_COUNT</PropName>", "<DataType>string</DataType>",
               "<MaxValue>3</MaxValue>"}) +
         S255("EMAIL_ADDR") +
         Deep({"<PropName>MESSENGER_COUNT</PropName>", "<DataType>string</DataType>",
               "<MaxValue>3</MaxValue>"}) +
         S255("MESSENGER_ID") +
         Deep({"<PropName>NOTES</PropName>", "<DataType>string</DataType>",
               "<MaxSize>-1</MaxSize>"}) +
         Deep({"<PropName>PHOTO</PropName>", "<DataType>string</DataType>",
               "<MaxOccur>2</MaxOccur>", "<ValEnum>NONE</ValEnum>",
               "<ValEnum>IMAGE_PHOTO</ValEnum>"}) +
         Deep({"<PropName>BIRTHDAY</PropName>", "<DataType>date</DataType>"}) +
         Deep({"<PropName>ANNIVERSARY_DATE</PropName>", "<DataType>date</DataType>"}) +
         Deep({"<PropName>ANNIVERSARY_COUNT</PropName>", "<DataType>string</DataType>",
               "<MaxValue>2</MaxValue>"}) +
         Deep({"<PropName>TEL_COUNT</PropName>", "<DataType>string</DataType>",
               "<MaxValue>11</MaxValue>"}) +
         S255("TEL_NUM") +
         Deep({"<PropName>TEL_TYPE</PropName>", "<DataType>string</DataType>",
               "<MaxOccur>11</MaxOccur>", "<ValEnum>Mobile</ValEnum>",
               "<ValEnum>Landline.Private</ValEnum>", "<ValEnum>Landline.Business</ValEnum>",
               "<ValEnum>Landline.Private2</ValEnum>", "<ValEnum>Landline.Business2</ValEnum>",
               "<ValEnum>Fax.Private</ValEnum>", "<ValEnum>Fax.Business</ValEnum>",
               "<ValEnum>CarPhone</ValEnum>", "<ValEnum>Pager</ValEnum>",
               "<ValEnum>RadioTel</ValEnum>", "<ValEnum>Company</ValEnum>"});
}

std::string TelDial() {
  return Deep({"<PropName>TEL_DIAL</PropName>", "<DataType>string</DataType>",
               "<MaxValue>99</MaxValue>", "<MinValue>1</MinValue>",
               "<LimitedValue>1</LimitedValue>"});
}

std::string PhonebookEnd() {
  return S255("GOVTID") + S255("CUSTOMERID") + S255("ACCOUNT") + S255("SPOUSE") +
         S255("CHILDREN") + S255("ASSISTANT") + S255("ASSISTANT_TEL") + S255("MANAGER") +
         Deep({"<PropName>ADDR_TYPE</PropName>", "<DataType>string</DataType>",
               "<MaxOccur>3</MaxOccur>", "<ValEnum>private</ValEnum>",
               "<ValEnum>business</ValEnum>", "<ValEnum>other</ValEnum>"}) +
         Deep({"<PropName>ADDR_COUNT</PropName>", "<DataType>string</DataType>",
               "<MaxValue>3</MaxValue>"}) +
         S255("ADDR_EXTADDR") + S255("ADDR_POSTALCODE") + S255("ADDR_LOCALITY") +
         S255("ADDR_REGION") + S255("ADDR_COUNTRY") +
         Deep({"<PropName>MULTI_GROUP_COUNT</PropName>", "<DataType>integer</DataType>",
               "<MaxValue>50</MaxValue>"});
}

std::string PhonebookStore(const std::string& properties) {
  return StoreHead("PHONEBOOK", "PHONEBOOK", "1.0") +
         Lines({"\t\t<CTCap>", "\t\t\t<CTType>PHONEBOOK</CTType>", "\t\t\t<VerCT>1.0</VerCT>"}) +
         properties + Lines({"\t\t</CTCap>"}) + StoreTail({"\t\t\t<MaxMem>-1</MaxMem>"});
}

std::string GroupStore() {
  return StoreHead("PB_GROUP", "PB_GROUP", "1.0") +
         Lines({"\t\t<CTCap>", "\t\t\t<CTType>PB_GROUP</CTType>", "\t\t\t<VerCT>1.0</VerCT>",
                "\t\t\t<Property>", "\t\t\t\t<PropName>NAME</PropName>",
                "\t\t\t\t<DataType>string</DataType>", "\t\t\t\t<MaxSize>255</MaxSize>",
                "\t\t\t</Property>", "\t\t</CTCap>"}) +
         StoreTail({"\t\t\t<MaxMem>50</MaxMem>"});
}

const char kTypeComment[] =
    "\t\t\t\t<!--None=0, Daily, Weekly, Monthly, MonthlyNth, Yearly, YearlyNth-->";
const char kExpireComment[] = "\t\t\t\t<!-- End date=0, Occurrence, No end date-->";

std::string CalendarStore(bool startDateType) {
  std::string p =
      Deep({"<PropName>SUBJECT</PropName>", "<DataType>string</DataType>",
            "<MaxSize>255</MaxSize>"}) +
      Deep({"<PropName>LOCATION</PropName>", "<DataType>string</DataType>",
            "<MaxSize>255</MaxSize>"}) +
      Deep({"<PropName>DETAIL</PropName>", "<DataType>string</DataType>",
            "<MaxSize>255</MaxSize>"}) +
      Deep({"<PropName>START_DATE</PropName>", "<DataType>datetime</DataType>"}) +
      Deep({"<PropName>END_DATE</PropName>", "<DataType>datetime</DataType>"});
  if (startDateType)
    p += Deep({"<PropName>START_DATE_TYPE</PropName>", "<DataType>string</DataType>"});
  p += Deep({"<PropName>ALARM_TYPE</PropName>", "<DataType>string</DataType>",
             "<ValEnum>Minute</ValEnum>", "<ValEnum>Hour</ValEnum>", "<ValEnum>Day</ValEnum>",
             "<ValEnum>Week</ValEnum>"}) +
       Deep({"<PropName>ALARM_VALUE</PropName>", "<DataType>integer</DataType>"}) +
       Deep({"<PropName>RECURRENCE_UI_TYPE</PropName>", "<DataType>string</DataType>",
             "<ValEnum>Type5</ValEnum>"}) +
       Deep({"<PropName>RECURRENCE_TYPE</PropName>", "<DataType>integer</DataType>",
             "<ValEnum>None</ValEnum>", "<ValEnum>Daily</ValEnum>", "<ValEnum>Weekly</ValEnum>",
             "<ValEnum>Monthly</ValEnum>", "<ValEnum>MonthlyNth</ValEnum>",
             "<ValEnum>Yearly</ValEnum>", "<ValEnum>YearlyNth</ValEnum>", kTypeComment}) +
       Deep({"<PropName>RECURRENCE_EVERY</PropName>", "<DataType>integer</DataType>",
             "\t\t\t\t<Condition>", "\t\t\t\t\t<PropName>RECURRENCE_TYPE</PropName>",
             "\t\t\t\t\t<ValEnum>Daily</ValEnum>", "\t\t\t\t\t<Apply>",
             "\t\t\t\t\t\t<ValEnum>1</ValEnum>", "\t\t\t\t\t</Apply>", "\t\t\t\t</Condition>"}) +
       Deep({"<PropName>RECURRENCE_FLAG</PropName>", "<DataType>integer</DataType>",
             "<ValEnum>WorkDay</ValEnum>", "<ValEnum>Sunday</ValEnum>",
             "<ValEnum>Monday</ValEnum>", "<ValEnum>Tuesday</ValEnum>",
             "<ValEnum>Wednesday</ValEnum>", "<ValEnum>Thursday</ValEnum>",
             "<ValEnum>Friday</ValEnum>", "<ValEnum>Saturday</ValEnum>",
             "<ValEnum>Firstweek</ValEnum>", "<ValEnum>Secondweek</ValEnum>",
             "<ValEnum>Thirdweek</ValEnum>", "<ValEnum>Fourthweek</ValEnum>",
             "<ValEnum>Lastweek</ValEnum>"}) +
       Deep({"<PropName>RECURRENCE_EXPIRE_TYPE</PropName>", "<DataType>integer</DataType>",
             "<ValEnum>Enddate</ValEnum>", "<ValEnum>Occurrence</ValEnum>",
             "<ValEnum>Noenddate</ValEnum>", kExpireComment}) +
       Deep({"<PropName>RECURRENCE_EXPIRE_VALUE</PropName>", "<DataType>datetime</DataType>"}) +
       Deep({"<PropName>RECURRENCE_EXPIRE_DATE</PropName>", "<DataType>datetime</DataType>"}) +
       Deep({"<PropName>CATEGORIES</PropName>", "<DataType>string</DataType>"}) +
       Deep({"<PropName>STATUS</PropName>", "<DataType>string</DataType>",
             "<ValEnum>Free</ValEnum>", "<ValEnum>Tentative</ValEnum>",
             "<ValEnum>Busy</ValEnum>", "<ValEnum>OutofOffice</ValEnum>"}) +
       Deep({"<PropName>SENSITIVITY</PropName>", "<DataType>string</DataType>",
             "<ValEnum>Normal</ValEnum>", "<ValEnum>Personal</ValEnum>",
             "<ValEnum>Private</ValEnum>", "<ValEnum>Confidential</ValEnum>"}) +
       Deep({"<PropName>ISALLDAY</PropName>", "<DataType>string</DataType>",
             "<ValEnum>TRUE</ValEnum>", "<ValEnum>FALSE</ValEnum>"}) +
       Deep({"<PropName>TYPE</PropName>", "<DataType>integer</DataType>", "<ValEnum>0</ValEnum>",
             "<DisplayName>Appointment</DisplayName>"});
  return StoreHead("CALENDAR_EVENT", "CALENDAR_EVENT", "1.0") +
         Lines({"\t\t<CTCap>", "\t\t\t<CTType>CALENDAR_EVENT</CTType>",
                "\t\t\t<VerCT>1.0</VerCT>"}) +
         p + Lines({"\t\t</CTCap>"}) +
         StoreTail({"\t\t\t<SharedMem/>", "\t\t\t<MaxMem>-1</MaxMem>"});
}

std::string TaskStore() {
  std::string p =
      Deep({"<PropName>SUBJECT</PropName>", "<DataType>string</DataType>",
            "<MaxSize>255</MaxSize>"}) +
      Deep({"<PropName>DETAIL</PropName>", "<DataType>string</DataType>",
            "<MaxSize>-1</MaxSize>"}) +
      Deep({"<PropName>START_DATE</PropName>", "<DataType>date</DataType>"}) +
      Deep({"<PropName>END_DATE</PropName>", "<DataType>date</DataType>"}) +
      Deep({"<PropName>ALARM_TYPE</PropName>", "<DataType>string</DataType>",
            "<ValEnum>Date</ValEnum>"}) +
      Deep({"<PropName>RECURRENCE_TYPE</PropName>", "<DataType>string</DataType>",
            "<ValEnum>None</ValEnum>", "<ValEnum>Daily</ValEnum>", "<ValEnum>Weekly</ValEnum>",
            "<ValEnum>Monthly</ValEnum>", "<ValEnum>MonthlyNth</ValEnum>",
            "<ValEnum>Yearly</ValEnum>", "<ValEnum>YearlyNth</ValEnum>", kTypeComment}) +
      Deep({"<PropName>RECURRENCE_EVERY</PropName>", "<DataType>integer</DataType>"}) +
      Deep({"<PropName>RECURRENCE_FLAG</PropName>", "<DataType>integer</DataType>",
            "<ValEnum>WorkDay</ValEnum>", "<ValEnum>Sunday</ValEnum>",
            "<ValEnum>Monday</ValEnum>", "<ValEnum>Tuesday</ValEnum>",
            "<ValEnum>Wednesday</ValEnum>", "<ValEnum>Thursday</ValEnum>",
            "<ValEnum>Friday</ValEnum>", "<ValEnum>Saturday</ValEnum>",
            "<ValEnum>Firstweek</ValEnum>", "<ValEnum>Secondweek</ValEnum>",
            "<ValEnum>Thirdweek</ValEnum>", "<ValEnum>Fourthweek</ValEnum>",
            "<ValEnum>Lastweek</ValEnum>"}) +
      Deep({"<PropName>RECURRENCE_EXPIRE_TYPE</PropName>", "<DataType>integer</DataType>",
            "<ValEnum>Enddate</ValEnum>", "<ValEnum>Occurrence</ValEnum>",
            "<ValEnum>Noenddate</ValEnum>", kExpireComment}) +
      Deep({"<PropName>RECURRENCE_EXPIRE_VALUE</PropName>", "<DataType>datetime</DataType>"}) +
      Deep({"<PropName>RECURRENCE_EXPIRE_DATE</PropName>", "<DataType>datetime</DataType>"}) +
      Deep({"<PropName>CATEGORIES</PropName>", "<DataType>string</DataType>"}) +
      Deep({"<PropName>SENSITIVITY</PropName>", "<DataType>string</DataType>",
            "<ValEnum>Normal</ValEnum>", "<ValEnum>Personal</ValEnum>",
            "<ValEnum>Private</ValEnum>", "<ValEnum>Confidential</ValEnum>"}) +
      Deep({"<PropName>PRIORITY</PropName>", "<DataType>string</DataType>",
            "<ValEnum>Low</ValEnum>", "<ValEnum>Normal</ValEnum>", "<ValEnum>High</ValEnum>"}) +
      Deep({"<PropName>DONE_STATE</PropName>", "<DataType>string</DataType>",
            "<ValEnum>TRUE</ValEnum>", "<ValEnum>FALSE</ValEnum>"}) +
      Deep({"<PropName>ALARM_VALUE</PropName>", "<DataType>string</DataType>",
            "<ValEnum>Date</ValEnum>"});
  return StoreHead("TASK", "TASK", "1.0") +
         Lines({"\t\t<CTCap>", "\t\t\t<CTType>TASK</CTType>", "\t\t\t<VerCT>1.0</VerCT>"}) + p +
         Lines({"\t\t</CTCap>"}) +
         StoreTail({"\t\t\t<SharedMem/>", "\t\t\t<MaxMem>-1</MaxMem>"});
}

std::string PlusSignParam() {
  return Lines({"\t\t\t<PropParam>", "\t\t\t\t<ParamName>ALLOWPLUSSIGN</ParamName>",
                "\t\t\t\t<ValEnum>0</ValEnum>", "\t\t\t</PropParam>"});
}

std::string TailStores(const std::string& mmsSize) {
  return StoreHead("SMS", "SMS", "1.0") +
         Shallow({"<PropName>MAX_RECEIVERS</PropName>", "<DataType>string</DataType>",
                  "<ValEnum>20</ValEnum>"}) +
         Shallow({"<PropName>MAX_CONTENTS</PropName>", "<DataType>string</DataType>",
                  "<ValEnum>160</ValEnum>"}) +
         StoreTail({"\t\t\t<MaxMem>-1</MaxMem>"}) + StoreHead("FILE_INFO", "FILE_INFO", "1.0") +
         Shallow({"<PropName>PHONE_TO_PHONE_SUPPORT</PropName>", "<DataType>string</DataType>",
                  "<ValEnum>true</ValEnum>"}) +
         StoreTail({"\t\t\t<MaxMem>0</MaxMem>"}) +
         StoreHead("MMS", "application/vnd.mms-message", "2.0") +
         Shallow({"<PropName>INFO_VALID</PropName>", "<DataType>string</DataType>",
                  "<ValEnum>TRUE</ValEnum>"}) +
         Shallow({"<PropName>SUBJECT_LEN_MAX</PropName>", "<DataType>interger</DataType>",
                  "<MaxSize>40</MaxSize>"}) +
         Shallow({"<PropName>SIZE_MAX</PropName>", "<DataType>interger</DataType>",
                  "<MaxSize>" + mmsSize + "</MaxSize>"}) +
         Shallow({"<PropName>PAGE_MAX</PropName>", "<DataType>interger</DataType>",
                  "<MaxSize>10</MaxSize>"}) +
         Shallow({"<PropName>ADDR_LEN_MAX</PropName>", "<DataType>interger</DataType>",
                  "<MaxSize>1024</MaxSize>"}) +
         Shallow({"<PropName>ADDR_CNT_MAX</PropName>", "<DataType>interger</DataType>",
                  "<MaxSize>20</MaxSize>"}) +
         Shallow({"<PropName>EXT_INFO</PropName>", "<DataType>string</DataType>",
                  "<ValEnum>|mid|midi|mmf|imy|amr|mp3|</ValEnum>"}) +
         Shallow({"<PropName>ATTACH_INFO</PropName>", "<DataType>string</DataType>",
                  "<ValEnum>|vcs|vcf|pdf|doc|ppt|xls|html|htm|</ValEnum>"}) +
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
      Deep({"<PropName>SUPPORT_PHONE_TEXT</PropName>", "<DataType>string</DataType>",
            "<MaxOccur>1</MaxOccur>", "<ValEnum>+,W</ValEnum>"});
  const std::string sim =
      StoreHead("SIM_PHONEBOOK", "SIM_PHONEBOOK", "1.0") +
      Shallow({"<PropName>DISPLAY_NAME</PropName>", "<DataType>string</DataType>",
               "<MaxSize>14</MaxSize>"}) +
      Lines({"\t\t<Property>", "\t\t\t<PropName>TEL_NUM</PropName>",
             "\t\t\t<DataType>string</DataType>", "\t\t\t<MaxSize>40</MaxSize>",
             "\t\t\t<MaxCntTelNum>1</MaxCntTelNum>", "\t\t\t<MaxCntOfANR>40</MaxCntOfANR>",
             "\t\t\t<MaxAnrLength>40</MaxAnrLength>",
             "\t\t\t<MaxCntOfMaxAnrLength>40</MaxCntOfMaxAnrLength>"}) +
      PlusSignParam() + Lines({"\t\t</Property>"}) +
      Shallow({"<PropName>EMAIL_ADDR</PropName>", "<DataType>string</DataType>",
               "<MaxSize>40</MaxSize>", "<MaxCntOfEmail>40</MaxCntOfEmail>"}) +
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
      Shallow({"<PropName>DISPLAY_NAME</PropName>", "<DataType>string</DataType>",
               "<MaxSize>255</MaxSize>"}) +
      Lines({"\t\t<Property>", "\t\t\t<PropName>TEL_NUM</PropName>",
             "\t\t\t<DataType>string</DataType>", "\t\t\t<MaxSize>255</MaxSize>",
             "\t\t\t<MaxCntTelNum>1</MaxCntTelNum>", "\t\t\t<MaxCntOfANR>0</MaxCntOfANR>",
             "\t\t\t<MaxAnrLength>0</MaxAnrLength>",
             "\t\t\t<MaxCntOfMaxAnrLength>0</MaxCntOfMaxAnrLength>"}) +
      PlusSignParam() + Lines({"\t\t</Property>"}) +
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
