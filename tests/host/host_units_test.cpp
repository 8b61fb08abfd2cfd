// The CLI's own pieces: option parsing into task edits, the text and date forms, the task
// listing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <span>
#include <tuple>
#include <optional>
#include <string>
#include <vector>

#include "host/AmrWav.h"
#include "host/ContactsVcf.h"
#include "host/FilesCommand.h"
#include "host/HostError.h"
#include "host/InfoCommand.h"
#include "host/Progress.h"
#include "host/TaskRecord.h"
#include "host/TasksCommand.h"
#include "host/Text.h"

namespace qwbhost {
namespace {

DATE D(int y, int m, int d) { return *MakeDate(y, m, d, 0, 0); }

int UsageExit(const std::function<void()>& f) {
  try {
    f();
  } catch (const HostError& e) {
    return e.exitCode();
  }
  return -1;
}

TEST(HostUnits, TextAndDateForms) {
  EXPECT_EQ(FormatDay(*ParseDay("2026-02-28")), "2026-02-28");
  for (const char* bad : {"2026-02-29", "2026-2-28", "2026-02-28x", ""})
    EXPECT_FALSE(ParseDay(bad)) << bad;
  EXPECT_EQ(FormatMinute(*ParseMinute("2026-03-08 09:05")), "2026-03-08 09:05");
  EXPECT_EQ(FormatIso(*ParseMinute("2026-03-08T23:59")), "2026-03-08T23:59:00");
  EXPECT_FALSE(ParseMinute("2026-03-08 24:00"));
  EXPECT_FALSE(ParseMinute("2026-03-08 09:5"));

  std::u16string wide = u"Caf\u00E9 \u20AC \U0001F600";
  EXPECT_EQ(Utf8(wide), "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16(Utf8(wide)), wide);
  EXPECT_EQ(Utf16("ab\xE2\x82"), u"ab\uFFFD");  // malformed text is replaced, not refused
}

TEST(HostUnits, OptionsBecomeTaskEdits) {
  int instance = 0;
  EXPECT_EQ(ParseDays("MO,we", &instance), 10);
  EXPECT_EQ(instance, 0);

  TaskOptions o;
  o.subject = "s";
  o.start = "2026-03-10";  // the second Tuesday of March
  o.recur = "monthly-weekday";
  TaskEdit e = MakeEdit(o, std::nullopt, true);
  ASSERT_TRUE(e.recurrence);
  EXPECT_EQ(e.recurrence->kind, RecurKind::kMonthlyWeekday);
  EXPECT_EQ(e.recurrence->dayMask, 4);
  EXPECT_EQ(e.recurrence->instance, 2);
  EXPECT_EQ(e.recurrence->end, Recurrence::End::kNone);
  o.recur = "weekly";
  o.count = 4;
  e = MakeEdit(o, std::nullopt, true);
  EXPECT_EQ(e.recurrence->dayMask, 4);  // the start date's weekday
  EXPECT_EQ(e.recurrence->end, Recurrence::End::kCount);
  EXPECT_EQ(e.recurrence->count, 4);
  o.count.reset();
  o.recur = "daily";
  o.days = "MO,TU,WE,TH,FR";
  o.until = "2026-04-01";
  o.every = 2;
  e = MakeEdit(o, std::nullopt, true);
  EXPECT_TRUE(e.recurrence->weekdaysOnly);
  EXPECT_EQ(e.recurrence->every, 2);
  EXPECT_EQ(FormatDay(*e.recurrence->until), "2026-04-01");

  // An update keeps its dates; a new task without dates starts on its due date.
  TaskOptions u;
  u.alarm = "none";
  u.recur = "monthly";
  e = MakeEdit(u, D(2026, 1, 31), false);
  ASSERT_TRUE(e.alarm);
  EXPECT_FALSE(*e.alarm);
  EXPECT_FALSE(e.start);
  EXPECT_EQ(e.recurrence->monthDay, 31);
  TaskOptions a;
  a.subject = "s";
  a.due = "2026-06-01";
  EXPECT_EQ(FormatDay(*MakeEdit(a, std::nullopt, true).start), "2026-06-01");
}

TEST(HostUnits, RefusedOptionsAreUsageErrors) {
  int instance = 0;
  for (const char* bad : {"1MO,2TU", "6MO"})
    EXPECT_EQ(UsageExit([&] { ParseDays(bad, &instance); }), kExitUsage) << bad;

  // Each edit is made on a new task with a subject, unless it says otherwise.
  const std::vector<std::function<void(TaskOptions&, bool&)>> refused = {
      [](TaskOptions& x, bool&) { x.subject.reset(); },
      [](TaskOptions& x, bool&) { x.alarm = "tomorrow"; },
      [](TaskOptions& x, bool&) { x.start = "2026-05-02", x.due = "2026-05-01"; },
      [](TaskOptions& x, bool&) { x.done = x.undone = true; },
      [](TaskOptions& x, bool&) { x.recur = "daily", x.days = "MO"; },
      [](TaskOptions& x, bool&) { x.recur = "daily", x.until = "2026-04-01", x.count = 3; },
      [](TaskOptions& x, bool&) { x.recur = "daily", x.every = 0; },
      [](TaskOptions& x, bool&) { x.recur = "fortnightly"; },
      // Without a start date the day-based kinds cannot be set on an update.
      [](TaskOptions& x, bool& isNew) { x = {}, x.recur = "monthly", isNew = false; },
      [](TaskOptions& x, bool& isNew) { x = {}, x.every = 3, isNew = false; }};
  for (size_t i = 0; i < refused.size(); ++i) {
    TaskOptions x;
    x.subject = "s";
    bool isNew = true;
    refused[i](x, isNew);
    EXPECT_EQ(UsageExit([&] { MakeEdit(x, std::nullopt, isNew); }), kExitUsage) << i;
  }
}

// The JSON form is compared whole by the CLI's tests.
TEST(HostUnits, ListingAndProgress) {
  TaskRecord t;
  t.id = 3;
  t.subject = "Caf\xC3\xA9 run";
  t.doneState = "Undone";
  t.start = D(2026, 1, 2);
  t.priority = "High";
  t.recurType = 2;
  t.recurFlag = 10;
  t.expireType = 1;
  t.expireValue = 3;
  TaskRecord plain;
  plain.id = 14;
  plain.subject = "x";
  plain.doneState = "Undone";
  EXPECT_EQ(TasksTable({t, plain}),
            "ID  SUBJECT   START       DUE  PRIORITY  DONE  ALARM  RECURRENCE\n"
            "3   Caf\xC3\xA9 run  2026-01-02       High      no           weekly MO,WE x3\n"
            "14  x                                    no\n");
  EXPECT_TRUE(TaskJson(plain)["recurrence"].is_null());

  EXPECT_EQ(Progress::Render("tasks", 2, 4, 8), "tasks [####    ] 2/4");
  EXPECT_EQ(Progress::Render("tasks", 5, 4, 8), "tasks [########] 5/4");
  EXPECT_EQ(Progress::Render("tasks", 3, 0, 4), "tasks [    ] 3");
}

TEST(HostUnits, PhonePathsAndTheTransferBar) {
  const std::pair<std::string, std::pair<std::string, std::string>> splits[] = {
      {"/My Documents/a.txt", {"/My Documents", "a.txt"}},
      {"/a.txt", {"", "a.txt"}},
      {"a.txt", {"", "a.txt"}},
      {"\\x.jpg", {"\\", "x.jpg"}},
      {"\\DCIM\\100MEDIA\\x.jpg", {"\\DCIM\\100MEDIA", "x.jpg"}},
      {"/*/DCIM/x.jpg", {"/*/DCIM", "x.jpg"}},
      {"*2/x", {"*2", "x"}},
  };
  for (const auto& [path, want] : splits) EXPECT_EQ(SplitPhonePath(path), want) << path;
  EXPECT_EQ(ChildPhonePath("", "My Documents"), "/My Documents");
  EXPECT_EQ(ChildPhonePath("/", "a"), "/a");
  EXPECT_EQ(ChildPhonePath("/My Documents", "a"), "/My Documents/a");
  EXPECT_EQ(ChildPhonePath("\\", "DCIM"), "\\DCIM");
  EXPECT_EQ(ChildPhonePath("\\DCIM", "100MEDIA"), "\\DCIM\\100MEDIA");
  EXPECT_EQ(ChildPhonePath("/*", "DCIM"), "/*/DCIM");

  EXPECT_EQ(HumanBytes(1023), "1023 B");
  EXPECT_EQ(HumanBytes(16u << 20), "16.0 MiB");
  EXPECT_EQ(RenderTransfer("pull a", 0, 100, 0, 4), "pull a [    ] 0 B / 100 B");
  EXPECT_EQ(RenderTransfer("pull a", 4u << 20, 16u << 20, 2.0, 8),
            "pull a [##      ] 4.0 MiB / 16.0 MiB  2.0 MiB/s  0:06 left");
  EXPECT_EQ(RenderTransfer("push b", 2048, 2048, 1.0, 4), "push b [####] 2.0 KiB / 2.0 KiB  2.0 KiB/s");
  EXPECT_EQ(RenderTransfer("empty", 0, 0, 1.0, 2), "empty [##] 0 B / 0 B");
}

}  // namespace
}  // namespace qwbhost

namespace qwbhost {
namespace {

TEST(HostUnits, DeviceInformationDocumentAsJson) {
  const std::string doc =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<DevInf xmlns='syncml:devinf'>\r\n"
      "\t<Man>Tolvane</Man>\r\n\t<Mod>Hanul HD-100</Mod>\r\n"
      "\t<DataStore>\r\n\t\t<SourceRef>SIM_PHONEBOOK</SourceRef>\r\n"
      "\t\t<Rx-Pref>\r\n\t\t\t<CTType>SIM_PHONEBOOK</CTType>\r\n\t\t</Rx-Pref>\r\n"
      "\t\t<Property>\r\n\t\t\t<PropName>TEL_NUM</PropName>\r\n"
      "\t\t\t<DataType>string</DataType>\r\n\t\t\t<MaxSize>40</MaxSize>\r\n"
      "\t\t\t<MaxCntTelNum>2</MaxCntTelNum>\r\n\t\t\t<PropParam>\r\n"
      "\t\t\t\t<ParamName>ALLOWPLUSSIGN</ParamName>\r\n\t\t\t\t<ValEnum>0</ValEnum>\r\n"
      "\t\t\t</PropParam>\r\n\t\t</Property>\r\n"
      "\t\t<DSMem>\r\n\t\t\t<MaxMem>250</MaxMem>\r\n\t\t</DSMem>\r\n\t</DataStore>\r\n"
      "\t<DataStore>\r\n\t\t<SourceRef>TASK</SourceRef>\r\n\t\t<CTCap>\r\n"
      "\t\t\t<Property>\r\n\t\t\t\t<PropName>PRIORITY</PropName>\r\n"
      "\t\t\t\t<DataType>string</DataType>\r\n\t\t\t\t<ValEnum>Low</ValEnum>\r\n"
      "\t\t\t\t<ValEnum>High</ValEnum>\r\n\t\t\t</Property>\r\n\t\t</CTCap>\r\n"
      "\t\t<DSMem>\r\n\t\t\t<SharedMem/>\r\n\t\t\t<MaxMem>-1</MaxMem>\r\n\t\t</DSMem>\r\n"
      "\t</DataStore>\r\n</DevInf>\r\n";
  const nlohmann::json j = DevInfJson(doc);
  EXPECT_EQ(j["manufacturer"], "Tolvane");
  EXPECT_EQ(j["model"], "Hanul HD-100");
  const nlohmann::json& sim = j["stores"]["SIM_PHONEBOOK"];
  EXPECT_EQ(sim["capacity"], 250);
  EXPECT_EQ(sim["contentType"], "SIM_PHONEBOOK");
  EXPECT_EQ(sim["properties"]["TEL_NUM"]["maxSize"], 40);
  EXPECT_EQ(sim["properties"]["TEL_NUM"]["maxCntTelNum"], 2);
  EXPECT_EQ(sim["properties"]["TEL_NUM"]["params"]["ALLOWPLUSSIGN"], "0");
  const nlohmann::json& task = j["stores"]["TASK"];
  EXPECT_EQ(task["capacity"], -1);
  EXPECT_EQ(task["properties"]["PRIORITY"]["values"], nlohmann::json({"Low", "High"}));
  EXPECT_FALSE(task["properties"]["PRIORITY"].contains("maxSize"));

  for (const char* bad : {"", "<DevInf", "<Other/>"}) EXPECT_THROW(DevInfJson(bad), HostError);
  EXPECT_EQ(ModelTypeNumber("olDomestic"), 0);
  EXPECT_EQ(ModelTypeNumber("olInternational_SP"), 6);
  EXPECT_EQ(ModelTypeNumber("oldomestic"), -1);
}

}  // namespace
}  // namespace qwbhost

namespace qwbhost {
namespace {

TEST(HostUnits, AmrFramesAndTheirWav) {
  // "#!AMR\n", a 12.2 kbit/s frame (header 0x3C, 31 bytes), a no-data frame (0x7C), a SID
  // frame (0x44, 5 bytes).
  std::vector<uint8_t> amr = {'#', '!', 'A', 'M', 'R', '\n', 0x3C};
  amr.insert(amr.end(), 31, 0x55);
  amr.push_back(0x7C);
  amr.push_back(0x44);
  amr.insert(amr.end(), 5, 0x00);
  std::vector<std::span<const uint8_t>> frames;
  std::string error;
  ASSERT_TRUE(SplitAmrFrames(amr, &frames, &error)) << error;
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].size(), 32u);
  EXPECT_EQ(frames[1].size(), 1u);
  EXPECT_EQ(frames[2].size(), 6u);

  struct Bad {
    std::vector<uint8_t> bytes;
    const char* says;
  };
  const Bad bad[] = {
      {{'#', '!', 'A', 'M', 'R', '-', 'W', 'B', '\n'}, "header"},
      {{'#', '!', 'A', 'M', 'R', '\n', 0x3C, 1, 2}, "cut short"},
      {{'#', '!', 'A', 'M', 'R', '\n', 0x4C}, "reserved frame type 9"},
  };
  for (const Bad& b : bad) {
    EXPECT_FALSE(SplitAmrFrames(b.bytes, &frames, &error));
    EXPECT_NE(error.find(b.says), std::string::npos) << error;
  }

  std::vector<uint8_t> wav;
  if (!HaveAmrDecoder()) {
    EXPECT_FALSE(AmrToWav(amr, &wav, &error));
    GTEST_SKIP() << "no AMR decoder in this build";
  }
  ASSERT_TRUE(AmrToWav(amr, &wav, &error)) << error;
  // 3 frames of 160 samples, 16-bit mono at 8000 Hz.
  const uint8_t head[] = {'R', 'I', 'F', 'F', 0xE4, 0x03, 0, 0, 'W', 'A', 'V', 'E',
                          'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1, 0,
                          0x40, 0x1F, 0, 0, 0x80, 0x3E, 0, 0, 2, 0, 16, 0,
                          'd', 'a', 't', 'a', 0xC0, 0x03, 0, 0};
  ASSERT_EQ(wav.size(), 44u + 960u);
  EXPECT_TRUE(std::equal(std::begin(head), std::end(head), wav.begin()));
}

}  // namespace
}  // namespace qwbhost
namespace {

std::vector<uint8_t> AsBytes(std::string_view s) { return {s.begin(), s.end()}; }

}  // namespace

TEST(HostUnits, Base64BothWays) {
  // RFC 4648, section 10.
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (auto [plain, encoded] : vectors) {
    EXPECT_EQ(qwbhost::Base64(AsBytes(plain)), encoded);
    EXPECT_EQ(qwbhost::FromBase64(encoded), AsBytes(plain)) << encoded;
  }
  // Folded lines and missing padding are read; anything else is refused.
  EXPECT_EQ(qwbhost::FromBase64("Zm9v\r\n YmFy"), AsBytes("foobar"));
  EXPECT_EQ(qwbhost::FromBase64("Zm9vYg"), AsBytes("foob"));
  EXPECT_EQ(qwbhost::FromBase64(std::string_view("\xFF\xFE", 2)), std::nullopt);
  for (const char* bad : {"Zm9v!", "Z", "Zg==Zg", "Zm9v===", "data:,"})
    EXPECT_EQ(qwbhost::FromBase64(bad), std::nullopt) << bad;
}

// PHOTO in cards: written as a data URI of the photo file's bytes, with the media type of
// those bytes; read from 4.0 data URIs and 3.0 inline base64; links are not taken.
TEST(HostUnits, VcardPhotos) {
  const std::string dir = testing::TempDir();
  const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 1, 2, 3};
  std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0};
  jpeg.resize(300, 0x5A);  // long enough to be folded
  qwbhost::Phonebook book;
  for (const auto& [name, bytes, type] :
       {std::tuple{"p.png", png, "image/png"}, std::tuple{"p.jpg", jpeg, "image/jpeg"}}) {
    const std::string path = dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    qwbhost::ContactRecord c;
    c.first = "Ann";
    c.photo = "Image0007.jpg";
    c.photoPath = path;
    const std::string card = qwbhost::ContactCard(c, book, "uid-7");
    std::string unfolded;
    size_t longest = 0, at = 0;
    while (at < card.size()) {
      size_t end = card.find("\r\n", at);
      longest = std::max(longest, end - at);
      unfolded += card.substr(at, end - at);
      at = end + 2;
      if (at < card.size() && card[at] == ' ') ++at;  // a folded line goes on
      else unfolded += "\n";
    }
    EXPECT_LE(longest, 75u);
    const std::string want = std::string("PHOTO:data:") + type + ";base64," + qwbhost::Base64(bytes);
    EXPECT_NE(unfolded.find(want + "\n"), std::string::npos) << card;

    auto cards = qwbhost::ParseVcards(card, "uid-");
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_EQ(cards[0].photo, bytes);
    EXPECT_EQ(cards[0].contact.id, 7);
  }
  const std::string v3 =
      "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Bo\r\nPHOTO;ENCODING=b;TYPE=PNG:iVBORw0KGgoBAgM=\r\n"
      "END:VCARD\r\nBEGIN:VCARD\r\nVERSION:4.0\r\nFN:Cy\r\n"
      "PHOTO:http://example.com/cy.jpg\r\nEND:VCARD\r\nBEGIN:VCARD\r\nVERSION:4.0\r\n"
      "FN:Di\r\nPHOTO:data:image/jpeg;base64,not*base64\r\nEND:VCARD\r\n";
  auto cards = qwbhost::ParseVcards(v3, "uid-");
  ASSERT_EQ(cards.size(), 3u);
  EXPECT_EQ(cards[0].photo, png);
  for (size_t i : {1u, 2u}) {
    EXPECT_TRUE(cards[i].photo.empty());
    ASSERT_EQ(cards[i].unmapped.size(), 1u);
    EXPECT_NE(cards[i].unmapped[0].find("embedded photos only"), std::string::npos);
  }
}

// Empty TEL, EMAIL and IMPP values carry nothing: they are not kept, so a card without a
// formatted name is titled by its first real number, and writing it back gives the same card.
TEST(HostUnits, VcardEmptyValuesAreNotKept) {
  const std::string text =
      "BEGIN:VCARD\r\nVERSION:3.0\r\nEMAIL;TYPE=INTERNET:\r\nTEL;TYPE=CELL:\r\n"
      "IMPP:im:\r\nTEL;TYPE=FAX:+1-555-0101\r\nEND:VCARD\r\n";
  auto cards = qwbhost::ParseVcards(text, "uid-");
  ASSERT_EQ(cards.size(), 1u);
  const qwbhost::ContactRecord& c = cards[0].contact;
  EXPECT_TRUE(c.emails.empty());
  EXPECT_TRUE(c.messengers.empty());
  ASSERT_EQ(c.phones.size(), 1u);
  EXPECT_EQ(c.Title(), "+1-555-0101");
  const std::string card = qwbhost::ContactCard(c, qwbhost::Phonebook{}, "uid-1");
  EXPECT_NE(card.find("FN:+1-555-0101\r\n"), std::string::npos) << card;
  auto back = qwbhost::ParseVcards(card, "uid-");
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(qwbhost::ContactCard(back[0].contact, qwbhost::Phonebook{}, "uid-1"), card);
}
