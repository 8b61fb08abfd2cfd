// The qwbdcawm binary against an emulator this test runs in process: exports read back with
// libical, the task commands, exit codes and failures reported with their HRESULT.
#include <gtest/gtest.h>
#include <libical/ical.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <chrono>
#include <thread>
#include <vector>

#include "emulator/DeviceRegistry.h"
#include "emulator/MediaSamples.h"
#include "emulator/Presets.h"
#include "emulator/RecordStore.h"
#include "host/AmrWav.h"
#include "host/Component.h"
#include "host/Text.h"
#include "tests/support/CliRun.h"
#include "tests/support/ItemAccess.h"
#include "link/DeviceRecord.h"
#include "wincompat/com.h"

namespace {

using devrec::Property;
namespace fs = std::filesystem;

using Outcome = qwbtest::CliRun;
using qwbtest::Quote;
using qwbtest::ReadFile;

// A local date and time as an OLE date.
using qwbtest::At;

// The exported VTODO with this summary; null when none.
icalcomponent* Todo(icalcomponent* cal, const std::string& summary) {
  for (icalcomponent* c = icalcomponent_get_first_component(cal, ICAL_VTODO_COMPONENT); c;
       c = icalcomponent_get_next_component(cal, ICAL_VTODO_COMPONENT)) {
    const char* s = icalcomponent_get_summary(c);
    if (s && summary == s) return c;
  }
  return nullptr;
}
std::string Rule(icalcomponent* todo) {
  icalproperty* p = icalcomponent_get_first_property(todo, ICAL_RRULE_PROPERTY);
  if (!p) return "";
  icalrecurrencetype r = icalproperty_get_rrule(p);
  return icalrecurrencetype_as_string(&r);
}
int Priority(icalcomponent* todo) {
  return icalproperty_get_priority(icalcomponent_get_first_property(todo, ICAL_PRIORITY_PROPERTY));
}
icalproperty_class Class(icalcomponent* todo) {
  return icalproperty_get_class(icalcomponent_get_first_property(todo, ICAL_CLASS_PROPERTY));
}
int DateNumber(icaltimetype t) { return t.year * 10000 + t.month * 100 + t.day; }

class QwbdcawmCli : public qwbtest::CliSuite<QwbdcawmCli> {
 protected:
  // The phone is served here; the binary only gets its address.
  static void SetUpTestSuite() { StartPhone("empty", "Aster W1"); }
  void SetUp() override {
    Emu().Control(R"({"cmd":"clear"})");
    for (uint32_t id : Store().List()) Store().Delete(id);
  }

  static wmemu::RecordStore Store() { return wmemu::RecordStore(Emu().image(), 3); }
  static uint32_t Seed(std::vector<Property> props) {
    std::vector<devrec::RawEntry> raw;
    for (const auto& p : props) raw.push_back(wmemu::RecordStore::Raw(3, p));
    return Store().Add(raw);
  }
};

TEST_F(QwbdcawmCli, ExportWritesTasksThatReadBack) {
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  uint32_t rent =
      Seed({Property::String("Subject", "Pay rent, now; really"),
            Property::String("Body", "Transfer, then\nfile the receipt"),
            Property::Date("StartDate", At(2026, 4, 1)),
            Property::Date("DueDate", At(2026, 4, 3)), Property::Boolean("Complete", 0xFFFF),
            Property::Integer("Importance", 1), Property::Boolean("ReminderSet", 0xFFFF),
            Property::Date("ReminderTime", At(2026, 3, 31, 7, 0)),
            Property::String("Categories", "Home; Money"), Property::Integer("ulSensitivity", 2),
            Property::Boolean("IsRecurring", 0xFFFF),
            Property::Integer("RecurrPattern.RecurrenceType", 2),
            Property::Integer("RecurrPattern.Occurrences", 12)});
  Seed({Property::String("Subject", "Team meeting"), Property::Date("StartDate", 949998.0),
        Property::Date("DueDate", 949998.0), Property::Integer("Importance", 3),
        Property::Integer("ulSensitivity", 3), Property::Boolean("Complete", 1),
        Property::Boolean("IsRecurring", 0xFFFF),
        Property::Integer("RecurrPattern.RecurrenceType", 3),
        Property::Integer("RecurrPattern.DayOfWeekMask", 4),
        Property::Integer("RecurrPattern.Instance", 2),
        Property::Date("RecurrPattern.PatternEndDate", At(2026, 12, 31))});

  fs::path dir = phone_->folder() / "export";
  Outcome r = Qwb("export " + Quote(dir.string()));
  unsetenv("TZ");
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(r.out, "");  // data goes to files, messages to stderr
  EXPECT_NE(r.err.find("wrote 2 tasks"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\r'), std::string::npos);  // no progress bar without a terminal

  std::string text = ReadFile(dir / "tasks.ics");
  icalcomponent* cal = icalparser_parse_string(text.c_str());
  ASSERT_NE(cal, nullptr) << text;
  EXPECT_EQ(icalcomponent_count_components(cal, ICAL_VTODO_COMPONENT), 2);

  // Commas, semicolons and line breaks survive the text escapes.
  icalcomponent* t = Todo(cal, "Pay rent, now; really");
  ASSERT_NE(t, nullptr) << text;
  // The UID: the phone's device GUID and the record id.
  std::string guid = Emu().deviceGuid();
  ASSERT_EQ(guid.size(), 38u);
  std::string key = guid.substr(1, 36);
  std::transform(key.begin(), key.end(), key.begin(), ::tolower);
  EXPECT_EQ(std::string(icalcomponent_get_uid(t)),
            "qwbdcawm-" + key + "-task-" + std::to_string(rent));
  EXPECT_STREQ(icalcomponent_get_description(t), "Transfer, then\nfile the receipt");
  EXPECT_TRUE(icalcomponent_get_dtstart(t).is_date);
  EXPECT_EQ(DateNumber(icalcomponent_get_dtstart(t)), 20260401);
  EXPECT_EQ(DateNumber(icalcomponent_get_due(t)), 20260403);
  EXPECT_EQ(Priority(t), 1);
  EXPECT_EQ(icalcomponent_get_status(t), ICAL_STATUS_COMPLETED);
  // The phone keeps no completion time: none is made up.
  EXPECT_EQ(icalcomponent_get_first_property(t, ICAL_COMPLETED_PROPERTY), nullptr);
  EXPECT_EQ(Class(t), ICAL_CLASS_PRIVATE);
  // (How categories and text read back is the exporter's unit test's.)
  EXPECT_NE(text.find("CATEGORIES:Home,Money\r\n"), std::string::npos) << text;
  EXPECT_EQ(Rule(t), "FREQ=MONTHLY;COUNT=12;BYMONTHDAY=1");
  icalcomponent* alarm = icalcomponent_get_first_component(t, ICAL_VALARM_COMPONENT);
  ASSERT_NE(alarm, nullptr);
  // The phone's UTC reminder comes back as the same instant.
  icalproperty* trigger = icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY);
  EXPECT_STREQ(icaltime_as_ical_string(icalproperty_get_trigger(trigger).time), "20260331T070000Z");

  t = Todo(cal, "Team meeting");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(icalcomponent_get_first_property(t, ICAL_DTSTART_PROPERTY), nullptr);
  EXPECT_EQ(icalcomponent_get_first_property(t, ICAL_DUE_PROPERTY), nullptr);
  EXPECT_EQ(icalcomponent_get_status(t), ICAL_STATUS_NEEDSACTION);
  EXPECT_EQ(Priority(t), 9);
  EXPECT_EQ(Class(t), ICAL_CLASS_CONFIDENTIAL);
  EXPECT_EQ(icalcomponent_get_first_component(t, ICAL_VALARM_COMPONENT), nullptr);
  EXPECT_EQ(Rule(t), "FREQ=MONTHLY;UNTIL=20261231;BYDAY=2TU");
  icalcomponent_free(cal);
}

TEST_F(QwbdcawmCli, DeviceFromTheEnvironment) {
  Seed({Property::String("Subject", "only on the test phone")});
  // No --device: QWBDCAWM_DEVICE names the phone, and the built-in emulator stays off.
  Outcome r = Qwb("tasks list", false, "QWBDCAWM_DEVICE=" + Quote(phone_->address()));
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.out.find("only on the test phone"), std::string::npos) << r.out;
  EXPECT_EQ(r.err.find("built-in"), std::string::npos) << r.err;
  // --device wins over the variable; a malformed variable is a usage error that names it.
  r = Qwb("tasks list", true, "QWBDCAWM_DEVICE=tcp:nowhere");
  EXPECT_EQ(r.exit, 0) << r.err;
  r = Qwb("tasks list", false, "QWBDCAWM_DEVICE=tcp:nowhere");
  EXPECT_EQ(r.exit, 2);
  EXPECT_NE(r.err.find("QWBDCAWM_DEVICE"), std::string::npos) << r.err;
}

TEST_F(QwbdcawmCli, TaskCommandsRoundTrip) {
  Outcome r =
      Qwb("tasks add --subject 'Water the plants' --detail 'Balcony first' --start 2026-06-01 "
          "--due 2026-06-02 --priority low --categories Home --sensitivity personal "
          "--alarm '2026-05-31 19:45' --recur weekly --days MO,TH --every 2 --count 8");
  ASSERT_EQ(r.exit, 0) << r.err;
  long id = std::strtol(r.out.c_str(), nullptr, 10);
  ASSERT_GT(id, 0) << r.out;

  r = Qwb("tasks list --json");
  ASSERT_EQ(r.exit, 0) << r.err;
  nlohmann::json want = nlohmann::json::parse(R"([{"subject": "Water the plants",
      "detail": "Balcony first", "start": "2026-06-01", "due": "2026-06-02", "priority": "Low",
      "done": false, "categories": "Home", "sensitivity": "Personal", "alarm": "2026-05-31 19:45",
      "recurrence": {"kind": "weekly", "days": "MO,TH", "every": 2, "count": 8}}])");
  want[0]["id"] = id;
  EXPECT_EQ(nlohmann::json::parse(r.out), want);

  // Done on the way in and on the way back: the component sends Complete as 1, the phone
  // keeps it as true. "last" is stored as instance 5.
  r = Qwb("tasks update " + std::to_string(id) +
          " --subject 'Water all plants' --done --recur monthly-weekday --days -1FR --json");
  ASSERT_EQ(r.exit, 0) << r.err;
  want = want[0];
  want["subject"] = "Water all plants";
  want["done"] = true;
  want["recurrence"] = {
      {"kind", "monthly-weekday"}, {"days", "FR"}, {"instance", -1}, {"every", 1}};
  EXPECT_EQ(nlohmann::json::parse(r.out), want);
  auto stored = Store().Get(static_cast<uint32_t>(id));
  ASSERT_TRUE(stored);
  auto instance = std::find_if(stored->begin(), stored->end(), [](const Property& p) {
    return p.name == "RecurrPattern.Instance";
  });
  ASSERT_NE(instance, stored->end());
  EXPECT_EQ(instance->value, (std::vector<uint8_t>{5, 0, 0, 0}));

  r = Qwb("tasks list");
  EXPECT_EQ(r.out.rfind("ID  SUBJECT", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("monthly last FR"), std::string::npos) << r.out;

  r = Qwb("tasks delete " + std::to_string(id));
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_TRUE(Store().List().empty());
  r = Qwb("tasks delete " + std::to_string(id));
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("no task with id"), std::string::npos) << r.err;
}

TEST_F(QwbdcawmCli, UsageErrorsAndHelp) {
  // The option checks themselves are in host_units_test; one of them stands for all here.
  for (const char* args : {"", "tasks add --priority urgent --subject x", "tasks update",
                           "frobnicate", "export /nonexistent/x --only addressbook"}) {
    Outcome r = Qwb(args);
    EXPECT_EQ(r.exit, 2) << args << ": " << r.err;
    EXPECT_EQ(r.out, "") << args;
  }
  // The address is checked before anything starts.
  EXPECT_EQ(Qwb("--device tcp:localhost tasks list", false).exit, 2);
  Outcome help = Qwb("tasks add --help");
  EXPECT_EQ(help.exit, 0);
  EXPECT_NE(help.out.find("Usage"), std::string::npos) << help.out;
}

TEST_F(QwbdcawmCli, DeviceFailuresExitWithTheirHresult) {
  Seed({Property::String("Subject", "one")});
  Emu().Control(R"({"cmd":"fail","name":"DevCeGet","count":1,"hresult":"0x80004005"})");
  Outcome r = Qwb("tasks list");
  EXPECT_EQ(r.exit, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("hr=0x80004005"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("CDataTableWMTask::NextItem"), std::string::npos) << r.err;

  // Nobody listening: the first call fails.
  r = Qwb("--device " + Quote("unix:" + (phone_->folder() / "nobody").string()) + " tasks list",
          false);
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("hr=0x8"), std::string::npos) << r.err;
}

TEST_F(QwbdcawmCli, BuiltInEmulatorServesTheDemoPhone) {
  Outcome r = Qwb("tasks list --json", false);
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.err.find("built-in phone emulator"), std::string::npos) << r.err;
  EXPECT_GE(nlohmann::json::parse(r.out).size(), 10u);
  // The image stays: a task added now is there next time.
  r = Qwb("tasks add --subject 'Kept between runs' --start 2026-01-01", false);
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(Qwb("tasks list", false).out.find("Kept between runs"), std::string::npos);

  // An image made from an older version of the demo preset is made anew, and says so.
  fs::path image = phone_->folder() / "cache" / "qwbdcawm" / "demo-phone";
  wmemu::Image::Open(image)->SetMeta("preset_version", "0");
  r = Qwb("tasks list", false);
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.err.find("made it anew"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("Kept between runs"), std::string::npos);
  EXPECT_EQ(wmemu::Emulator::ReadOrigin(image).presetVersion, wmemu::PresetVersion("demo"));
  r = Qwb("tasks list", false);
  EXPECT_EQ(r.err.find("made it anew"), std::string::npos) << r.err;
}

}  // namespace

namespace {

// The calendar commands on a domestic phone: a lunar appointment goes to the lunar store and
// reads back as a leap-month one; changing its date type moves it to the ordinary store.
TEST_F(QwbdcawmCli, CalendarCommandsOnADomesticPhone) {
  Emu().registry().SetString(wmemu::kHkeyLocalMachine, u"Ident", u"OrigName", u"Hanul HD-100");
  auto store = [](uint32_t kind) { return wmemu::RecordStore(Emu().image(), kind); };
  for (uint32_t kind : {2u, 0x102u})
    for (uint32_t id : store(kind).List()) store(kind).Delete(id);

  Outcome added = Qwb("calendar add --subject Birthday --start 2020-05-23 --all-day "
                      "--date-type LEAP --reminder 1d --json");
  ASSERT_EQ(added.exit, 0) << added.err;
  nlohmann::json lunar = nlohmann::json::parse(added.out);
  EXPECT_EQ(lunar["dateType"], "LEAP");
  EXPECT_EQ(lunar["reminderMinutes"], 1440);
  EXPECT_EQ(lunar["allDay"], true);
  EXPECT_EQ(store(0x102).List().size(), 1u);

  Outcome timed = Qwb("calendar add --subject Standup --start \"2026-01-05 09:30\" "
                      "--end \"2026-01-05 09:45\" --recur weekly --days MO,WE --count 10");
  ASSERT_EQ(timed.exit, 0) << timed.err;
  EXPECT_EQ(store(2).List().size(), 1u);

  Outcome all = Qwb("calendar list --json");
  ASSERT_EQ(all.exit, 0) << all.err;
  nlohmann::json list = nlohmann::json::parse(all.out);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]["subject"], "Birthday");  // lunar entries first
  EXPECT_EQ(list[1]["start"], "2026-01-05T09:30:00");
  EXPECT_EQ(list[1]["recurrence"], "weekly MO,WE x10");
  Outcome ranged = Qwb("calendar list --json --from 2026-01-01 --to 2026-12-31");
  EXPECT_EQ(nlohmann::json::parse(ranged.out).size(), 1u);

  const std::string id = std::to_string(lunar["id"].get<long>());
  Outcome moved = Qwb("calendar update " + id + " --date-type SOLAR --json");
  ASSERT_EQ(moved.exit, 0) << moved.err;
  nlohmann::json solar = nlohmann::json::parse(moved.out);
  EXPECT_EQ(solar["dateType"], "SOLAR");
  EXPECT_NE(solar["id"], lunar["id"]);
  EXPECT_TRUE(store(0x102).List().empty());
  EXPECT_EQ(store(2).List().size(), 2u);

  EXPECT_EQ(Qwb("calendar delete " + std::to_string(solar["id"].get<long>())).exit, 0);
  EXPECT_EQ(store(2).List().size(), 1u);
  EXPECT_EQ(Qwb("calendar delete " + id).exit, 1);  // gone

  EXPECT_EQ(Qwb("calendar add --subject x").exit, 2);
  EXPECT_EQ(Qwb("calendar add --subject x --start 2026-01-01 --reminder 5x").exit, 2);
  EXPECT_EQ(Qwb("calendar add --subject x --start 2026-01-01 --date-type moon").exit, 2);
  Emu().registry().SetString(wmemu::kHkeyLocalMachine, u"Ident", u"OrigName", u"Aster W1");
}

TEST_F(QwbdcawmCli, FileCommandsRoundTrip) {
  const fs::path work = phone_->folder() / "files-cli";
  fs::create_directories(work);
  setenv("APPDATA", (work / "appdata").c_str(), 1);
  std::string data(300000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 4096);
  std::ofstream(work / "in.bin", std::ios::binary) << data;

  EXPECT_EQ(Qwb("files mkdir " + Quote("/My Documents/Trips")).exit, 0);
  Outcome pushed = Qwb("files push " + Quote((work / "in.bin").string()) + " " +
                       Quote("/My Documents/Trips/"));
  EXPECT_EQ(pushed.exit, 0) << pushed.err;
  EXPECT_EQ(ReadFile(Emu().image().fsRoot() / "My Documents/Trips/in.bin"), data);
  EXPECT_EQ(Qwb("files cp " + Quote("/My Documents/Trips/in.bin") + " " +
                Quote("/My Documents/copy.bin")).exit, 0);
  EXPECT_EQ(Qwb("files mv " + Quote("/My Documents/copy.bin") + " " +
                Quote("/My Documents/moved.bin")).exit, 0);
  Outcome ls = Qwb("files ls --json " + Quote("/My Documents"));
  ASSERT_EQ(ls.exit, 0) << ls.err;
  nlohmann::json entries = nlohmann::json::parse(ls.out);
  auto moved = std::find_if(entries.begin(), entries.end(),
                            [](const nlohmann::json& e) { return e["name"] == "moved.bin"; });
  ASSERT_NE(moved, entries.end());
  EXPECT_EQ((*moved)["size"], data.size());
  EXPECT_EQ((*moved)["type"], "file");
  EXPECT_EQ(Qwb("files pull " + Quote("/My Documents/moved.bin") + " " +
                Quote((work / "out.bin").string())).exit, 0);
  EXPECT_EQ(ReadFile(work / "out.bin"), data);

  const fs::path backup = work / "backup";
  Outcome first = Qwb("backup " + Quote(backup.string()));
  EXPECT_EQ(first.exit, 0) << first.err;
  EXPECT_EQ(ReadFile(backup / "My Documents/Trips/in.bin"), data);
  Outcome second = Qwb("backup " + Quote(backup.string()));
  EXPECT_NE(second.err.find("backup: 0 copied"), std::string::npos) << second.err;
  // A manifest spoiled by hand (an entry of another type, or no JSON at all) only costs the
  // copies it no longer vouches for.
  for (const char* spoiled : {R"({"My Documents/Trips/in.bin": 5, "x": [1]})", "{not json"}) {
    std::ofstream(backup / ".qwbdcawm-backup.json", std::ios::trunc) << spoiled;
    Outcome again = Qwb("backup " + Quote(backup.string()));
    EXPECT_EQ(again.exit, 0) << spoiled << ": " << again.err;
    EXPECT_EQ(again.err.find("backup: 0 copied"), std::string::npos) << again.err;
    EXPECT_EQ(ReadFile(backup / "My Documents/Trips/in.bin"), data);
  }

  // export copies the documents without their pictures, and the pictures, through the same
  // mirror; a second export leaves the copies alone.
  Emu().files().PutFile(u"\\My Documents\\My Pictures\\p.jpg", {0xFF, 0xD8, 0xFF});
  const fs::path exported = work / "export";
  Outcome files = Qwb("export " + Quote(exported.string()) + " --only documents --only pictures");
  ASSERT_EQ(files.exit, 0) << files.err;
  EXPECT_EQ(ReadFile(exported / "documents/Trips/in.bin"), data);
  EXPECT_FALSE(fs::exists(exported / "documents/My Pictures"));
  EXPECT_EQ(ReadFile(exported / "pictures/My Pictures/p.jpg"), std::string("\xFF\xD8\xFF"));
  Outcome again = Qwb("export " + Quote(exported.string()) + " --only pictures");
  EXPECT_NE(again.err.find("pictures: 0 copied, 1 unchanged"), std::string::npos) << again.err;

  EXPECT_EQ(Qwb("files rm " + Quote("/My Documents/Trips")).exit, 0);
  EXPECT_FALSE(fs::exists(Emu().image().fsRoot() / "My Documents/Trips"));
  Outcome missing = Qwb("files pull " + Quote("/My Documents/none.bin"));
  EXPECT_EQ(missing.exit, 1);
  Outcome df = Qwb("files df");
  EXPECT_NE(df.out.find("main memory"), std::string::npos);
  fs::remove(Emu().image().fsRoot() / "My Documents/moved.bin");
}

TEST_F(QwbdcawmCli, SpecialFoldersMyDocumentsAndStat) {
  // Without a path the listing is of My Documents, as the phone names it.
  Outcome plain = Qwb("files ls --json");
  Outcome docs = Qwb("files ls --json " + Quote("/My Documents"));
  ASSERT_EQ(plain.exit, 0) << plain.err;
  EXPECT_EQ(plain.out, docs.out);
  Outcome special = Qwb("files ls --special --json");
  ASSERT_EQ(special.exit, 0) << special.err;
  nlohmann::json folders = nlohmann::json::parse(special.out);
  ASSERT_GE(folders.size(), 7u);
  EXPECT_EQ(folders[0]["name"], "My Documents");
  EXPECT_EQ(folders[0]["csidl"], 5);
  EXPECT_EQ(folders[0]["path"], "/My Documents");
  for (const auto& f : folders) EXPECT_NE(f["name"], "Desktop");  // phones have none

  fs::create_directories(Emu().image().fsRoot() / "My Documents");
  std::ofstream(Emu().image().fsRoot() / "My Documents/stat.bin", std::ios::binary)
      << std::string(1234, 'x');
  Outcome stat = Qwb("files stat --json " + Quote("/My Documents/stat.bin"));
  ASSERT_EQ(stat.exit, 0) << stat.err;
  nlohmann::json j = nlohmann::json::parse(stat.out);
  EXPECT_EQ(j["size"], 1234);
  EXPECT_EQ(j["type"], "file");
  EXPECT_EQ(j["attributes"], 0x20);
  Outcome folder = Qwb("files stat " + Quote("/My Documents"));
  EXPECT_EQ(folder.exit, 0);
  EXPECT_EQ(folder.out.substr(0, 7), "d------");
  EXPECT_EQ(Qwb("files stat " + Quote("/My Documents/none.bin")).exit, 1);
  EXPECT_EQ(Qwb("files stat " + Quote("\\DCIM")).exit, 2);
  EXPECT_EQ(Qwb("files ls --special /").exit, 2);
  fs::remove(Emu().image().fsRoot() / "My Documents/stat.bin");
}

// Photos from the command line: set, shown, exported in the card, imported from a card,
// refused when the file is no picture (the phone keeps its photo), cleared.
TEST_F(QwbdcawmCli, ContactPhotosFromTheCommandLine) {
  const fs::path work = phone_->folder() / "photo-cli";
  fs::create_directories(work);
  setenv("APPDATA", (work / "appdata").c_str(), 1);
  wmemu::RecordStore contacts(Emu().image(), 1);
  for (uint32_t id : contacts.List()) contacts.Delete(id);
  const uint32_t id = contacts.Add({wmemu::RecordStore::Raw(1, Property::String("FirstName", "Ann"))});
  auto stored = [&]() -> std::vector<uint8_t> {
    for (const Property& p : contacts.Get(id).value_or(std::vector<Property>{}))
      if (p.name == "Picture") return p.value;
    return {};
  };
  const std::vector<uint8_t> big = wmemu::SampleJpeg(400, 300, 5), small = wmemu::SamplePng(60, 80, 6);
  std::ofstream(work / "big.jpg", std::ios::binary)
      .write(reinterpret_cast<const char*>(big.data()), static_cast<std::streamsize>(big.size()));
  std::ofstream(work / "notes.jpg") << "not a picture";
  const std::string sid = std::to_string(id);

  Outcome r = Qwb("contacts set-photo " + sid + " " + Quote((work / "big.jpg").string()));
  ASSERT_EQ(r.exit, 0) << r.err;
  const std::vector<uint8_t> reduced = stored();
  ASSERT_FALSE(reduced.empty());
  r = Qwb("contacts show " + sid);
  ASSERT_EQ(r.exit, 0) << r.err;
  nlohmann::json shown = nlohmann::json::parse(r.out);
  char name[32];
  std::snprintf(name, sizeof name, "Image%04u.jpg", id);
  EXPECT_EQ(shown["photo"]["file"], name);
  const fs::path cached = shown["photo"]["path"].get<std::string>();
  EXPECT_EQ(cached.filename(), name);
  EXPECT_EQ(ReadFile(cached), std::string(reduced.begin(), reduced.end()));

  // The card's PHOTO is the cached file.
  ASSERT_EQ(Qwb("export " + Quote((work / "out").string()) + " --only contacts").exit, 0);
  std::string vcf = ReadFile(work / "out" / "contacts.vcf"), unfolded;
  for (size_t i = 0; i < vcf.size(); ++i) {
    if (vcf.compare(i, 3, "\r\n ") == 0) {
      i += 2;
      continue;
    }
    unfolded += vcf[i];
  }
  const size_t at = unfolded.find("PHOTO:data:image/jpeg;base64,");
  ASSERT_NE(at, std::string::npos) << vcf;
  const size_t from = at + std::strlen("PHOTO:data:image/jpeg;base64,");
  auto photo = qwbhost::FromBase64(unfolded.substr(from, unfolded.find("\r\n", from) - from));
  ASSERT_TRUE(photo);
  EXPECT_EQ(*photo, reduced);

  // A file that is no picture is refused before anything is written.
  r = Qwb("contacts set-photo " + sid + " " + Quote((work / "notes.jpg").string()));
  EXPECT_EQ(r.exit, 2);
  EXPECT_NE(r.err.find("is not a JPEG, PNG, GIF, BMP or WebP picture"), std::string::npos) << r.err;
  EXPECT_EQ(stored(), reduced);

  // A card's photo goes to the phone as the component sends it: a small PNG byte for byte.
  std::ofstream(work / "in.vcf") << "BEGIN:VCARD\r\nVERSION:4.0\r\nUID:" << shown["id"]
                                 << "\r\nFN:Ann\r\nN:;Ann;;;\r\nPHOTO:data:image/png;base64,"
                                 << qwbhost::Base64(small) << "\r\nEND:VCARD\r\n";
  r = Qwb("import " + Quote((work / "in.vcf").string()));
  ASSERT_EQ(r.exit, 0) << r.err;
  std::vector<uint32_t> ids = contacts.List();
  ASSERT_EQ(ids.size(), 2u);  // the card names no contact of this phone: a new one
  std::vector<uint8_t> imported;
  for (const Property& p : contacts.Get(ids[1]).value_or(std::vector<Property>{}))
    if (p.name == "Picture") imported = p.value;
  EXPECT_EQ(imported, small);

  r = Qwb("contacts clear-photo " + sid);
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_TRUE(stored().empty());
  r = Qwb("contacts show " + sid);
  EXPECT_FALSE(nlohmann::json::parse(r.out).contains("photo"));
  EXPECT_EQ(Qwb("contacts set-photo " + sid + " " + Quote((work / "missing.jpg").string())).exit, 2);
}

// Ctrl-C in the middle of a pull: the bar's continue flag stops the copy, the command exits
// with 130 and the PC file is gone.
// Contacts are listed as the phone hands them over, each naming its groups; the group
// listing counts members the same way; the vCards carry the groups as CATEGORIES.
TEST_F(QwbdcawmCli, ContactListingsNameTheirGroups) {
  wmemu::RecordStore contacts(Emu().image(), 1);
  for (uint32_t id : contacts.List()) contacts.Delete(id);
  for (const char* group : {"Family", "Golf club"}) ASSERT_EQ(Qwb("groups add " + Quote(group)).exit, 0);
  struct Person {
    const char* args;
    const char* name;
    std::vector<std::string> groups;
  };
  const Person people[] = {
      {"--first Ann --last Lee --group Family --group 'Golf club'", "Ann Lee", {"Family", "Golf club"}},
      {"--first Bob --group 'Golf club' --mobile 010-1234-5678", "Bob", {"Golf club"}},
      {"--display '\xEA\xB9\x80\xEC\xB2\xA0\xEC\x88\x98'", "\xEA\xB9\x80\xEC\xB2\xA0\xEC\x88\x98", {}},
  };
  for (const Person& p : people) {
    Outcome r = Qwb(std::string("contacts add ") + p.args);
    ASSERT_EQ(r.exit, 0) << p.args << ": " << r.err;
  }

  Outcome r = Qwb("contacts list --json");
  ASSERT_EQ(r.exit, 0) << r.err;
  const nlohmann::json listed = nlohmann::json::parse(r.out);
  ASSERT_EQ(listed.size(), std::size(people));
  for (const Person& p : people) {
    auto it = std::find_if(listed.begin(), listed.end(), [&](const auto& c) { return c["name"] == p.name; });
    ASSERT_NE(it, listed.end()) << p.name;
    EXPECT_EQ((*it)["groups"].get<std::vector<std::string>>(), p.groups) << p.name;
  }

  r = Qwb("groups list --json");
  ASSERT_EQ(r.exit, 0) << r.err;
  std::map<std::string, int> members;
  std::vector<long> groupIds;
  for (const auto& g : nlohmann::json::parse(r.out)) {
    members[g["name"]] = g["members"];
    groupIds.push_back(g["id"]);
  }
  EXPECT_EQ(members, (std::map<std::string, int>{{"Family", 1}, {"Golf club", 2}}));

  r = Qwb("contacts list");
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1 + static_cast<long>(std::size(people)));
  EXPECT_NE(r.out.find("Family, Golf club"), std::string::npos) << r.out;

  const fs::path dir = phone_->folder() / "contacts-export";
  ASSERT_EQ(Qwb("export " + Quote(dir.string()) + " --only contacts").exit, 0);
  const std::string vcf = ReadFile(dir / "contacts.vcf");
  EXPECT_EQ(std::count(vcf.begin(), vcf.end(), '\n'), std::count(vcf.begin(), vcf.end(), '\r'));
  size_t cards = 0;
  for (size_t at = 0; (at = vcf.find("BEGIN:VCARD", at)) != std::string::npos; ++at) ++cards;
  EXPECT_EQ(cards, std::size(people));
  EXPECT_NE(vcf.find("\r\nCATEGORIES:Family,Golf club\r\n"), std::string::npos) << vcf;

  r = Qwb("contacts show 999999");
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("the phone has no contact 999999"), std::string::npos) << r.err;
  for (uint32_t id : contacts.List()) contacts.Delete(id);
  for (long id : groupIds) EXPECT_EQ(Qwb("groups delete " + std::to_string(id)).exit, 0);
}

TEST_F(QwbdcawmCli, CtrlCDuringAPullLeavesNoFile) {
  const fs::path local = phone_->folder() / "interrupted.bin";
  Emu().files().PutFile(u"\\My Documents\\slow.bin", std::vector<uint8_t>(64 * 4096, 0x5A));
  Emu().faults().Delay(40, "CeReadFile");  // about 2.5 s for the whole file
  const std::string exe = qwbhost::ExecutableFolder() + "/qwbdcawm";
  const std::string address = phone_->address();
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    execl(exe.c_str(), exe.c_str(), "--device", address.c_str(), "files", "pull",
          "/My Documents/slow.bin", local.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // The PC file appears when the copy starts; the interrupt comes in its middle.
  for (int i = 0; i < 300 && !fs::exists(local); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  Emu().faults().Delay(0, "CeReadFile");
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_FALSE(fs::exists(local));
  fs::remove(Emu().image().fsRoot() / "My Documents/slow.bin");
}

}  // namespace

namespace {

// info, voicememos and their exports on the fixture's phone (an "Aster W1" without a card).
TEST_F(QwbdcawmCli, InfoAndVoiceMemos) {
  const fs::path appData = phone_->folder() / "cli-appdata";
  fs::remove_all(appData);
  const std::string env = "APPDATA=" + Quote(appData.string());

  Outcome r = Qwb("info --json", true, env);
  ASSERT_EQ(r.exit, 0) << r.err;
  nlohmann::json info = nlohmann::json::parse(r.out);
  EXPECT_EQ(info["model"], "Aster W1");
  EXPECT_EQ(info["modelType"], "olInternational");
  EXPECT_EQ(info["modelTypeNumber"], 1);
  EXPECT_EQ(info["manufacturer"], "Tolvane");
  EXPECT_EQ(info["memory"][0]["kind"], "main");
  EXPECT_GT(info["memory"][0]["size"].get<uint64_t>(), 0u);
  EXPECT_EQ(info["sim"]["total"], 250);
  EXPECT_EQ(info["sim"]["maxNameLength"], 14);
  EXPECT_EQ(info["mmsMaxSize"], 307200);
  EXPECT_EQ(info["limits"]["PHONEBOOK"]["capacity"], -1);
  EXPECT_EQ(info["limits"]["PHONEBOOK"]["properties"]["NOTES"]["maxSize"], -1);
  EXPECT_EQ(info["limits"]["SMS"]["properties"]["MAX_CONTENTS"]["values"][0], "160");
  EXPECT_EQ(info["limits"]["PB_GROUP"]["capacity"], 50);
  EXPECT_EQ(info["power"]["acLine"], "online");
  EXPECT_EQ(info["system"]["architecture"], "ARM");
  EXPECT_GT(info["store"]["size"].get<uint64_t>(), info["store"]["free"].get<uint64_t>());

  // A phone on a low battery says so in both forms.
  Emu().Control(R"({"cmd":"power","state":"low"})");
  r = Qwb("info --json", true, env);
  ASSERT_EQ(r.exit, 0) << r.err;
  info = nlohmann::json::parse(r.out);
  EXPECT_EQ(info["power"]["acLine"], "offline");
  EXPECT_EQ(info["power"]["batteryPercent"], 12);
  EXPECT_EQ(info["power"]["battery"], "low");
  r = Qwb("info", true, env);
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.out.find("olInternational (1)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("12 % (low)"), std::string::npos) << r.out;
  Emu().Control(R"({"cmd":"power","state":"cradled"})");
  r = Qwb("info --devinf", true, env);
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(r.out.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<DevInf xmlns='syncml:devinf'>", 0),
            0u);

  // No AudioNote folder yet: a failure that says why; the export goes on without memos.
  fs::remove_all(Emu().image().fsRoot() / "My Documents" / "AudioNote");
  r = Qwb("voicememos list", true, env);
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("AudioNote"), std::string::npos) << r.err;
  const fs::path out = phone_->folder() / "cli-export";
  fs::remove_all(out);
  r = Qwb("export " + Quote(out.string()) + " --only voice-memos --only device-info", true, env);
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.err.find("none exported"), std::string::npos) << r.err;
  EXPECT_EQ(nlohmann::json::parse(ReadFile(out / "device-info.json"))["model"], "Aster W1");

  // Two recordings and a note beside them.
  const fs::path notes = Emu().image().fsRoot() / "My Documents" / "AudioNote";
  fs::create_directories(notes);
  std::ofstream(notes / "Memo 1.amr", std::ios::binary) << "#!AMR\n<0123456789abcdefghijklmnopqrstu";
  std::ofstream(notes / "Memo 2.AMR", std::ios::binary) << "#!AMR\n";
  std::ofstream(notes / "todo.txt", std::ios::binary) << "x";
  r = Qwb("voicememos list --json", true, env);
  ASSERT_EQ(r.exit, 0) << r.err;
  nlohmann::json memos = nlohmann::json::parse(r.out);
  ASSERT_EQ(memos.size(), 2u);
  EXPECT_EQ(memos[0]["name"], "Memo 1.amr");
  EXPECT_EQ(memos[0]["size"], 38);
  EXPECT_EQ(memos[1]["name"], "Memo 2.AMR");
  r = Qwb("voicememos pull " + Quote((out / "pulled").string()), true, env);
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(ReadFile(out / "pulled" / "Memo 1.amr"), ReadFile(notes / "Memo 1.amr"));
  r = Qwb("export " + Quote(out.string()) + " --only voice-memos", true, env);
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(ReadFile(out / "voice-memos" / "Memo 2.AMR"), "#!AMR\n");
  // With the decoder, a WAV beside each: 160 samples of 16 bits per frame after the header.
  EXPECT_EQ(fs::exists(out / "voice-memos" / "Memo 1.wav"), qwbhost::HaveAmrDecoder());
  if (qwbhost::HaveAmrDecoder()) {
    EXPECT_EQ(fs::file_size(out / "voice-memos" / "Memo 1.wav"), 44u + 320u);
    EXPECT_EQ(ReadFile(out / "voice-memos" / "Memo 1.wav").substr(0, 4), "RIFF");
  }
  fs::remove_all(notes);
}

}  // namespace
