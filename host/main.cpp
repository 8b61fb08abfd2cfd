// qwbdcawm: the command-line host. Lists, adds, changes and deletes the phone's tasks and
// exports its data, using the component only through CoCreateInstance and its interfaces.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "host/CalendarCommand.h"
#include "host/Device.h"
#include "host/Export.h"
#include "host/HostError.h"
#include "host/Phones.h"
#include "host/Progress.h"
#include "host/Session.h"
#include "host/TasksCommand.h"
#include "host/TextTable.h"
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

void AddCalendarOptions(CLI::App* cmd, CalendarOptions& o) {
  cmd->add_option("--subject", o.subject, "Subject");
  cmd->add_option("--location", o.location, "Location");
  cmd->add_option("--detail", o.detail, "Notes");
  cmd->add_option("--start", o.start, "Start: YYYY-MM-DD (all-day) or \"YYYY-MM-DD HH:MM\" (local)");
  cmd->add_option("--end", o.end, "End, as --start; an all-day appointment's last day");
  auto* allDay = cmd->add_flag("--all-day", o.allDay, "An all-day appointment");
  auto* timed = cmd->add_flag("--timed", o.timed, "A timed appointment");
  allDay->excludes(timed);
  cmd->add_option("--reminder", o.reminder, "Reminder before the start: 15m, 2h, 1d, 1w or none");
  cmd->add_option("--date-type", o.dateType,
                  "SOLAR, or LUNAR/LEAP for a lunar appointment (domestic phones)");
  cmd->add_option("--categories", o.categories, "Categories, comma-separated");
  cmd->add_option("--sensitivity", o.sensitivity, "Normal, Personal, Private or Confidential");
  cmd->add_option("--status", o.status, "Free, Tentative, Busy or OutofOffice");
  cmd->add_option("--attendees", o.attendees, "Attendees' addresses, separated by ;");
  TaskOptions& r = o.recurrence;
  cmd->add_option("--recur", r.recur, "daily|weekly|monthly|monthly-weekday|yearly|none");
  cmd->add_option("--every", r.every, "Repeat every N days/weeks/months/years");
  cmd->add_option("--days", r.days,
                  "Weekdays MO,TU,WE,TH,FR,SA,SU; monthly-weekday takes an ordinal: 2TU, -1FR");
  auto* until = cmd->add_option("--until", r.until, "Last date of the recurrence (YYYY-MM-DD)");
  auto* count = cmd->add_option("--count", r.count, "Number of occurrences");
  until->excludes(count);
}

// Every command with its description, one per line, made from the command tree itself so that
// --help (and the man page made from it) lists every command there is.
void ListCommands(const CLI::App* app, const std::string& path, TextTable& table) {
  for (const CLI::App* sub : app->get_subcommands({})) {
    std::string name = path + " " + sub->get_name();
    if (sub->get_subcommands({}).empty()) {
      table.AddRow({"  " + name, sub->get_description()});
    } else {
      ListCommands(sub, name, table);
    }
  }
}

int Run(int argc, char** argv) {
  CLI::App app{"Reads and writes the data of a Windows Mobile phone.", "qwbdcawm"};
  app.set_version_flag("--version", std::string("qwbdcawm ") + QWB_VERSION);
  app.footer([&app] {
    TextTable table({"Commands (each takes --help):", ""});
    ListCommands(&app, "qwbdcawm", table);
    return table.str() +
           "\nExit status: 0 done, 1 the phone or the component failed, 2 bad usage.";
  });
  app.require_subcommand(1);
  // Options of the host (--device) may also follow the command: `qwbdcawm unlock --device X`.
  app.fallthrough();
  std::optional<std::string> device;
  app.add_option("--device", device,
                 "Phone address: phone:NAME (a phone connected to qwbdcawm-connectd), "
                 "tcp:HOST:PORT or unix:PATH; default $QWBDCAWM_DEVICE, then the only "
                 "connected phone, and without any the built-in emulator serves a demo phone");

  bool devicesJson = false;
  CLI::App* devices =
      app.add_subcommand("devices", "List the phones connected to qwbdcawm-connectd");
  devices->add_flag("--json", devicesJson, "Print JSON instead of a table");
  CLI::App* unlock = app.add_subcommand(
      "unlock", "Give a locked WM5 phone its password (from the terminal, or a line of stdin)");

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

  CLI::App* calendar = app.add_subcommand("calendar", "The phone's appointments");
  calendar->require_subcommand(1);
  bool calJson = false;
  std::optional<std::string> calFrom, calTo;
  CLI::App* calList = calendar->add_subcommand("list", "List the appointments");
  calList->add_flag("--json", calJson, "Print JSON instead of a table");
  calList->add_option("--from", calFrom, "Only those from this day (YYYY-MM-DD)");
  calList->add_option("--to", calTo, "Only those up to this day (YYYY-MM-DD)");
  CalendarOptions calAddOptions, calUpdateOptions;
  bool calAddJson = false, calUpdateJson = false;
  CLI::App* calAdd = calendar->add_subcommand("add", "Add an appointment; prints its id");
  AddCalendarOptions(calAdd, calAddOptions);
  calAdd->add_flag("--json", calAddJson, "Print the stored appointment as JSON");
  long calUpdateId = 0, calDeleteId = 0;
  CLI::App* calUpdate = calendar->add_subcommand("update", "Change an appointment");
  calUpdate->add_option("id", calUpdateId, "Appointment id")->required();
  AddCalendarOptions(calUpdate, calUpdateOptions);
  calUpdate->add_flag("--json", calUpdateJson, "Print the stored appointment as JSON");
  CLI::App* calDel = calendar->add_subcommand("delete", "Delete an appointment");
  calDel->add_option("id", calDeleteId, "Appointment id")->required();

  std::string exportDir, vdirDir;
  std::vector<std::string> only;
  CLI::App* exp = app.add_subcommand(
      "export", "Export the phone's data: DIR/tasks.ics, ..., or with --vdir one file per item");
  auto* dirOpt = exp->add_option("dir", exportDir, "Folder to write (tasks.ics, calendar.ics, ...)");
  auto* vdirOpt = exp->add_option(
      "--vdir", vdirDir,
      "Write vdirs instead: DIR/tasks/<UID>.ics, ...; a re-export replaces only what changed");
  dirOpt->excludes(vdirOpt);
  exp->add_option("--only", only, "Export only these tables (tasks, calendar)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int rc = app.exit(e);
    return rc == 0 ? kExitOk : kExitUsage;
  }

  try {
    std::string deviceSource;
    device = ChosenAddress(device, &deviceSource);
    if (device && !ValidDeviceAddress(*device))
      ThrowUsage(deviceSource + ": '" + *device +
                 "' is not phone:NAME, tcp:HOST:PORT or unix:PATH");
    if (*devices) {
      ListPhones(devicesJson, std::cout);
      return kExitOk;
    }
    if (*unlock) {
      std::string address = device.value_or("");
      if (!address.empty() && !PhoneName(address))
        ThrowUsage("unlock works on a phone connected to qwbdcawm-connectd: --device phone:NAME");
      std::string name = PhoneName(address).value_or("");
      UnlockPhone(address,
                  ReadPassword("Password for " + (name.empty() ? "the phone" : name) + ": "));
      std::fprintf(stderr, "unlocked\n");
      return kExitOk;
    }
    // Validate what needs no device before starting one.
    if (*add) MakeEdit(addOptions, std::nullopt, true);
    if (*update) MakeEdit(updateOptions, 0.0, false);  // any start date will do for the check
    if (*calAdd) MakeEventEdit(calAddOptions, std::nullopt, true);
    if (*calUpdate) MakeEventEdit(calUpdateOptions, 0.0, false);
    if (*exp) {
      if (exportDir.empty() && vdirDir.empty()) ThrowUsage("export: give DIR or --vdir DIR");
      CheckExportNames(only);
    }
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
    } else if (*calList) {
      ListEvents(session, calJson, calFrom, calTo, std::cout);
    } else if (*calAdd) {
      EventRecord e = AddEvent(session, calAddOptions);
      if (calAddJson) {
        std::cout << EventJson(e).dump(2) << '\n';
      } else {
        std::cout << e.id << '\n';
      }
    } else if (*calUpdate) {
      EventRecord e = UpdateEvent(session, static_cast<LONG>(calUpdateId), calUpdateOptions);
      if (calUpdateJson) std::cout << EventJson(e).dump(2) << '\n';
      std::fprintf(stderr, "updated appointment %ld\n", calUpdateId);
    } else if (*calDel) {
      DeleteEvent(session, static_cast<LONG>(calDeleteId));
      std::fprintf(stderr, "deleted appointment %ld\n", calDeleteId);
    } else if (*exp) {
      ExportOptions options;
      options.vdir = !vdirDir.empty();
      options.dir = options.vdir ? vdirDir : exportDir;
      options.only = only;
      options.showProgress = StderrIsTerminal();
      RunExport(session, options);
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
