// Exports opened by the programs people use: the demo phones exported with --vdir, read by
// todoman, and two phones gathered into one collection by vdirsyncer. Every record must be
// found with its key fields as the phone holds them (the phone's view: `qwbdcawm ... --json`).
// Each program's tests run only in their CTest entry (export_clients.<program>), which skips
// when the program is not installed.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "host/ContentLines.h"
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

// Two demo phones made from the same preset, each exported as a vdir.
class ExportedPhones : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
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

}  // namespace

int main(int argc, char** argv) { return qwbtest::ClientProgramsMain(argc, argv); }
