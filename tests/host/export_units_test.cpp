// The pieces every export and every listing shares: display widths of table cells, the
// content-line writer (escapes, multi-valued properties, folding), the task VTODO, UIDs,
// and the vdir collection's re-export rules.
#include <gtest/gtest.h>
#include <libical/ical.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "emulator/Emulator.h"
#include "emulator/Presets.h"
#include "host/ContactsVcf.h"
#include "host/ContentLines.h"
#include "host/Export.h"
#include "host/PhoneIdentity.h"
#include "host/TaskRecord.h"
#include "host/TasksIcs.h"
#include "host/Text.h"
#include "host/TextTable.h"

namespace qwbhost {
namespace {

namespace fs = std::filesystem;

TEST(DisplayWidth, CountsTerminalColumns) {
  struct Case {
    const char* text;
    size_t width;
  };
  const Case cases[] = {
      {"abc", 3},
      {"\xED\x9A\x8C\xEC\x9D\x98 \xEC\x9E\x90\xEB\xA3\x8C \xEC\xA4\x80\xEB\xB9\x84",
       14},                                         // 회의 자료 준비
      {"e\xCC\x81", 1},                             // e + combining acute
      {"\xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8", 2},  // conjoining jamo: one syllable
      {"\xEF\xBC\xA1", 2},                          // full-width A
      {"\xEF\xBE\x8A", 1},                          // half-width katakana
      {"\xF0\x9F\x98\x80", 2},                      // emoji
      {"a\xE2\x80\x8D"
       "b",
       2},                              // zero-width joiner
      {"\xE6\x97\xA5\xE6\x9C\xAC", 4},  // 日本
      {"x\xFFy", 3},                    // an invalid byte shows as one character
  };
  for (const Case& c : cases) EXPECT_EQ(DisplayWidth(c.text), c.width) << c.text;

  EXPECT_EQ(CutToWidth("\xED\x9A\x8C\xEC\x9D\x98 \xEC\x9E\x90", 5), "\xED\x9A\x8C\xEC\x9D\x98 ");
  EXPECT_EQ(CutToWidth("\xED\x9A\x8C\xEC\x9D\x98", 3), "\xED\x9A\x8C");  // never half a wide char
  EXPECT_EQ(CutToWidth("e\xCC\x81x", 1), "e\xCC\x81");  // the mark stays with its letter
}

TEST(TextTable, AlignsColumnsByDisplayWidth) {
  TextTable t({"ID", "SUBJECT", "DUE"});
  t.SetMaxWidth(1, 12);
  t.SetAlign(0, TextTable::Align::kRight);
  t.AddRow({"3", "\xED\x9A\x8C\xEC\x9D\x98 \xEC\x9E\x90\xEB\xA3\x8C", "2008-11-07"});
  t.AddRow({"12", "Cafe\xCC\x81", "2008-11-08"});
  t.AddRow({"140", "line\nbreak\tand a long tail", ""});
  t.AddRow({"7"});
  EXPECT_EQ(t.str(),
            " ID  SUBJECT       DUE\n"
            "  3  \xED\x9A\x8C\xEC\x9D\x98 \xEC\x9E\x90\xEB\xA3\x8C     2008-11-07\n"
            " 12  Cafe\xCC\x81          2008-11-08\n"
            "140  line break a\n"
            "  7\n");
}

TEST(ContentLines, EscapesAndJoinsValues) {
  EXPECT_EQ(EscapeText("a,b;c\\d\r\ne\nf\rg"), "a\\,b\\;c\\\\d\\ne\\nf\\ng");
  EXPECT_EQ(TextList({"Personal", "A,B", "", "x;y"}), "Personal,A\\,B,x\\;y");
  EXPECT_EQ(Structured({{}, {"Apt 2"}, {"1 Main St", "Bldg 3"}, {"Seoul"}, {}, {"04524"}, {"KR"}}),
            ";Apt 2;1 Main St,Bldg 3;Seoul;;04524;KR");
  EXPECT_EQ(ParamValue("work"), "work");
  EXPECT_EQ(ParamValue("a,b"), "\"a,b\"");
  EXPECT_EQ(ParamValue("say \"hi\"^\nbye"), "say ^'hi^'^^^nbye");
  EXPECT_EQ(SplitCategories(" Personal, Family;;Travel ,"),
            (std::vector<std::string>{"Personal", "Family", "Travel"}));

  ContentLines out;
  out.List("CATEGORIES", {"Personal", "A,B"}).List("NICKNAME", {"", ""});
  out.Raw("TEL", "+82-10-5555-0101", {{"TYPE", {"work", "voice"}}});
  out.Raw("IMPP", "xmpp:ann@\r\nexample.com\n");  // a break would end the line early
  EXPECT_EQ(out.str(),
            "CATEGORIES:Personal,A\\,B\r\nTEL;TYPE=work,voice:+82-10-5555-0101\r\n"
            "IMPP:xmpp:ann@example.com\r\n");
}

TEST(ContentLines, FoldsAt75OctetsOnCharacterBoundaries) {
  std::string korean;
  for (int i = 0; i < 40; ++i) korean += "\xEA\xB0\x80";  // 가, 3 octets
  ContentLines out;
  out.Text("SUMMARY", "x" + korean);
  std::string text = out.str(), unfolded;
  std::istringstream lines(text);
  std::string line;
  bool first = true;
  while (std::getline(lines, line)) {
    ASSERT_FALSE(line.empty());
    ASSERT_EQ(line.back(), '\r');
    line.pop_back();
    EXPECT_LE(line.size(), 75u);
    if (!first) {
      ASSERT_EQ(line[0], ' ');
      EXPECT_NE(static_cast<unsigned char>(line[1]) & 0xC0, 0x80) << "split inside a character";
      line.erase(0, 1);
    }
    unfolded += line;
    first = false;
  }
  EXPECT_EQ(unfolded, "SUMMARY:x" + korean);
}

TaskRecord SampleTask() {
  TaskRecord t;
  t.id = 7;
  t.subject = "Mother's birthday, present";
  t.detail = "Green tea;\nthe good one";
  t.categories = "Personal, Family";
  t.doneState = "Done";
  t.priority = "High";
  t.sensitivity = "Private";
  t.start = *MakeDate(2009, 3, 14);
  t.due = *MakeDate(2009, 3, 15);
  return t;
}

TEST(TaskExport, OneTodoThatInventsNothing) {
  ExportContext context("5b8e2a4c-1f3d-4e6a-9b7c-0d1e2f3a4b5c", 1796601600);  // 2026-12-07
  ExportRecord r = TaskToTodo(SampleTask(), context);
  EXPECT_EQ(r.uid, "qwbdcawm-5b8e2a4c-1f3d-4e6a-9b7c-0d1e2f3a4b5c-task-7");
  EXPECT_EQ(r.body,
            "BEGIN:VTODO\r\n"
            "UID:qwbdcawm-5b8e2a4c-1f3d-4e6a-9b7c-0d1e2f3a4b5c-task-7\r\n"
            "DTSTAMP:20261207T000000Z\r\n"
            "SUMMARY:Mother's birthday\\, present\r\n"
            "DESCRIPTION:Green tea\\;\\nthe good one\r\n"
            "DTSTART;VALUE=DATE:20090314\r\n"
            "DUE;VALUE=DATE:20090315\r\n"
            "PRIORITY:1\r\n"
            "STATUS:COMPLETED\r\n"
            "CLASS:PRIVATE\r\n"
            "CATEGORIES:Personal,Family\r\n"
            "END:VTODO\r\n");

  // Read back by libical: both categories, the text whole.
  std::string file = RecordFile(ExportFormat::kICalendar, r);
  icalcomponent* cal = icalparser_parse_string(file.c_str());
  ASSERT_NE(cal, nullptr);
  icalcomponent* todo = icalcomponent_get_first_component(cal, ICAL_VTODO_COMPONENT);
  ASSERT_NE(todo, nullptr);
  EXPECT_STREQ(icalcomponent_get_summary(todo), "Mother's birthday, present");
  EXPECT_STREQ(icalcomponent_get_description(todo), "Green tea;\nthe good one");
  std::vector<std::string> categories;
  for (icalproperty* p = icalcomponent_get_first_property(todo, ICAL_CATEGORIES_PROPERTY); p;
       p = icalcomponent_get_next_property(todo, ICAL_CATEGORIES_PROPERTY))
    categories.push_back(icalproperty_get_categories(p));
  EXPECT_EQ(categories, (std::vector<std::string>{"Personal", "Family"}));
  icalcomponent_free(cal);

  // Another export time changes the stamp only.
  ExportRecord later =
      TaskToTodo(SampleTask(), ExportContext(context.UidPrefix().substr(9, 36), 1796601600 + 3600));
  EXPECT_NE(later.body, r.body);
  EXPECT_TRUE(SameApartFromStamps(later.body, r.body));
  TaskRecord edited = SampleTask();
  edited.categories = "Personal";
  EXPECT_FALSE(SameApartFromStamps(TaskToTodo(edited, context).body, r.body));
}

TEST(TaskExport, RecurrenceRules) {
  struct Form {
    LONG type, flag, every, expireType, expireValue;
    std::optional<DATE> start, everyDate;
    const char* rule;
  };
  auto D = [](int y, int m, int d) { return *MakeDate(y, m, d); };
  const Form forms[] = {
      {2, 10, 2, 1, 5, {}, {}, "FREQ=WEEKLY;COUNT=5;INTERVAL=2;BYDAY=MO,WE"},
      {6, 32 + 2048, 1, 2, 0, {}, D(2026, 11, 1), "FREQ=YEARLY;BYDAY=-1FR;BYMONTH=11"},
      {5, 0, 1, 2, 0, D(2026, 6, 15), D(2026, 6, 20), "FREQ=YEARLY;BYMONTHDAY=20;BYMONTH=6"},
      {1, 1, 1, 2, 0, {}, {}, "FREQ=DAILY;BYDAY=MO,TU,WE,TH,FR"}};
  ExportContext context("k", 0);
  std::vector<ExportRecord> records;
  for (const Form& f : forms) {
    TaskRecord t;
    t.id = LONG(records.size() + 1);
    t.subject = f.rule;
    t.doneState = "Undone";
    t.recurType = f.type;
    t.recurFlag = f.flag;
    t.recurEvery = f.every;
    t.expireType = f.expireType;
    t.expireValue = f.expireValue;
    t.start = f.start;
    t.everyDate = f.everyDate;
    records.push_back(TaskToTodo(t, context));
  }
  icalcomponent* cal =
      icalparser_parse_string(JoinRecords(ExportFormat::kICalendar, records).c_str());
  ASSERT_NE(cal, nullptr);
  icalcomponent* todo = icalcomponent_get_first_component(cal, ICAL_VTODO_COMPONENT);
  for (const Form& f : forms) {
    icalproperty* p = todo ? icalcomponent_get_first_property(todo, ICAL_RRULE_PROPERTY) : nullptr;
    ASSERT_NE(p, nullptr) << f.rule;
    icalrecurrencetype r = icalproperty_get_rrule(p);
    EXPECT_STREQ(icalrecurrencetype_as_string(&r), f.rule);
    todo = icalcomponent_get_next_component(cal, ICAL_VTODO_COMPONENT);
  }
  icalcomponent_free(cal);
}

// Reading names travel in SORT-AS of N and in X-PHONETIC-*; a reading with a comma does not
// fit SORT-AS's list, so the X-PHONETIC properties decide whenever the card has one.
TEST(ContactCards, ReadingNamesReadBackWhateverTheyHold) {
  struct Case {
    std::string last, first;
  } cases[] = {{"Kim", "Minji"}, {"Kim, Lee", ""}, {"", "an, na"}, {"김;", "민\\지"}, {"", ""}};
  for (const Case& c : cases) {
    qwbhost::ContactRecord contact;
    contact.id = 7;
    contact.last = "Kim";
    contact.readingLast = c.last;
    contact.readingFirst = c.first;
    const std::string card = qwbhost::ContactCard(contact, {}, "u-contact-7");
    std::vector<qwbhost::ParsedCard> back = qwbhost::ParseVcards(card, "u-contact-");
    ASSERT_EQ(back.size(), 1u) << card;
    EXPECT_EQ(back[0].contact.readingLast, c.last) << card;
    EXPECT_EQ(back[0].contact.readingFirst, c.first) << card;
  }
  // A card of another program with SORT-AS alone.
  auto other = qwbhost::ParseVcards(
      "BEGIN:VCARD\r\nVERSION:4.0\r\nN;SORT-AS=\"Park,Jisoo\":박;지수;;;\r\nEND:VCARD\r\n", "x-");
  ASSERT_EQ(other.size(), 1u);
  EXPECT_EQ(other[0].contact.readingLast, "Park");
  EXPECT_EQ(other[0].contact.readingFirst, "Jisoo");
}

TEST(PhoneIdentity, KeysAreSafeAndStable) {
  EXPECT_EQ(GuidKey("{5B8E2A4C-1F3D-4E6A-9B7C-0D1E2F3A4B5C}"),
            "5b8e2a4c-1f3d-4e6a-9b7c-0d1e2f3a4b5c");
  EXPECT_EQ(GuidKey("5b8e2a4c-1f3d-4e6a-9b7c-0d1e2f3a4b5c"),
            "5b8e2a4c-1f3d-4e6a-9b7c-0d1e2f3a4b5c");
  for (const char* bad :
       {"", "{5B8E2A4C-1F3D-4E6A-9B7C-0D1E2F3A4B5}", "5B8E2A4C1F3D4E6A9B7C0D1E2F3A4B5C",
        "{5B8E2A4C-1F3D-4E6A-9B7C-0D1E2F3A4B5G}"})
    EXPECT_EQ(GuidKey(bad), "") << bad;
  EXPECT_EQ(NameKey("Aster W1", "MyPhone"), NameKey("Aster W1", "MyPhone"));
  EXPECT_NE(NameKey("Aster W1", "MyPhone"), NameKey("Aster W1", "MyPhone2"));
  EXPECT_NE(NameKey("Aster W1", "MyPhone"), NameKey("Aster W1My", "Phone"));
  EXPECT_EQ(NameKey("a", "b").size(), 17u);
  EXPECT_EQ(VdirFileName("qwbdcawm-k-task-1", ExportFormat::kICalendar), "qwbdcawm-k-task-1.ics");
  EXPECT_EQ(VdirFileName(".a/b c", ExportFormat::kVCard), "%2Ea%2Fb%20c.vcf");
}

TEST(PhoneIdentity, EveryEmulatorImageIsAPhoneOfItsOwn) {
  fs::path base = fs::path(testing::TempDir()) / "identity-images";
  fs::remove_all(base);
  std::string guids[2];
  for (int i = 0; i < 2; ++i) {
    fs::path dir = base / std::to_string(i);
    wmemu::Emulator::CreateImage(dir, "empty", "");
    guids[i] = wmemu::Emulator::Open(dir)->deviceGuid();
    EXPECT_NE(GuidKey(guids[i]), "") << guids[i];
    wmemu::Emulator::Origin origin = wmemu::Emulator::ReadOrigin(dir);
    EXPECT_EQ(origin.preset, "empty");
    EXPECT_EQ(origin.presetVersion, wmemu::PresetVersion("empty"));
  }
  EXPECT_NE(guids[0], guids[1]);  // same preset, two phones
  fs::remove_all(base);
}

std::string Slurp(const fs::path& p) {
  std::ostringstream ss;
  ss << std::ifstream(p, std::ios::binary).rdbuf();
  return ss.str();
}

TEST(VdirCollection, ReexportTouchesOnlyWhatChanged) {
  fs::path dir = fs::path(testing::TempDir()) / "vdir-reexport";
  fs::remove_all(dir);
  const std::string mine = "qwbdcawm-aaaa-", other = "qwbdcawm-bbbb-";
  auto record = [](const std::string& uid, const std::string& summary, const char* stamp) {
    return ExportRecord{uid, "BEGIN:VTODO\r\nUID:" + uid + "\r\nDTSTAMP:" + stamp +
                                 "\r\nSUMMARY:" + summary + "\r\nEND:VTODO\r\n",
                        {}};
  };
  {
    VdirCollection c(dir, ExportFormat::kICalendar, mine);
    c.Put(record(mine + "task-1", "one", "20260101T000000Z"));
    c.Put(record(mine + "task-2", "two", "20260101T000000Z"));
    c.Put(record(mine + "task-3", "three", "20260101T000000Z"));
    VdirCollection::Counts n = c.Finish();
    EXPECT_EQ(n.added, 3u);
  }
  {  // another phone's export and a file of another program share the folder
    VdirCollection c(dir, ExportFormat::kICalendar, other);
    c.Put(record(other + "task-1", "theirs", "20260101T000000Z"));
    c.Finish();
  }
  std::ofstream(dir / "from-elsewhere.ics") << "BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n";
  // Old modification times, so that a rewrite would show.
  for (const char* name : {"qwbdcawm-aaaa-task-1.ics", "qwbdcawm-aaaa-task-2.ics"}) {
    utimbuf old{1000000000, 1000000000};
    ASSERT_EQ(utime((dir / name).c_str(), &old), 0);
  }
  std::string before = Slurp(dir / "qwbdcawm-aaaa-task-1.ics");

  VdirCollection c(dir, ExportFormat::kICalendar, mine);
  c.Put(record(mine + "task-1", "one", "20261207T000000Z"));  // same but for the stamp
  c.Put(record(mine + "task-2", "two edited", "20261207T000000Z"));
  c.Put(record(mine + "task-4", "four", "20261207T000000Z"));  // new; task-3 is gone
  VdirCollection::Counts n = c.Finish();
  EXPECT_EQ(n.added, 1u);
  EXPECT_EQ(n.changed, 1u);
  EXPECT_EQ(n.unchanged, 1u);
  EXPECT_EQ(n.removed, 1u);

  EXPECT_EQ(Slurp(dir / "qwbdcawm-aaaa-task-1.ics"), before);
  auto mtime = [&](const char* name) {
    struct stat st {};
    stat((dir / name).c_str(), &st);
    return st.st_mtime;
  };
  EXPECT_EQ(mtime("qwbdcawm-aaaa-task-1.ics"), 1000000000);
  EXPECT_NE(mtime("qwbdcawm-aaaa-task-2.ics"), 1000000000);
  EXPECT_NE(Slurp(dir / "qwbdcawm-aaaa-task-2.ics").find("two edited"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "qwbdcawm-aaaa-task-3.ics"));
  EXPECT_TRUE(fs::exists(dir / "qwbdcawm-aaaa-task-4.ics"));
  EXPECT_TRUE(fs::exists(dir / "qwbdcawm-bbbb-task-1.ics"));
  EXPECT_TRUE(fs::exists(dir / "from-elsewhere.ics"));
  size_t files = 0;
  for (auto& e : fs::directory_iterator(dir)) files += e.is_regular_file();
  EXPECT_EQ(files, 5u);  // no temporary file left behind
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qwbhost
