// qwbdcawm: the command-line host. Lists, adds, changes and deletes the phone's tasks and
// exports its data, using the component only through CoCreateInstance and its interfaces.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "host/Device.h"
#include "host/Export.h"
#include "host/HostError.h"
#include "host/Phones.h"
#include "host/Progress.h"
#include "host/Session.h"
#include "host/TasksCommand.h"
#include "wincompat/testhooks.h"

namespace {

using namespace qwbhost;

void AddFieldOptions(CLI::App* cmd, TaskOptions& o) {
  cmd->add_option("--subject", o.subject, "Subject");
  cmd->add_option("--detail", o.detail, "Notes");
  cmd->add_option("--start", o.start, "Start date (YYYY-MM-DD)");
  cmd->add_option("--due", o.due, "Due date (YYYY-MM-DD)");
  cmd->add_option("--priority", o.priority, "High, Normal or Low");
  auto* done = cmd->add_flag("--done", o.done, "Mark as done");
  auto* undone = cmd->add_flag("--undone", o.undone, "Mark as not done");
  done->excludes(undone);
  cmd->add_option("--categories", o.categories, "Categories, comma-separated");
  cmd->add_option("--sensitivity", o.sensitivity, "Normal, Personal, Private or Confidential");
  cmd->add_option("--alarm", o.alarm, "Reminder time \"YYYY-MM-DD HH:MM\" (local), or none");
  cmd->add_option("--recur", o.recur, "daily|weekly|monthly|monthly-weekday|yearly|none");
  cmd->add_option("--every", o.every, "Repeat every N days/weeks/months/years");
  cmd->add_option("--days", o.days,
                  "Weekdays MO,TU,WE,TH,FR,SA,SU; monthly-weekday takes an ordinal: 2TU, -1FR");
  auto* until = cmd->add_option("--until", o.until, "Last date of the recurrence (YYYY-MM-DD)");
  auto* count = cmd->add_option("--count", o.count, "Number of occurrences");
  until->excludes(count);
}

int Run(int argc, char** argv) {
  CLI::App app{"Reads and writes the data of a Windows Mobile phone.", "qwbdcawm"};
  app.require_subcommand(1);
  // Options of the host (--device) may also follow the command: `qwbdcawm unlock --device X`.
  app.fallthrough();
  std::optional<std::string> device;
  app.add_option("--device", device,
                 "Phone address: phone:NAME (a phone connected to qwbdcawm-connectd), "
                 "tcp:HOST:PORT or unix:PATH; without it (and without QWBDCAWM_DEVICE) the "
                 "only connected phone, else the built-in emulator serving a demo phone");

  bool devicesJson = false;
  CLI::App* devices =
      app.add_subcommand("devices", "List the phones connected to qwbdcawm-connectd");
  devices->add_flag("--json", devicesJson, "Print JSON instead of a table");
  CLI::App* unlock = app.add_subcommand(
      "unlock", "Give a locked WM5 phone its password (read from the terminal, or a line of stdin)");

  CLI::App* tasks = app.add_subcommand("tasks", "The phone's tasks");
  tasks->require_subcommand(1);
  bool json = false;
  CLI::App* list = tasks->add_subcommand("list", "List the tasks");
  list->add_flag("--json", json, "Print JSON instead of a table");

  TaskOptions addOptions, updateOptions;
  bool addJson = false, updateJson = false;
  CLI::App* add = tasks->add_subcommand("add", "Add a task; prints its id");
  AddFieldOptions(add, addOptions);
  add->add_flag("--json", addJson, "Print the stored task as JSON");

  long updateId = 0, deleteId = 0;
  CLI::App* update = tasks->add_subcommand("update", "Change a task");
  update->add_option("id", updateId, "Task id")->required();
  AddFieldOptions(update, updateOptions);
  update->add_flag("--json", updateJson, "Print the stored task as JSON");

  CLI::App* del = tasks->add_subcommand("delete", "Delete a task");
  del->add_option("id", deleteId, "Task id")->required();

  std::string exportDir;
  std::vector<std::string> only;
  CLI::App* exp = app.add_subcommand("export", "Export the phone's data into a folder");
  exp->add_option("dir", exportDir, "Folder to write (tasks.ics, ...)")->required();
  exp->add_option("--only", only, "Export only these tables (tasks)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int rc = app.exit(e);
    return rc == 0 ? kExitOk : kExitUsage;
  }

  try {
    if (device && !ValidDeviceAddress(*device))
      ThrowUsage("--device: '" + *device + "' is not phone:NAME, tcp:HOST:PORT or unix:PATH");
    if (*devices) {
      ListPhones(devicesJson, std::cout);
      return kExitOk;
    }
    if (*unlock) {
      std::string address = device.value_or("");
      const char* env = std::getenv("QWBDCAWM_DEVICE");
      if (!device && env) address = env;
      if (!address.empty() && !PhoneName(address))
        ThrowUsage("unlock works on a phone connected to qwbdcawm-connectd: --device phone:NAME");
      std::string name = PhoneName(address).value_or("");
      UnlockPhone(address, ReadPassword("Password for " + (name.empty() ? "the phone" : name) + ": "));
      std::fprintf(stderr, "unlocked\n");
      return kExitOk;
    }
    // Validate what needs no device before starting one.
    if (*add) MakeEdit(addOptions, std::nullopt, true);
    if (*update) MakeEdit(updateOptions, 0.0, false);  // any start date will do for the check
    if (*exp) CheckExportNames(only);
    DeviceChoice chosen(device);
    Session session;
    if (*list) {
      ListTasks(session, json, std::cout);
    } else if (*add) {
      TaskRecord t = AddTask(session, addOptions);
      if (addJson) {
        std::cout << TaskJson(t).dump(2) << '\n';
      } else {
        std::cout << t.id << '\n';
      }
    } else if (*update) {
      TaskRecord t = UpdateTask(session, static_cast<LONG>(updateId), updateOptions);
      if (updateJson) std::cout << TaskJson(t).dump(2) << '\n';
      std::fprintf(stderr, "updated task %ld\n", updateId);
    } else if (*del) {
      DeleteTask(session, static_cast<LONG>(deleteId));
      std::fprintf(stderr, "deleted task %ld\n", deleteId);
    } else if (*exp) {
      RunExport(session, exportDir, only, StderrIsTerminal());
    }
    std::cout.flush();
    return kExitOk;
  } catch (const HostError& e) {
    std::fprintf(stderr, "qwbdcawm: %s\n", e.what());
    return e.exitCode();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qwbdcawm: %s\n", e.what());
    return kExitFailure;
  }
}

}  // namespace

int main(int argc, char** argv) {
  // The component's few console texts go to stderr: stdout carries the data.
  wincompat::SetConsoleSink([](const std::string& text) { std::fputs(text.c_str(), stderr); });
  return Run(argc, argv);
}
