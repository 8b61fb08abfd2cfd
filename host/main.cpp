// qwbdcawm: the command-line host. Lists, adds, changes and deletes the phone's tasks, text
// messages and SIM contacts and exports its data, using the component only through
// CoCreateInstance and its interfaces.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "host/ContactsCommand.h"
#include "host/ContactsVcf.h"
#include "host/CalendarCommand.h"
#include "host/Device.h"
#include "host/Export.h"
#include "host/FilesCommand.h"
#include "host/HostError.h"
#include "host/MessagesCommand.h"
#include "host/Phones.h"
#include "host/Progress.h"
#include "host/Session.h"
#include "host/TasksCommand.h"
#include "host/Text.h"
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

void AddContactOptions(CLI::App* cmd, ContactOptions& o) {
  cmd->add_option("--first", o.first, "First name");
  cmd->add_option("--last", o.last, "Last name");
  cmd->add_option("--middle", o.middle, "Middle name");
  cmd->add_option("--nick", o.nick, "Nickname");
  cmd->add_option("--display", o.display, "Display name (file as)");
  cmd->add_option("--reading-first", o.readingFirst, "Reading of the first name");
  cmd->add_option("--reading-last", o.readingLast, "Reading of the last name");
  cmd->add_option("--company", o.company, "Company");
  cmd->add_option("--job-title", o.jobTitle, "Job title");
  cmd->add_option("--department", o.department, "Department");
  cmd->add_option("--mobile", o.mobile, "Mobile number; NUMBER@N also sets speed dial N");
  cmd->add_option("--home", o.home, "Home number (NUMBER or NUMBER@N)");
  cmd->add_option("--work", o.work, "Business number (NUMBER or NUMBER@N)");
  cmd->add_option("--fax", o.fax, "Business fax number");
  cmd->add_option("--email", o.emails, "E-mail address (up to three)");
  cmd->add_flag("--no-email", o.clearEmails, "Remove the e-mail addresses");
  cmd->add_option("--url", o.url, "Web page");
  cmd->add_option("--birthday", o.birthday, "Birthday YYYY-MM-DD (empty clears)");
  cmd->add_option("--anniversary", o.anniversary, "Anniversary YYYY-MM-DD (empty clears)");
  cmd->add_option("--note", o.notes, "Notes");
  cmd->add_option("--group", o.groups, "Group name (repeatable)");
  cmd->add_flag("--no-group", o.clearGroups, "Remove the contact from every group");
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

  // sms list|send|save
  CLI::App* sms = app.add_subcommand("sms", "The phone's text messages (and the SIM's)");
  sms->require_subcommand(1);
  std::optional<std::string> smsFolder, smsTo, smsFrom, smsDate;
  std::string smsText, saveFolder = "Draft";
  bool smsJson = false;
  CLI::App* smsList = sms->add_subcommand("list", "List the messages, the SIM's last");
  smsList->add_option("--folder", smsFolder, "Only Inbox, Draft, Outbox or Sent");
  smsList->add_flag("--json", smsJson, "Print JSON instead of a table");
  CLI::App* smsSend = sms->add_subcommand("send", "Send a message through the phone");
  smsSend->add_option("--to", smsTo, "Recipient number")->required();
  smsSend->add_option("text", smsText, "Message text")->required();
  CLI::App* smsSave = sms->add_subcommand("save", "Save a message into a folder of the phone");
  smsSave->add_option("--folder", saveFolder, "Inbox, Draft, Outbox or Sent (default Draft)");
  smsSave->add_option("--to", smsTo, "Recipient number");
  smsSave->add_option("--from", smsFrom, "Sender number");
  smsSave->add_option("--date", smsDate, "Date \"YYYY-MM-DD HH:MM\" (local; default now)");
  smsSave->add_option("text", smsText, "Message text")->required();

  // mms list|get|send
  CLI::App* mms = app.add_subcommand("mms", "The phone's multimedia messages");
  mms->require_subcommand(1);
  bool mmsJson = false;
  long mmsId = 0;
  std::string mmsOut, mmsFile, mmsTo;
  std::optional<std::string> mmsSubject;
  CLI::App* mmsList = mms->add_subcommand("list", "List the multimedia messages");
  mmsList->add_flag("--json", mmsJson, "Print JSON instead of a table");
  CLI::App* mmsGet = mms->add_subcommand("get", "Save a message's body and its parts");
  mmsGet->add_option("id", mmsId, "Message id")->required();
  mmsGet->add_option("--out", mmsOut, "Folder to write ID.mms and ID-PART files into")->required();
  CLI::App* mmsSend = mms->add_subcommand("send", "Send a multipart body through the phone");
  mmsSend->add_option("--to", mmsTo, "Recipient number")->required();
  mmsSend->add_option("--subject", mmsSubject, "Subject");
  mmsSend->add_option("file", mmsFile, "The body: a multipart message (.mms)")->required();

  // sim list|add|update|delete|info
  CLI::App* sim = app.add_subcommand("sim", "The contacts on the SIM card");
  sim->require_subcommand(1);
  bool simJson = false;
  SimEdit simAdd, simUpdate;
  std::vector<std::string> addNumbers, updateNumbers;
  long simId = 0;
  CLI::App* simList = sim->add_subcommand("list", "List the SIM contacts");
  simList->add_flag("--json", simJson, "Print JSON instead of a table");
  CLI::App* simAddCmd = sim->add_subcommand("add", "Add a SIM contact; prints its position");
  simAddCmd->add_option("--name", simAdd.name, "Name");
  simAddCmd->add_option("--number", addNumbers, "Number (repeat for more)");
  simAddCmd->add_option("--email", simAdd.email, "E-mail address");
  simAddCmd->add_flag("--json", simJson, "Print the stored contact as JSON");
  CLI::App* simUpdateCmd = sim->add_subcommand("update", "Change a SIM contact");
  simUpdateCmd->add_option("id", simId, "Position")->required();
  simUpdateCmd->add_option("--name", simUpdate.name, "Name");
  simUpdateCmd->add_option("--number", updateNumbers, "Numbers, replacing the old ones");
  simUpdateCmd->add_option("--email", simUpdate.email, "E-mail address (\"\" removes it)");
  simUpdateCmd->add_flag("--json", simJson, "Print the stored contact as JSON");
  CLI::App* simDeleteCmd = sim->add_subcommand("delete", "Delete a SIM contact");
  simDeleteCmd->add_option("id", simId, "Position")->required();
  CLI::App* simInfoCmd = sim->add_subcommand("info", "Positions used and the card's capacity");
  simInfoCmd->add_flag("--json", simJson, "Print JSON");
  CLI::App* contacts = app.add_subcommand("contacts", "The phone's contacts");
  contacts->require_subcommand(1);
  bool contactsJson = false;
  CLI::App* clist = contacts->add_subcommand("list", "List the contacts");
  clist->add_flag("--json", contactsJson, "Print JSON instead of a table");
  long contactId = 0;
  CLI::App* cshow = contacts->add_subcommand("show", "Show one contact as JSON");
  cshow->add_option("id", contactId, "Contact id")->required();
  ContactOptions contactOptions;
  CLI::App* cadd = contacts->add_subcommand("add", "Add a contact; prints its id");
  AddContactOptions(cadd, contactOptions);
  CLI::App* cupdate = contacts->add_subcommand("update", "Change a contact");
  cupdate->add_option("id", contactId, "Contact id")->required();
  AddContactOptions(cupdate, contactOptions);
  CLI::App* cdelete = contacts->add_subcommand("delete", "Delete a contact");
  cdelete->add_option("id", contactId, "Contact id")->required();

  CLI::App* groups = app.add_subcommand("groups", "The phone's contact groups");
  groups->require_subcommand(1);
  bool groupsJson = false;
  std::string groupName;
  long groupId = 0;
  CLI::App* glist = groups->add_subcommand("list", "List the groups");
  glist->add_flag("--json", groupsJson, "Print JSON instead of a table");
  CLI::App* gadd = groups->add_subcommand("add", "Add a group; prints its id");
  gadd->add_option("name", groupName, "Group name")->required();
  CLI::App* grename = groups->add_subcommand("rename", "Rename a group");
  grename->add_option("id", groupId, "Group id")->required();
  grename->add_option("name", groupName, "New name")->required();
  CLI::App* gdelete = groups->add_subcommand("delete", "Delete a group");
  gdelete->add_option("id", groupId, "Group id")->required();

  std::string importPath;
  CLI::App* imp = app.add_subcommand("import", "Write the cards of a vCard file to the phone");
  imp->add_option("file", importPath, "contacts.vcf")->required();
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
  auto* dirOpt = exp->add_option(
      "dir", exportDir, "Folder to write (tasks.ics, calendar.ics, contacts.vcf, messages.xml, ...)");
  auto* vdirOpt = exp->add_option(
      "--vdir", vdirDir,
      "Write vdirs instead: DIR/tasks/<UID>.ics, ...; a re-export replaces only what changed");
  dirOpt->excludes(vdirOpt);
  exp->add_option("--only", only,
                  "Export only these (tasks, calendar, contacts, sim-contacts, sms, documents, pictures)");

  CLI::App* files = app.add_subcommand("files", "The phone's folders, files and storage cards");
  files->require_subcommand(1);
  std::string lsPath, pullFrom, pullTo, pushFrom, pushTo, mkdirPath, rmPath, srcPath, dstPath;
  bool lsJson = false, lsLong = false;
  CLI::App* ls = files->add_subcommand("ls", "List a folder (the root without PATH)");
  ls->add_option("path", lsPath, "Folder: /My Documents, \\ (storage card), * or *2 (cards)");
  ls->add_flag("--json", lsJson, "Print JSON");
  ls->add_flag("-l", lsLong, "Attributes, size and time");
  CLI::App* df = files->add_subcommand("df", "Memory and cards: size, used, free");
  CLI::App* pull = files->add_subcommand("pull", "Copy a file from the phone");
  pull->add_option("device_path", pullFrom, "File on the phone")->required();
  pull->add_option("local", pullTo, "File or folder on the PC (default: here)");
  CLI::App* push = files->add_subcommand("push", "Copy a file to the phone");
  push->add_option("local", pushFrom, "File on the PC")->required();
  push->add_option("device_path", pushTo, "File or folder on the phone")->required();
  CLI::App* mkdir = files->add_subcommand("mkdir", "Create a folder on the phone");
  mkdir->add_option("device_path", mkdirPath, "New folder")->required();
  CLI::App* mv = files->add_subcommand("mv", "Rename or move a file or folder");
  CLI::App* cp = files->add_subcommand("cp", "Copy a file or folder on the phone");
  for (CLI::App* c : {mv, cp}) {
    c->add_option("source", srcPath, "File or folder on the phone")->required();
    c->add_option("destination", dstPath, "New path (or an existing folder)")->required();
  }
  CLI::App* rm = files->add_subcommand("rm", "Delete a file, or a folder with everything in it");
  rm->add_option("device_path", rmPath, "File or folder")->required();
  std::string backupDir;
  CLI::App* backup = app.add_subcommand(
      "backup", "Mirror the phone's documents and cards into DIR (unchanged files are skipped)");
  backup->add_option("dir", backupDir, "Folder on the PC")->required();

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
    if (*smsList && smsFolder) CheckFolder(*smsFolder);
    if (*smsSave) CheckFolder(saveFolder);
    std::optional<DATE> saveDate;
    if (*smsSave && smsDate && !(saveDate = ParseMinute(*smsDate)))
      ThrowUsage("--date: '" + *smsDate + "' is not YYYY-MM-DD HH:MM");
    if (!addNumbers.empty()) simAdd.numbers = addNumbers;
    if (!updateNumbers.empty()) simUpdate.numbers = updateNumbers;
    if (*cadd || *cupdate) CheckContactOptions(contactOptions);
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
    } else if (*smsList) {
      ListSms(session, smsFolder, smsJson, std::cout);
    } else if (*smsSend) {
      SendSms(session, *smsTo, smsText);
      std::fprintf(stderr, "sent to %s\n", smsTo->c_str());
    } else if (*smsSave) {
      if (!SaveSms(session, saveFolder, smsTo, smsFrom, smsText, saveDate))
        throw HostError(kExitFailure, "the phone did not keep the message: its model keeps no "
                                      "messages saved from a PC");
      std::fprintf(stderr, "saved to %s\n", CheckFolder(saveFolder).c_str());
    } else if (*mmsList) {
      ListMms(session, mmsJson, std::cout);
    } else if (*mmsGet) {
      for (const std::string& f : GetMms(session, static_cast<LONG>(mmsId), mmsOut))
        std::cout << f << '\n';
    } else if (*mmsSend) {
      SendMms(session, mmsTo, mmsFile, mmsSubject);
      std::fprintf(stderr, "sent to %s\n", mmsTo.c_str());
    } else if (*simList) {
      ListSim(session, simJson, std::cout);
    } else if (*simAddCmd) {
      SimRecord c = AddSim(session, simAdd);
      if (simJson) {
        std::cout << SimJson(c).dump(2) << '\n';
      } else {
        std::cout << c.id << '\n';
      }
    } else if (*simUpdateCmd) {
      SimRecord c = UpdateSim(session, static_cast<LONG>(simId), simUpdate);
      if (simJson) std::cout << SimJson(c).dump(2) << '\n';
      std::fprintf(stderr, "updated SIM contact %ld\n", simId);
    } else if (*simDeleteCmd) {
      DeleteSim(session, static_cast<LONG>(simId));
      std::fprintf(stderr, "deleted SIM contact %ld\n", simId);
    } else if (*simInfoCmd) {
      SimInfo(session, simJson, std::cout);
    } else if (*clist) {
      ListContacts(session, contactsJson, std::cout);
    } else if (*cshow) {
      ShowContact(session, static_cast<LONG>(contactId), std::cout);
    } else if (*cadd) {
      std::cout << AddContact(session, contactOptions).id << '\n';
    } else if (*cupdate) {
      UpdateContact(session, static_cast<LONG>(contactId), contactOptions);
      std::fprintf(stderr, "updated contact %ld\n", contactId);
    } else if (*cdelete) {
      DeleteContact(session, static_cast<LONG>(contactId));
      std::fprintf(stderr, "deleted contact %ld\n", contactId);
    } else if (*glist) {
      ListGroups(session, groupsJson, std::cout);
    } else if (*gadd) {
      std::cout << AddGroup(session, groupName) << '\n';
    } else if (*grename) {
      RenameGroup(session, static_cast<LONG>(groupId), groupName);
      std::fprintf(stderr, "renamed group %ld\n", groupId);
    } else if (*gdelete) {
      DeleteGroup(session, static_cast<LONG>(groupId));
      std::fprintf(stderr, "deleted group %ld\n", groupId);
    } else if (*imp) {
      size_t n = ImportVcards(session, importPath, std::cerr);
      std::fprintf(stderr, "imported %zu cards\n", n);
    } else if (*files) {
      // The progress bar replaces the component's own console dots and names.
      wincompat::SetConsoleSink([](const std::string&) {});
      FileCommands commands(session, StderrIsTerminal());
      if (*ls) {
        commands.PrintList(lsPath, lsJson, lsLong, std::cout);
      } else if (*df) {
        commands.PrintFree(std::cout);
      } else if (*pull) {
        commands.Pull(pullFrom, pullTo);
      } else if (*push) {
        commands.Push(pushFrom, pushTo);
      } else if (*mkdir) {
        commands.MakeFolder(mkdirPath);
      } else if (*mv) {
        commands.Move(srcPath, dstPath);
      } else if (*cp) {
        commands.Copy(srcPath, dstPath);
      } else if (*rm) {
        commands.Remove(rmPath);
      }
    } else if (*backup) {
      wincompat::SetConsoleSink([](const std::string&) {});
      RunBackup(session, backupDir, StderrIsTerminal());
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
