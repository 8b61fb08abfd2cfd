// Exports opened by the programs people use: the demo phones exported with --vdir, read by
// todoman, khal and khard, and two phones gathered into one collection (vdirsyncer for the
// tasks, one shared vdir for khal and khard). Every record must be found with its key fields
// as the phone holds them (the phone's view: `qwbdcawm ... --json`, or the component's own
// records and recurrence expansion read in this process).
// Each program's tests run only in their CTest entry (export_clients.<program>), which skips
// when the program is not installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/ContactRecord.h"
#include "host/ContentLines.h"
#include "host/EventRecord.h"
#include "host/Session.h"
#include "tables/organizer/Recurrence.h"
#include "tables/organizer/TimeConv.h"
#include "wincompat/comptr.h"
#include "tests/support/EmulatedPhone.h"
#include "tests/host/ClientPrograms.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using qwbtest::ClientSandbox;
using qwbtest::ProgramRun;

// A text field of the phone's JSON; "" when absent or null.
std::string Field(const json& o, const char* key) {
  auto it = o.find(key);
  return it == o.end() || it->is_null() ? "" : it->get<std::string>();
}

// The tab-separated cells of a line, empty ones included.
std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  size_t at = 0;
  for (size_t tab; (tab = line.find('\t', at)) != std::string::npos; at = tab + 1)
    cells.push_back(line.substr(at, tab - at));
  cells.push_back(line.substr(at));
  return cells;
}

// Two demo phones made from the same preset, each exported as a vdir.
class ExportedPhones : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The programs run in UTC; the records read in this process are read in UTC too.
    setenv("TZ", "UTC", 1);
    tzset();
    sandbox_ = new ClientSandbox("exports");
    for (int i = 0; i < 2; ++i) {
      phones_[i] = new qwbhost::EmulatedPhone("demo", "Aster W1");
      ProgramRun r = sandbox_->Qwbdcawm(phones_[i]->address(), {"tasks", "list", "--json"});
      ASSERT_EQ(r.exit, 0) << r.err;
      tasks_[i] = json::parse(r.out);
      Export(i);
    }
  }
  static void TearDownTestSuite() {
    for (auto*& p : phones_) delete p, p = nullptr;
    delete sandbox_;
    sandbox_ = nullptr;
  }

  static fs::path Vdir(int phone) { return sandbox_->root() / ("phone" + std::to_string(phone)); }
  static void Export(int phone) {
    ProgramRun r =
        sandbox_->Qwbdcawm(phones_[phone]->address(), {"export", "--vdir", Vdir(phone).string()});
    ASSERT_EQ(r.exit, 0) << r.err;
  }

  // todoman on the task lists under `glob`: every task as its porcelain JSON, all statuses.
  static json Todoman(const std::string& glob, const std::vector<std::string>& extra = {}) {
    fs::path config = sandbox_->Write("todoman.py", "path = \"" + glob +
                                                        "\"\ndate_format = \"%Y-%m-%d\"\n"
                                                        "time_format = \"%H:%M\"\n");
    std::vector<std::string> argv = {"todoman",  "--config", config.string(), "--porcelain", "list",
                                     "--status", "ANY"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    ProgramRun r = sandbox_->Run(argv);
    EXPECT_EQ(r.exit, 0) << r.err;
    // todoman skips an entry it cannot read with a message and goes on.
    EXPECT_EQ(r.err.find("Failed to read"), std::string::npos) << r.err;
    return r.out.empty() ? json::array() : json::parse(r.out);
  }

  // Every category of the phone's tasks -> the subjects of the tasks that have it.
  static std::map<std::string, std::multiset<std::string>> ByCategory(const json& tasks) {
    std::map<std::string, std::multiset<std::string>> out;
    for (const json& t : tasks)
      for (const std::string& c : qwbhost::SplitCategories(Field(t, "categories")))
        out[c].insert(t["subject"].get<std::string>());
    return out;
  }

  static std::multiset<std::string> Summaries(const json& todos) {
    std::multiset<std::string> out;
    for (const json& t : todos) out.insert(t["summary"].get<std::string>());
    return out;
  }

  // The phone's calendar and phonebook as the component reads them, in this process.
  struct PhoneRecords {
    std::vector<qwbhost::EventRecord> events;
    qwbhost::Phonebook book;
  };
  static PhoneRecords ReadInProcess(int phone) {
    setenv("QWBDCAWM_DEVICE", phones_[phone]->address().c_str(), 1);
    setenv("QWBDCAWM_REGISTRY", (sandbox_->root() / "inprocess.reg").c_str(), 1);
    PhoneRecords out;
    qwbhost::Session session;
    ComPtr<IDataTable> table = session.Table(DTID_CALENDAR);
    qwbhost::ForEachItem(table.Get(), "calendar", [&](IItem* item, ULONG, ULONG) {
      out.events.push_back(qwbhost::ReadEvent(item));
    });
    out.book = qwbhost::ReadPhonebook(session);
    return out;
  }

  // khal over the calendars in `paths`, listing [from, to): one line per occurrence and day.
  static std::vector<std::vector<std::string>> Khal(const std::vector<fs::path>& paths,
                                                    const std::string& from,
                                                    const std::string& to) {
    std::string calendars;
    for (size_t i = 0; i < paths.size(); ++i)
      calendars += "[[cal" + std::to_string(i) + "]]\npath = " + paths[i].string() +
                   "\ntype = calendar\n";
    const std::string db = (sandbox_->root() / ("khal-" + std::to_string(++khalRuns_) + ".db")).string();
    fs::path config = sandbox_->Write(
        "khal.conf", "[calendars]\n" + calendars +
                         "[locale]\ntimeformat = %H:%M\ndateformat = %Y-%m-%d\n"
                         "longdateformat = %Y-%m-%d\ndatetimeformat = %Y-%m-%d %H:%M\n"
                         "longdatetimeformat = %Y-%m-%d %H:%M\nlocal_timezone = UTC\n"
                         "default_timezone = UTC\n[sqlite]\npath = " + db + "\n");
    ProgramRun r = sandbox_->Run({"khal", "-c", config.string(), "list", "--day-format", "",
                                  "--format", "{uid}\t{title}\t{start}\t{end}\t{all-day}",
                                  from, to});
    EXPECT_EQ(r.exit, 0) << r.err;
    // khal names what it cannot read on stderr and goes on without it.
    EXPECT_EQ(r.err.find("rror"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("arning"), std::string::npos) << r.err;
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
      if (!line.empty()) rows.push_back(Cells(line));
    return rows;
  }

  // khard over the address books in `paths`, one row per contact with `fields`.
  static std::vector<std::vector<std::string>> Khard(const std::vector<fs::path>& paths,
                                                     const std::string& fields) {
    std::string books;
    for (size_t i = 0; i < paths.size(); ++i)
      books += "[[book" + std::to_string(i) + "]]\npath = " + paths[i].string() + "\n";
    fs::path config = sandbox_->Write(
        "khard.conf", "[addressbooks]\n" + books +
                          "[general]\neditor = /bin/true\nmerge_editor = /bin/true\n"
                          "[contact table]\ndisplay = formatted_name\nshow_uids = yes\n"
                          "[vcard]\nskip_unparsable = no\n");
    ProgramRun r = sandbox_->Run({"khard", "-c", config.string(), "list", "--parsable", "-F", fields});
    EXPECT_EQ(r.exit, 0) << r.err;
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) rows.push_back(Cells(line));
    return rows;
  }

  static inline int khalRuns_ = 0;
  static inline ClientSandbox* sandbox_ = nullptr;
  static inline qwbhost::EmulatedPhone* phones_[2] = {};
  static inline json tasks_[2];
};

std::string DayOf(const json& timestamp) {
  if (timestamp.is_null()) return "";
  time_t t = timestamp.get<time_t>();
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
  return buf;
}

TEST_F(ExportedPhones, TodomanReadsEveryTaskWithItsFields) {
  ASSERT_GE(tasks_[0].size(), 10u);
  json todos = Todoman((Vdir(0) / "tasks").string());
  ASSERT_EQ(todos.size(), tasks_[0].size()) << todos.dump(2);
  std::map<std::string, json> bySummary;
  for (const json& t : todos) bySummary[t["summary"].get<std::string>()] = t;
  for (const json& task : tasks_[0]) {
    std::string subject = task["subject"];
    ASSERT_TRUE(bySummary.count(subject)) << subject;
    const json& todo = bySummary[subject];
    EXPECT_EQ(DayOf(todo["due"]), Field(task, "due")) << subject;
    std::string priority = Field(task, "priority");
    EXPECT_EQ(todo["priority"].get<int>(), priority == "High"     ? 1
                                           : priority == "Low"    ? 9
                                           : priority == "Normal" ? 5
                                                                  : 0)
        << subject;
    EXPECT_EQ(todo["completed"].get<bool>(), task["done"].get<bool>()) << subject;
    EXPECT_TRUE(todo["completed_at"].is_null()) << subject << ": the phone keeps no such time";
  }
  // Categories, through todoman's own filter: the tasks with two of them included.
  auto categories = ByCategory(tasks_[0]);
  ASSERT_TRUE(categories.count("Family"));
  for (const auto& [category, subjects] : categories)
    EXPECT_EQ(Summaries(Todoman((Vdir(0) / "tasks").string(), {"--category", category})), subjects)
        << category;
}

TEST_F(ExportedPhones, VdirsyncerGathersTwoPhonesIntoOneCollection) {
  fs::path merged = sandbox_->root() / "merged" / "tasks";
  fs::create_directories(merged);
  std::string storages, pairs;
  for (int i = 0; i < 2; ++i) {
    std::string name = "phone" + std::to_string(i);
    storages += "[storage " + name + "]\ntype = \"filesystem\"\npath = \"" +
                (Vdir(i) / "tasks").string() + "\"\nfileext = \".ics\"\nread_only = true\n\n";
    pairs += "[pair " + name + "_merged]\na = \"" + name +
             "\"\nb = \"merged\"\ncollections = null\nconflict_resolution = \"a wins\"\n"
             "partial_sync = \"ignore\"\n\n";
  }
  fs::path config = sandbox_->Write(
      "vdirsyncer.conf", "[general]\nstatus_path = \"" + (sandbox_->root() / "status").string() +
                             "\"\n\n" + storages +
                             "[storage merged]\ntype = \"filesystem\"\n"
                             "path = \"" +
                             merged.string() + "\"\nfileext = \".ics\"\n\n" + pairs);
  auto vdirsyncer = [&](const std::string& command) {
    ProgramRun r = sandbox_->Run({"vdirsyncer", "--config", config.string(), command});
    EXPECT_EQ(r.exit, 0) << command << ": " << r.out << r.err;
    return r;
  };
  vdirsyncer("discover");
  vdirsyncer("sync");

  // Every record once per phone: the same subjects twice, under different UIDs.
  std::multiset<std::string> want;
  for (int i = 0; i < 2; ++i)
    for (const json& t : tasks_[i]) want.insert(t["subject"].get<std::string>());
  json todos = Todoman(merged.string());
  EXPECT_EQ(Summaries(todos), want);
  auto categories = ByCategory(tasks_[0]);
  EXPECT_EQ(Summaries(Todoman(merged.string(), {"--category", "Family"})).size(),
            2 * categories["Family"].size());

  // An unchanged phone exported again gives the sync tool nothing to do; a task deleted on the
  // phone leaves the collection.
  Export(0);
  ProgramRun quiet = vdirsyncer("sync");
  EXPECT_EQ(quiet.err.find("Copying"), std::string::npos) << quiet.err;
  EXPECT_EQ(quiet.err.find("Updating"), std::string::npos) << quiet.err;
  long gone = tasks_[0][0]["id"].get<long>();
  ASSERT_EQ(
      sandbox_->Qwbdcawm(phones_[0]->address(), {"tasks", "delete", std::to_string(gone)}).exit, 0);
  Export(0);
  vdirsyncer("sync");
  want.erase(want.find(tasks_[0][0]["subject"].get<std::string>()));
  EXPECT_EQ(Summaries(Todoman(merged.string())), want);
}

// "YYYY-MM-DD" or "YYYY-MM-DD HH:MM" of a local date, as khal prints them.
std::string KhalTime(DATE d, bool allDay) {
  qwb::OleDateParts p{};
  if (!qwb::SplitOleDate(d, &p)) return "invalid";
  char s[32];
  if (allDay)
    std::snprintf(s, sizeof s, "%04d-%02d-%02d", p.year, p.month, p.day);
  else
    std::snprintf(s, sizeof s, "%04d-%02d-%02d %02d:%02d", p.year, p.month, p.day, p.hour, p.minute);
  return s;
}

// The record id at the end of an exported UID ("...-event-14" -> 14); -1 when none.
long IdOfUid(const std::string& uid) {
  size_t dash = uid.rfind('-');
  if (dash == std::string::npos || dash + 1 == uid.size()) return -1;
  return std::strtol(uid.c_str() + dash + 1, nullptr, 10);
}

// Every occurrence the phone's calendar has from 2008 to 2009, each with its title, start,
// end and all-day flag as khal prints them: the component's expansion of each recurrence.
std::set<std::vector<std::string>> PhoneOccurrences(const std::vector<qwbhost::EventRecord>& events) {
  DATE first = 0, last = 0;
  qwb::MakeOleDate(2008, 1, 1, 0, 0, 0, &first);
  qwb::MakeOleDate(2009, 12, 31, 23, 59, 59, &last);
  std::set<std::vector<std::string>> out;
  for (const qwbhost::EventRecord& e : events) {
    if (!e.start || !e.end) continue;
    const DATE length = *e.end - *e.start;
    auto add = [&](DATE start) {
      if (start < first || start > last) return;
      // An all-day event ends on its last day (23:59 on the phone).
      out.insert({std::to_string(e.id), e.subject, KhalTime(start, e.allDay),
                  KhalTime(start + length, e.allDay), e.allDay ? "True" : "False"});
    };
    const qwbhost::Recurrence rec = e.recurrence();
    // Lunar appointments go out as their solar day, without a solar rule.
    if (rec.kind == qwbhost::RecurKind::kNone || e.lunar()) {
      add(*e.start);
      continue;
    }
    DATE latest = last;
    int count = qwb::kMaxOccurrences;
    if (rec.end == qwbhost::Recurrence::End::kCount) count = rec.count;
    if (rec.end == qwbhost::Recurrence::End::kUntil && *rec.until < latest) latest = *rec.until;
    qwb::ForEachOccurrence(*e.start, *e.recurType, e.recurEvery.value_or(1), e.recurFlag.value_or(0),
                           latest, count, [&](DATE d) {
                             add(d);
                             return true;
                           });
  }
  return out;
}

// khal's rows, one per occurrence (a multi-day event is listed on each of its days), keyed
// like PhoneOccurrences with the record id in place of the UID.
std::set<std::vector<std::string>> KhalOccurrences(const std::vector<std::vector<std::string>>& rows,
                                                   std::set<std::string>* uids = nullptr) {
  std::set<std::vector<std::string>> out;
  for (const auto& r : rows) {
    EXPECT_EQ(r.size(), 5u);
    // khal lists through the end day of the range too.
    if (r.size() != 5 || r[2] >= "2010-01-01") continue;
    if (uids) uids->insert(r[0]);
    out.insert({std::to_string(IdOfUid(r[0])), r[1], r[2], r[3], r[4]});
  }
  return out;
}

TEST_F(ExportedPhones, KhalFindsEveryEventAndEveryOccurrence) {
  PhoneRecords phone = ReadInProcess(0);
  ASSERT_GE(phone.events.size(), 30u);
  std::set<std::vector<std::string>> want = PhoneOccurrences(phone.events);
  std::set<std::string> uids;
  std::set<std::vector<std::string>> got =
      KhalOccurrences(Khal({Vdir(0) / "calendar"}, "2008-01-01", "2010-01-01"), &uids);
  // Every appointment is there; every occurrence of 2008-2009 with its times.
  EXPECT_EQ(uids.size(), phone.events.size());
  std::vector<std::vector<std::string>> missing, extra;
  std::set_difference(want.begin(), want.end(), got.begin(), got.end(), std::back_inserter(missing));
  std::set_difference(got.begin(), got.end(), want.begin(), want.end(), std::back_inserter(extra));
  auto show = [](const std::vector<std::vector<std::string>>& rows) {
    std::string s;
    for (const auto& r : rows) s += r[0] + " " + r[1] + " " + r[2] + " - " + r[3] + " " + r[4] + "\n";
    return s;
  };
  EXPECT_TRUE(missing.empty()) << "on the phone, not in khal:\n" << show(missing);
  EXPECT_TRUE(extra.empty()) << "in khal, not on the phone:\n" << show(extra);
  EXPECT_GE(want.size(), 300u) << "the demo calendar's recurrences fill two years";
}

// khard's Python-literal cells: "['a', 'b']" and "{'cell': ['1'], 'home,voice': ['2']}".
std::vector<std::string> QuotedItems(const std::string& cell) {
  std::vector<std::string> out;
  for (size_t at = 0; (at = cell.find('\'', at)) != std::string::npos;) {
    size_t end = cell.find('\'', at + 1);
    if (end == std::string::npos) break;
    out.push_back(cell.substr(at + 1, end - at - 1));
    at = end + 1;
  }
  return out;
}
// {'type': ['n1', 'n2'], ...} -> (type, number) pairs.
std::multiset<std::pair<std::string, std::string>> TypedValues(const std::string& cell) {
  std::multiset<std::pair<std::string, std::string>> out;
  std::string type;
  size_t at = 0;
  while ((at = cell.find('\'', at)) != std::string::npos) {
    size_t end = cell.find('\'', at + 1);
    if (end == std::string::npos) break;
    std::string item = cell.substr(at + 1, end - at - 1);
    size_t next = cell.find_first_not_of(' ', end + 1);
    if (next != std::string::npos && cell[next] == ':')
      type = item;
    else
      out.insert({type, item});
    at = end + 1;
  }
  return out;
}

TEST_F(ExportedPhones, KhardFindsEveryContactWithItsFields) {
  PhoneRecords phone = ReadInProcess(0);
  ASSERT_GE(phone.book.contacts.size(), 300u);
  // The telephone types khard shows for each kind of number the phone keeps (khard drops the
  // "x-" of extended types and joins several with ", ", here without the blank).
  const std::map<std::string, std::string> kTypes = {
      {"Mobile", "cell"},         {"Landline.Private", "home,voice"},
      {"Landline.Private2", "home,voice"}, {"Landline.Business", "work,voice"},
      {"Landline.Business2", "work,voice"}, {"Fax.Private", "home,fax"},
      {"Fax.Business", "work,fax"}, {"RadioTel", "radio"},
      {"CarPhone", "car"},        {"Pager", "pager"},
      {"Company", "work,company"}, {"Assistant", "assistant"}};
  auto rows = Khard({Vdir(0) / "contacts"}, "uid,formatted_name,phone_numbers,emails,birthday,categories");
  ASSERT_EQ(rows.size(), phone.book.contacts.size());
  std::map<long, const qwbhost::ContactRecord*> byId;
  for (const auto& c : phone.book.contacts) byId[c.id] = &c;
  int birthdays = 0, categorised = 0, phones = 0;
  for (const auto& r : rows) {
    ASSERT_EQ(r.size(), 6u);
    const long id = IdOfUid(r[0]);
    ASSERT_TRUE(byId.count(id)) << r[0];
    const qwbhost::ContactRecord& c = *byId[id];
    SCOPED_TRACE(r[0] + " " + c.Title());
    EXPECT_EQ(r[1], c.displayName.empty() ? c.Title() : c.displayName);
    std::multiset<std::pair<std::string, std::string>> want;
    for (const auto& p : c.phones) {
      ASSERT_TRUE(kTypes.count(p.kind)) << p.kind;
      want.insert({kTypes.at(p.kind), p.number});
    }
    if (!c.assistantPhone.empty()) want.insert({"assistant", c.assistantPhone});
    std::multiset<std::pair<std::string, std::string>> shownPhones;
    for (auto [type, number] : TypedValues(r[2])) {
      type.erase(std::remove(type.begin(), type.end(), ' '), type.end());
      shownPhones.insert({type, number});
    }
    EXPECT_EQ(shownPhones, want);
    phones += static_cast<int>(want.size());
    std::multiset<std::string> emails;
    for (const auto& [type, address] : TypedValues(r[3])) emails.insert(address);
    EXPECT_EQ(emails, std::multiset<std::string>(c.emails.begin(), c.emails.end()));
    if (c.birthday) {
      ++birthdays;
      EXPECT_EQ(r[4], KhalTime(*c.birthday, true) + " 00:00:00");
    } else {
      EXPECT_EQ(r[4], "");
    }
    std::multiset<std::string> categories;
    for (ULONG g : c.groupIds) categories.insert(phone.book.GroupName(g));
    categorised += !categories.empty();
    std::vector<std::string> shown = QuotedItems(r[5]);
    EXPECT_EQ(std::multiset<std::string>(shown.begin(), shown.end()), categories);
  }
  EXPECT_GE(birthdays, 100);
  EXPECT_GE(categorised, 50);
  EXPECT_GE(phones, 600);
}

// Both phones' calendars and address books copied into one folder each, as one collection
// after an import of both: every record is there once per phone (no file of one phone
// replaces one of the other), and each program reads the whole collection.
TEST_F(ExportedPhones, TwoPhonesInOneCollectionKeepEveryRecordOfEach) {
  for (const char* kind : {"calendar", "contacts"}) {
    fs::path merged = sandbox_->root() / "one" / kind;
    fs::create_directories(merged);
    size_t files = 0;
    for (int i = 0; i < 2; ++i)
      for (const auto& f : fs::directory_iterator(Vdir(i) / kind)) {
        ASSERT_FALSE(fs::exists(merged / f.path().filename())) << f.path().filename();
        fs::copy_file(f.path(), merged / f.path().filename());
        ++files;
      }
    ASSERT_GT(files, 0u);
  }
  PhoneRecords records[2] = {ReadInProcess(0), ReadInProcess(1)};

  std::set<std::string> uids;
  auto rows = Khal({sandbox_->root() / "one" / "calendar"}, "2008-01-01", "2010-01-01");
  std::set<std::pair<std::string, std::string>> seen;
  for (const auto& r : rows)
    if (r.size() == 5 && seen.insert({r[0], r[2]}).second) uids.insert(r[0]);
  EXPECT_FALSE(rows.empty());
  std::multiset<std::string> want;
  for (const auto& p : records)
    for (const auto& e : p.events) want.insert(e.subject);
  std::multiset<std::string> got;
  std::map<std::string, std::string> titleOf;
  for (const auto& r : rows) titleOf[r[0]] = r[1];
  for (const auto& u : uids) got.insert(titleOf[u]);
  EXPECT_EQ(got, want);

  auto contacts = Khard({sandbox_->root() / "one" / "contacts"}, "uid,formatted_name");
  std::multiset<std::string> names, wantNames;
  std::set<std::string> contactUids;
  for (const auto& r : contacts) {
    ASSERT_EQ(r.size(), 2u);
    contactUids.insert(r[0]);
    names.insert(r[1]);
  }
  for (const auto& p : records)
    for (const auto& c : p.book.contacts) wantNames.insert(c.displayName.empty() ? c.Title() : c.displayName);
  EXPECT_EQ(contactUids.size(), contacts.size()) << "a UID shared by both phones";
  EXPECT_EQ(names, wantNames);
}

}  // namespace

int main(int argc, char** argv) { return qwbtest::ClientProgramsMain(argc, argv); }
