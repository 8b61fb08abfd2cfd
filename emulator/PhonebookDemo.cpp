#include "emulator/PhonebookDemo.h"

#include <cstdio>
#include <string>
#include <vector>

#include "emulator/MediaSamples.h"
#include "emulator/PhonebookStore.h"
#include "emulator/Presets.h"
#include "emulator/RecordStore.h"
#include "emulator/Text.h"
#include "link/DeviceRecord.h"
#include "link/PhonebookPacket.h"

namespace wmemu {
namespace {

// A small linear congruential generator: the demo must come out the same everywhere.
class Dice {
 public:
  explicit Dice(uint32_t seed) : s_(seed) {}
  uint32_t Next() {
    s_ = s_ * 1664525u + 1013904223u;
    return s_ >> 8;
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
  bool OneIn(int n) { return Below(n) == 0; }
  template <class T, size_t N>
  const T& Pick(const T (&a)[N]) {
    return a[Below(static_cast<int>(N))];
  }

 private:
  uint32_t s_;
};

const char* const kFirst[] = {"James", "Mary",   "Robert", "Patricia", "John",   "Jennifer",
                              "Michael", "Linda", "David", "Elizabeth", "William", "Barbara",
                              "Richard", "Susan", "Joseph", "Jessica", "Thomas", "Sarah",
                              "Daniel", "Karen", "Matthew", "Nancy", "Anthony", "Lisa",
                              "Mark", "Emily", "Paul", "Michelle", "Steven", "Laura"};
const char* const kLast[] = {"Smith", "Johnson", "Williams", "Brown",  "Jones",  "Garcia",
                             "Miller", "Davis",  "Rodriguez", "Martinez", "Wilson", "Anderson",
                             "Taylor", "Thomas", "Moore",    "Jackson", "Martin", "Lee",
                             "Thompson", "White", "Harris",  "Clark",   "Lewis",  "Walker"};
// Korean family and given names in Hangul.
const char* const kKoLast[] = {"김", "이", "박", "최", "정", "강", "조", "윤", "장", "임",
                               "한", "오", "서", "신", "권", "황", "안", "송", "류", "홍"};
const char* const kKoFirst[] = {"민준", "서연", "지훈", "수빈", "예은", "도윤", "하은",
                                "현우", "지민", "서준", "유진", "승현", "다은", "준호",
                                "소연", "태양", "은지", "성민", "혜진", "동현"};
// Names written in Hanja with their Hangul readings (the readings the phone keeps).
struct Reading {
  const char* written;
  const char* reading;
};
const Reading kHanjaLast[] = {{"金", "김"}, {"李", "이"}, {"朴", "박"}, {"崔", "최"},
                              {"鄭", "정"}, {"姜", "강"}, {"趙", "조"}, {"尹", "윤"}};
const Reading kHanjaFirst[] = {{"民俊", "민준"}, {"瑞妍", "서연"}, {"智勳", "지훈"},
                               {"賢宇", "현우"}, {"俊浩", "준호"}, {"恩智", "은지"},
                               {"成敏", "성민"}, {"惠珍", "혜진"}};
const char* const kCompanies[] = {"Hanul Telecom", "Aster Devices", "Blue River Bank",
                                  "Seoul Design Lab", "Northwind Traders", "삼양물산",
                                  "Contoso Ltd.",  "한빛소프트", "Pine & Oak Law"};
const char* const kTitles[] = {"Manager", "Engineer", "Director", "Sales Lead", "Designer",
                               "과장", "대리", "부장", "Accountant", "Professor"};
const char* const kDepartments[] = {"Sales", "R&D", "Finance", "Marketing", "영업부", "개발팀"};
const char* const kCities[] = {"Seoul", "Busan", "Incheon", "Daejeon", "San Francisco",
                               "Seattle", "London", "서울특별시", "부산광역시"};
const char* const kStreets[] = {"Teheran-ro", "Sejong-daero", "Main Street", "Market Street",
                                "강남대로", "Haeundae-ro", "Baker Street", "Olympic-ro"};
const char* const kCountries[] = {"Korea", "대한민국", "USA", "United Kingdom"};
const char* const kCategories[] = {"Business", "Family", "Friends", "VIP", "가족", "동창",
                                   "Golf club"};
// The slot properties in phone slot order, then the assistant's number.
const char* const kPhones[] = {"MobileTelephoneNumber", "HomeTelephoneNumber",
                               "Home2TelephoneNumber", "BusinessTelephoneNumber",
                               "Business2TelephoneNumber", "HomeFaxNumber",
                               "BusinessFaxNumber", "RadioTelephoneNumber",
                               "CarTelephoneNumber", "PagerNumber", "CompanyTelephoneNumber",
                               "AssistantTelephoneNumber"};

struct Contact {
  std::vector<devrec::Property> p;
  void S(const char* name, const std::string& v) {
    if (!v.empty()) p.push_back(devrec::Property::String(name, v));
  }
  void D(const char* name, double v) { p.push_back(devrec::Property::Date(name, v)); }
  void B(const char* name, std::vector<uint8_t> v) {
    p.push_back(devrec::Property::Binary(name, std::move(v)));
  }
};

// The photos the phone keeps: drawn pictures, as people's phones hold them after taking a
// photo for a contact, receiving one with a card or setting one from a PC.
std::vector<uint8_t> DemoPhoto(int n) {
  const uint32_t seed = static_cast<uint32_t>(n);
  switch (n % 5) {
    case 0:
      return SampleJpeg(96, 128, seed);  // what the phone's own camera gives a contact
    case 1:
      return SampleJpeg(640, 480, seed);  // a camera picture the phone kept whole
    case 2:
      return SamplePng(16, 16, seed);  // a tiny icon, not a JPEG
    case 3:
      return SampleJpeg(108, 72, seed);  // reduced by a PC
    default:
      return SamplePng(100, 100, seed);  // given from a PC as it was
  }
}

std::string Digits(Dice& d, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s.push_back(static_cast<char>('0' + d.Below(10)));
  return s;
}

std::string Mobile(Dice& d) { return "010-" + Digits(d, 4) + "-" + Digits(d, 4); }
std::string Landline(Dice& d) {
  switch (d.Below(4)) {
    case 0:
      return "02-" + Digits(d, 3) + "-" + Digits(d, 4);
    case 1:
      return "051-" + Digits(d, 3) + "-" + Digits(d, 4);
    case 2:
      return "+1 206 555 0" + Digits(d, 3);
    default:
      return "02-" + Digits(d, 4) + "-" + Digits(d, 4) + "p" + Digits(d, 3);  // an extension
  }
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

void AddAddress(Dice& d, Contact& c, const char* group) {
  std::string g = group;
  c.S((g + "AddressStreet").c_str(), std::to_string(1 + d.Below(400)) + " " + d.Pick(kStreets));
  c.S((g + "AddressCity").c_str(), d.Pick(kCities));
  if (d.OneIn(2)) c.S((g + "AddressState").c_str(), d.OneIn(2) ? "Gyeonggi-do" : "WA");
  c.S((g + "AddressPostalCode").c_str(), Digits(d, 5));
  if (!d.OneIn(3)) c.S((g + "AddressCountry").c_str(), d.Pick(kCountries));
}

// An ordinary contact number `i`.
Contact Ordinary(Dice& d, int i) {
  Contact c;
  std::string first, last, ascii;
  int style = d.Below(10);
  if (style < 4) {  // English
    first = d.Pick(kFirst);
    last = d.Pick(kLast);
    ascii = Lower(first) + "." + Lower(last);
    c.S("FirstName", first);
    c.S("LastName", last);
  } else if (style < 8) {  // Korean in Hangul
    first = d.Pick(kKoFirst);
    last = d.Pick(kKoLast);
    ascii = "user" + std::to_string(1000 + i);
    c.S("FirstName", first);
    c.S("LastName", last);
    c.S("FileAs", last + first);  // Korean names file family name first, without a blank
  } else {  // Korean in Hanja, with the readings
    const Reading& f = d.Pick(kHanjaFirst);
    const Reading& l = d.Pick(kHanjaLast);
    ascii = "member" + std::to_string(1000 + i);
    c.S("FirstName", f.written);
    c.S("LastName", l.written);
    c.S("YomiFirstName", f.reading);
    c.S("YomiLastName", l.reading);
    c.S("FileAs", std::string(l.written) + f.written);
  }
  if (d.OneIn(8)) c.S("MiddleName", d.OneIn(2) ? "A." : "J.");
  if (d.OneIn(6)) c.S("Nickname", d.OneIn(2) ? "Bear" : "꼬마");
  if (d.OneIn(10)) c.S("Title", d.OneIn(2) ? "Dr." : "Mr.");
  if (d.OneIn(15)) c.S("Suffix", "Jr.");
  if (!d.OneIn(3)) {
    c.S("CompanyName", d.Pick(kCompanies));
    c.S("JobTitle", d.Pick(kTitles));
    if (d.OneIn(2)) c.S("Department", d.Pick(kDepartments));
    if (d.OneIn(4)) c.S("OfficeLocation", "Building " + std::to_string(1 + d.Below(9)));
  }
  // Telephones: a mobile for most, then a few other kinds, every kind over the whole book.
  if (!d.OneIn(8)) c.S("MobileTelephoneNumber", Mobile(d));
  c.S(kPhones[1 + i % 11], i % 11 == 6 ? Mobile(d) : Landline(d));
  if (d.OneIn(3)) c.S(kPhones[1 + d.Below(11)], Landline(d));
  int emails = d.Below(4);
  const char* domains[] = {"example.com", "example.kr", "mail.example.net"};
  for (int k = 1; k <= emails; ++k)
    c.S(("Email" + std::to_string(k) + "Address").c_str(),
        (k == 1 ? ascii : ascii + std::to_string(k)) + "@" + domains[k - 1]);
  if (d.OneIn(5)) c.S("WebPage", "http://www.example.com/~" + ascii);
  if (d.OneIn(7)) c.S("IM1Address", ascii + "@im.example.com");
  if (d.OneIn(2)) AddAddress(d, c, "Home");
  if (d.OneIn(3)) AddAddress(d, c, "Business");
  if (d.OneIn(9)) AddAddress(d, c, "Other");
  if (d.OneIn(2)) c.D("Birthday", OleDate(1950 + d.Below(50), 1 + d.Below(12), 1 + d.Below(28)));
  if (d.OneIn(6)) c.D("Anniversary", OleDate(1980 + d.Below(28), 1 + d.Below(12), 1 + d.Below(28)));
  if (d.OneIn(3)) {
    std::string cats = d.Pick(kCategories);
    if (d.OneIn(3)) {
      std::string second = d.Pick(kCategories);
      if (second != cats) cats += ", " + second;
    }
    c.S("Categories", cats);
  }
  if (d.OneIn(5)) c.S("Body", d.OneIn(2) ? "Met at the 2007 conference." : "생일 선물: 책");
  if (d.OneIn(12)) c.S("Spouse", d.Pick(kFirst));
  if (d.OneIn(15)) c.S("Children", "Minji, Jun");
  if (d.OneIn(20)) c.S("AssistantName", d.Pick(kFirst));
  if (d.OneIn(25)) c.S("Manager", d.Pick(kFirst) + std::string(" ") + d.Pick(kLast));
  if (d.OneIn(30)) c.S("RingTone", "\\Windows\\Ring.wav");
  return c;
}

// Contacts that try a host's edges.
std::vector<Contact> EdgeCases() {
  std::vector<Contact> out;
  Contact onlyNumber;
  onlyNumber.S("MobileTelephoneNumber", "010-5555-0199");
  out.push_back(onlyNumber);
  Contact noName;  // a company, no person's name
  noName.S("CompanyName", "Pizza Palace");
  noName.S("BusinessTelephoneNumber", "02-555-0123");
  noName.S("WebPage", "http://pizza.example.com");
  out.push_back(noName);
  Contact empty;  // nothing at all but an e-mail
  empty.S("Email1Address", "someone@example.com");
  out.push_back(empty);
  Contact longNote;
  longNote.S("FirstName", "Margaret");
  longNote.S("LastName", "Long-Notes");
  std::string note;
  for (int i = 0; i < 120; ++i)
    note += "Line " + std::to_string(i + 1) + ": remember to call back about the order; ";
  note += "\r\n끝.";
  longNote.S("Body", note);
  out.push_back(longNote);
  Contact everyPhone;
  everyPhone.S("FirstName", "Every");
  everyPhone.S("LastName", "Phone");
  for (int k = 0; k < 12; ++k) everyPhone.S(kPhones[k], "+82 2 555 01" + std::to_string(10 + k));
  out.push_back(everyPhone);
  Contact punctuation;
  punctuation.S("FirstName", "Zoë");
  punctuation.S("LastName", "O'Brien, Jr; \"The Boss\"");
  punctuation.S("Nickname", "Zo\\e");
  punctuation.S("YomiLastName", "O & B");
  punctuation.S("Email1Address", "zoe@example.com");
  punctuation.S("HomeAddressStreet", "Flat 2\r\n10 Downing Street");
  punctuation.S("HomeAddressCity", "London");
  out.push_back(punctuation);
  return out;
}

}  // namespace

void BuildDemoPhonebook(Image& image) {
  PhonebookStore store(image);
  for (const char* name : kCategories) store.AddCategory(name);

  Dice dice(20081103);
  std::vector<Contact> contacts;
  for (int i = 0; i < kDemoContacts - 6; ++i) {
    contacts.push_back(Ordinary(dice, i));
    if (i % 23 == 1) contacts.back().B("Picture", DemoPhoto(i / 23));
  }
  for (Contact& c : EdgeCases()) contacts.push_back(std::move(c));

  RecordStore records(image, devrec::kKindContact);
  uint32_t nextDial = 2;  // 1 is the voice mail
  for (const Contact& c : contacts) {
    std::vector<devrec::RawEntry> raw;
    for (const devrec::Property& p : c.p) raw.push_back(RecordStore::Raw(devrec::kKindContact, p));
    uint32_t id = records.Add(raw);
    if (nextDial > 30) continue;
    // The first few contacts with a mobile or home number get speed dials.
    for (const devrec::Property& p : c.p) {
      int kind = p.name == "MobileTelephoneNumber" ? 0 : p.name == "HomeTelephoneNumber" ? 1 : -1;
      if (kind < 0) continue;
      std::string first, number = devrec::ValueAsString(RecordStore::Raw(devrec::kKindContact, p));
      for (const devrec::Property& q : c.p)
        if (q.name == "FirstName") first = devrec::ValueAsString(RecordStore::Raw(1, q));
      store.AddSpeedDial({nextDial++, id, pbpacket::PropertyIdOfKind(kind),
                          Utf16(first.empty() ? number : first), Utf16(number)});
      break;
    }
  }
}

}  // namespace wmemu
