#include "emulator/Presets.h"

#include <chrono>
#include <stdexcept>

#include "emulator/AppointmentStore.h"
#include "emulator/DeviceFs.h"
#include "emulator/DeviceRegistry.h"
#include "emulator/DeviceSystem.h"
#include "emulator/MediaSamples.h"
#include "emulator/MessageStore.h"
#include "emulator/RecordStore.h"
#include "emulator/SimStore.h"
#include "emulator/PhonebookDemo.h"
#include "emulator/ServiceRegistry.h"
#include "emulator/Text.h"
#include "link/DeviceRecord.h"

namespace wmemu {

namespace {

constexpr uint32_t kReadOnly = 0x1, kHidden = 0x2, kSystem = 0x4, kArchive = 0x20, kInRom = 0x40,
                   kTemporary = 0x100, kRomModule = 0x2000;
constexpr double kNoDate = 949998.0;  // the phone's "no date"

std::vector<uint8_t> Text(const std::string& s) { return {s.begin(), s.end()}; }

// Where a model family mounts its storage and how its storage manager names it.
//   single card (HD-100, W1, S2): the SD card is "\\Storage Card"; the MMC profile names the
//     same folder and its first partition "Storage", so no separate card is reported
//   two cards (Pad M7): the MMC partitions 0 and 1 mount "\\Storage Card" and "\\Storage Card2"
//   built-in flash (HS-200, HL-300, HK-400): partition 1 is the iNAND "\\My Flash Disk",
//     beside the SD card
struct StorageLayout {
  const char16_t* sdFolder;
  const char16_t* mmcFolder;
  const char16_t* part00Name;
  const char16_t* part00Folder;
  const char16_t* part01Folder;
  const char16_t* inandFolder;
  bool cardStateKey;                 // writes the SD card state key when a card is in
  const char16_t* secondStore;       // a second store at the root ("" none)
  uint64_t secondStoreSize;
};

const StorageLayout& LayoutOf(const std::string& model) {
  static const StorageLayout kSingleCard{u"Storage Card", u"Storage Card", u"Storage", u"", u"",
                                         u"", true, u"", 0};
  static const StorageLayout kTwoCards{u"Storage Card", u"Storage Card", u"", u"Storage Card",
                                       u"Storage Card2", u"", false, u"Storage Card2",
                                       256ull << 20};
  static const StorageLayout kFlash{u"Storage Card", u"Storage Card", u"", u"", u"My Flash Disk",
                                    u"My Flash Disk", false, u"My Flash Disk", 2ull << 30};
  switch (ModelTypeOf(Utf16(model))) {
    case 2:
      return kTwoCards;
    case 3:
    case 4:
    case 5:
      return kFlash;
    default:
      return kSingleCard;
  }
}

void BuildRegistry(DeviceRegistry& reg, const std::string& model, bool withCard) {
  const std::u16string m = Utf16(model);
  reg.SetString(kHkeyLocalMachine, u"Ident", u"OrigName", m);
  reg.SetString(kHkeyLocalMachine, u"Ident", u"Name", u"MyPhone");
  reg.SetString(kHkeyLocalMachine, u"Ident", u"Desc", m);
  // Storage manager profiles, by model family.
  const StorageLayout& layout = LayoutOf(model);
  const std::u16string kProfiles = u"System\\StorageManager\\Profiles\\";
  reg.SetString(kHkeyLocalMachine, kProfiles + u"SDMemory", u"Folder", layout.sdFolder);
  reg.SetString(kHkeyLocalMachine, kProfiles + u"SDMemory", u"Name", u"SD Memory Card");
  reg.SetString(kHkeyLocalMachine, kProfiles + u"MMC", u"Folder", layout.mmcFolder);
  reg.SetString(kHkeyLocalMachine, kProfiles + u"MMC", u"Name", u"MMC Card");
  if (*layout.part00Name)
    reg.SetString(kHkeyLocalMachine, kProfiles + u"MMC\\Part00", u"Name", layout.part00Name);
  if (*layout.part00Folder)
    reg.SetString(kHkeyLocalMachine, kProfiles + u"MMC\\Part00", u"Folder", layout.part00Folder);
  if (*layout.part01Folder)
    reg.SetString(kHkeyLocalMachine, kProfiles + u"MMC\\Part01", u"Folder", layout.part01Folder);
  if (*layout.inandFolder) {
    reg.SetString(kHkeyLocalMachine, kProfiles + u"INAND", u"Folder", layout.inandFolder);
    reg.SetString(kHkeyLocalMachine, kProfiles + u"INAND", u"Name", u"iNAND Flash");
  }
  if (withCard && layout.cardStateKey)
    reg.SetString(kHkeyLocalMachine, u"System\\State\\Tolvane\\SDCARD", u"InStorageFolder",
                  u"Storage Card");
  // The MMS client's limits: the Pocket PC families keep the largest message in bytes
  // ("Max Size"), the Smartphone family its outgoing limit in kilobytes; the MID has no MMS
  // client and so no MMS settings at all. Every limit is the 300 KB the message store keeps.
  const int modelType = ModelTypeOf(m);
  if (modelType != 2) {
    reg.SetDword(kHkeyLocalMachine, u"Software\\Tolvane\\MMS\\Settings", u"Max Size",
                 static_cast<uint32_t>(kMmsMaxSize));
    reg.SetDword(kHkeyCurrentUser, u"Software\\Tolvane\\MMS\\Conf", u"MmscLockStatus", 0);
  }
  if (modelType == 6)
    reg.SetDword(kHkeyLocalMachine, u"Software\\Tolvane\\MMS\\Settings\\Send",
                 u"Outgoing Message Size", static_cast<uint32_t>(kMmsMaxSize / 1024));
  reg.SetDword(kHkeyCurrentUser, u"System\\MDS\\Setting", u"LockSet", 0);
  // The domestic contacts application dials through xLink speed keys; the others lack it.
  const bool domestic = modelType == 0 || modelType == 3 || modelType == 4 || modelType == 5;
  if (domestic)
    reg.SetDword(kHkeyCurrentUser, u"Software\\Tolvane\\QelContact", u"xLinkSupport", 1);
  reg.SetMultiString(kHkeyLocalMachine, u"Loader", u"SystemPath",
                     {u"\\Storage Card\\", u"\\Windows\\"});
  reg.SetString(kHkeyCurrentUser, u"Software\\Tolvane\\Orvanta", u"DataPath",
                u"%MYDOCUMENTS%\\Orvanta", 2 /*REG_EXPAND_SZ*/);
  // Where the shell keeps its folders, and the programs installed.
  const std::u16string kShell = u"System\\Explorer\\Shell Folders";
  reg.SetString(kHkeyLocalMachine, kShell, u"Personal", u"\\My Documents");
  reg.SetString(kHkeyLocalMachine, kShell, u"Programs", u"\\Windows\\Start Menu\\Programs");
  reg.SetString(kHkeyLocalMachine, kShell, u"Favorites", u"\\Windows\\Favorites");
  reg.SetString(kHkeyLocalMachine, kShell, u"StartUp", u"\\Windows\\StartUp");
  reg.SetString(kHkeyLocalMachine, kShell, u"Recent", u"\\Windows\\Recent");
  reg.SetString(kHkeyLocalMachine, kShell, u"Start Menu", u"\\Windows\\Start Menu");
  reg.SetString(kHkeyLocalMachine, kShell, u"Fonts", u"\\Windows\\Fonts");
  struct App {
    const char16_t* name;
    uint32_t installed;
  };
  static const App kApps[] = {{u"Tolvane Orvanta", 1},
                              {u"Tolvane 모바일 뱅킹", 1},
                              {u"Tolvane 지하철 노선도", 1},
                              {u"Sudoku Classic", 1},
                              {u"Trial Game (removed)", 0}};
  for (const App& app : kApps) {
    const std::u16string key = std::u16string(u"Software\\Apps\\") + app.name;
    reg.SetDword(kHkeyLocalMachine, key, u"Instl", app.installed);
    reg.SetString(kHkeyLocalMachine, key, u"InstlDir",
                  std::u16string(u"\\Program Files\\") + app.name);
  }
  reg.SetString(kHkeyCurrentUser, u"ControlPanel\\Owner", u"Name", u"");
  reg.SetBinary(kHkeyCurrentUser, u"ControlPanel\\Owner", u"Owner",
                DeviceRegistry::StringData(u""));
}

void BuildBaseFolders(DeviceFs& fs, uint64_t t) {
  fs.PutFolder(u"\\My Documents", 0x10, t);
  fs.PutFolder(u"\\My Documents\\My Pictures", 0x10, t);
  fs.PutFolder(u"\\My Documents\\My Music", 0x10, t);
  fs.PutFolder(u"\\My Documents\\Templates", 0x10, t);
  fs.PutFolder(u"\\Program Files", 0x10, t);
  fs.PutFolder(u"\\Temp", 0x10, t);
  fs.PutFolder(u"\\Application Data", 0x10 | kHidden, t);
  fs.PutFolder(u"\\Windows", 0x10 | kSystem, t);
  fs.PutFolder(u"\\Windows\\Startup", 0x10 | kSystem, t);
  // The shell's special folders.
  fs.PutFolder(u"\\Windows\\Start Menu", 0x10 | kSystem, t);
  fs.PutFolder(u"\\Windows\\Start Menu\\Programs", 0x10 | kSystem, t);
  fs.PutFolder(u"\\Windows\\Favorites", 0x10 | kSystem, t);
  fs.PutFolder(u"\\Windows\\Recent", 0x10 | kSystem | kHidden, t);
  fs.PutFolder(u"\\Windows\\Fonts", 0x10 | kSystem, t);
  fs.PutFolder(u"\\Windows\\AppMgr", 0x10 | kSystem | kHidden, t);
  fs.PutFolder(u"\\Windows\\AppMgr\\Install", 0x10 | kSystem | kHidden, t);
  const uint32_t rom = kReadOnly | kSystem | kInRom | kRomModule;
  // The installer and uninstaller a PC starts remotely.
  fs.PutFile(u"\\Windows\\wceload.exe", Text("MZ"), rom, t);
  fs.PutFile(u"\\Windows\\unload.exe", Text("MZ"), rom, t);
  fs.PutFile(u"\\Windows\\Fonts\\tahoma.ttf", Text("OTTO"), kReadOnly | kInRom, t);
  fs.PutFile(u"\\Windows\\Start Menu\\Programs\\Pocket Word.lnk", Text("22#\"\\Windows\\pword.exe\""),
             kArchive, t);
  fs.PutFile(u"\\Windows\\Favorites\\Tolvane.url", Text("[InternetShortcut]\r\nURL=http://m.tolvane.example/\r\n"),
             kArchive, t);
  fs.PutFile(u"\\Windows\\coredll.dll", Text("MZ"), rom, t);
  fs.PutFile(u"\\Windows\\shell32.exe", Text("MZ"), rom, t);
  fs.PutFile(u"\\Windows\\welcome.htm",
             Text("<html><body><h1>Welcome</h1><p>Your phone is ready.</p></body></html>\r\n"),
             kReadOnly | kInRom, t);
  fs.PutFile(u"\\Windows\\Alarm1.wav", SampleWav(400, 880), kReadOnly | kInRom, t);
  fs.PutFile(u"\\Windows\\Ring.wav", SampleWav(600, 660), kReadOnly | kInRom, t);
  fs.PutFile(u"\\My Documents\\Templates\\Memo.txt", Text("To:\r\nFrom:\r\nSubject:\r\n\r\n"),
             kArchive, t);
  fs.SetCapacity(u"", 96ull << 20);
}

void BuildDemoFiles(DeviceFs& fs) {
  fs.PutFile(u"\\My Documents\\Meeting notes.txt",
             Text("Project kickoff - 3 Nov 2008\r\n- Scope agreed\r\n- Next review on Friday\r\n"),
             kArchive, FileTimeOf(2008, 11, 3, 9, 40));
  fs.PutFolder(u"\\My Documents\\Business", 0x10, FileTimeOf(2008, 9, 1, 8, 0));
  fs.PutFile(u"\\My Documents\\Business\\Quarterly report.txt",
             Text("Q3 sales rose 12% over Q2.\r\nMargins held at 31%.\r\n"), kArchive,
             FileTimeOf(2008, 10, 14, 17, 5));
  fs.PutFile(u"\\My Documents\\Business\\Contacts.csv",
             Text("Name,Phone\r\nJ. Park,010-5555-0101\r\nM. Lee,010-5555-0102\r\n"), kArchive,
             FileTimeOf(2008, 10, 20, 11, 30));
  fs.PutFolder(u"\\My Documents\\Personal", 0x10, FileTimeOf(2008, 9, 1, 8, 0));
  fs.PutFile(u"\\My Documents\\Personal\\Shopping list.txt",
             Text("milk\r\nbread\r\ncoffee beans\r\nbatteries (AA)\r\n"), kArchive,
             FileTimeOf(2008, 11, 1, 19, 12));
  fs.PutFile(u"\\My Documents\\Personal\\~draft.tmp", Text("unsaved"), kArchive | kHidden,
             FileTimeOf(2008, 11, 2, 22, 1));
  fs.PutFile(u"\\My Documents\\My Pictures\\Flower.jpg", SampleJpeg(96, 72, 1), kArchive,
             FileTimeOf(2008, 6, 14, 10, 21));
  fs.PutFile(u"\\My Documents\\My Pictures\\Sunset.jpg", SampleJpeg(128, 96, 2), kArchive,
             FileTimeOf(2008, 8, 2, 19, 48));
  fs.PutFile(u"\\My Documents\\My Pictures\\Logo.png", SamplePng(48, 48, 3), kArchive,
             FileTimeOf(2008, 7, 7, 7, 7));
  fs.PutFolder(u"\\My Documents\\AudioNote", 0x10, FileTimeOf(2008, 9, 1, 8, 0));
  fs.PutFile(u"\\My Documents\\AudioNote\\Voice 001.amr", SampleAmr(50, 1), kArchive,
             FileTimeOf(2008, 10, 30, 8, 15));
  fs.PutFile(u"\\My Documents\\AudioNote\\Voice 002.amr", SampleAmr(120, 2), kArchive,
             FileTimeOf(2008, 11, 2, 14, 2));
  fs.PutFile(u"\\My Documents\\AudioNote\\Recording 1.wav", SampleWav(500, 440), kArchive,
             FileTimeOf(2008, 11, 3, 12, 0));

  const uint64_t cardTime = FileTimeOf(2008, 5, 1, 12, 0);
  fs.PutFolder(u"\\Storage Card", 0x10 | kTemporary, cardTime);
  fs.SetCapacity(u"Storage Card", 1ull << 30);
  fs.PutFolder(u"\\Storage Card\\DCIM", 0x10, cardTime);
  fs.PutFolder(u"\\Storage Card\\DCIM\\100MEDIA", 0x10, cardTime);
  fs.PutFile(u"\\Storage Card\\DCIM\\100MEDIA\\IMAG0001.jpg", SampleJpeg(160, 120, 4), kArchive,
             FileTimeOf(2008, 10, 5, 15, 30));
  fs.PutFile(u"\\Storage Card\\DCIM\\100MEDIA\\IMAG0002.jpg", SampleJpeg(160, 120, 5), kArchive,
             FileTimeOf(2008, 10, 5, 15, 31));
  fs.PutFile(u"\\Storage Card\\DCIM\\100MEDIA\\IMAG0003.jpg", SampleJpeg(120, 160, 6), kArchive,
             FileTimeOf(2008, 10, 12, 9, 2));
  fs.PutFolder(u"\\Storage Card\\AudioNote", 0x10, cardTime);
  fs.PutFile(u"\\Storage Card\\AudioNote\\Lecture.AMR", SampleAmr(250, 7), kArchive,
             FileTimeOf(2008, 10, 21, 10, 0));
  fs.PutFile(u"\\Storage Card\\AudioNote\\notes.txt", Text("lecture 5: chapters 3-4\r\n"), kArchive,
             FileTimeOf(2008, 10, 21, 11, 0));
  fs.PutFolder(u"\\Storage Card\\Music", 0x10, cardTime);
  fs.PutFile(u"\\Storage Card\\Music\\Chime.wav", SampleWav(800, 523), kArchive,
             FileTimeOf(2008, 5, 2, 18, 0));
}

// A task as the component writes it: properties in its order.
struct TaskBuilder {
  std::vector<devrec::Property> p;
  TaskBuilder& S(const char* n, const std::string& v) {
    p.push_back(devrec::Property::String(n, v));
    return *this;
  }
  TaskBuilder& D(const char* n, double v) {
    p.push_back(devrec::Property::Date(n, v));
    return *this;
  }
  TaskBuilder& I(const char* n, int32_t v) {
    p.push_back(devrec::Property::Integer(n, v));
    return *this;
  }
  TaskBuilder& B(const char* n, uint16_t v) {
    p.push_back(devrec::Property::Boolean(n, v));
    return *this;
  }
};

TaskBuilder Task(const std::string& subject, const std::string& body, double start, double due,
                 bool done, int importance, int sensitivity, const std::string& categories) {
  TaskBuilder t;
  t.S("Subject", subject);
  if (!body.empty()) t.S("Body", body);
  t.D("StartDate", start).D("DueDate", due);
  t.B("Complete", done ? 0xFFFF : 0).I("Importance", importance);
  if (!categories.empty()) t.S("Categories", categories);
  t.I("ulSensitivity", sensitivity);
  return t;
}

void BuildDemoTasks(Image& image) {
  std::vector<TaskBuilder> tasks;
  auto reminder = [](TaskBuilder t, double utc) {
    t.B("ReminderSet", 0xFFFF).D("ReminderTime", utc);
    return t;
  };
  tasks.push_back(
      reminder(Task("Renew car insurance", "Compare three quotes before renewing.",
                    OleDate(2008, 11, 3), OleDate(2008, 11, 10), false, 1, 0, "Personal"),
               OleDate(2008, 11, 9, 0, 0)));
  {
    TaskBuilder t = Task("Prepare team meeting", "Agenda, last minutes, open issues.",
                         OleDate(2008, 11, 3), OleDate(2008, 11, 3), false, 2, 0, "Business");
    t.B("IsRecurring", 0xFFFF).I("RecurrPattern.RecurrenceType", 1);
    t.I("RecurrPattern.DayOfWeekMask", 2 | 8).I("RecurrPattern.Interval", 1);
    t.D("RecurrPattern.PatternStartDate", OleDate(2008, 11, 3));
    t.B("RecurrPattern.NoEndDate", 0xFFFF);
    tasks.push_back(t);
  }
  {
    TaskBuilder t = reminder(
        Task("Pay rent", "", OleDate(2008, 11, 11), OleDate(2008, 11, 11), false, 1, 1, "Personal"),
        OleDate(2008, 11, 10, 23, 0));
    t.B("IsRecurring", 0xFFFF).I("RecurrPattern.RecurrenceType", 3);
    t.I("RecurrPattern.DayOfWeekMask", 4).I("RecurrPattern.Instance", 2);
    t.I("RecurrPattern.Interval", 1).I("RecurrPattern.Occurrences", 12);
    tasks.push_back(t);
  }
  {
    TaskBuilder t =
        reminder(Task("Mother's birthday present", "She likes green tea.", OleDate(2009, 3, 14),
                      OleDate(2009, 3, 14), false, 1, 1, "Personal, Family"),
                 OleDate(2009, 3, 7, 0, 0));
    t.B("IsRecurring", 0xFFFF).I("RecurrPattern.RecurrenceType", 5);
    t.I("RecurrPattern.DayOfMonth", 14).I("RecurrPattern.MonthOfYear", 3);
    t.I("RecurrPattern.Interval", 1).B("RecurrPattern.NoEndDate", 0xFFFF);
    tasks.push_back(t);
  }
  tasks.push_back(Task("Submit expense report", "Taxi receipts from the Busan trip.",
                       OleDate(2008, 10, 27), OleDate(2008, 10, 31), true, 2, 0, "Business"));
  tasks.push_back(Task("Book dentist appointment", "", OleDate(2008, 10, 20), OleDate(2008, 10, 24),
                       true, 3, 1, "Personal"));
  tasks.push_back(Task("Read project proposal", "Draft v2 from the design team.", kNoDate, kNoDate,
                       false, 2, 0, "Business"));
  tasks.push_back(
      Task("Call the plumber", "Kitchen tap is dripping.", kNoDate, kNoDate, false, 3, 2, ""));
  {
    TaskBuilder t = Task("Back up phone contacts", "", OleDate(2008, 11, 1), OleDate(2008, 11, 1),
                         false, 2, 0, "Personal");
    t.B("IsRecurring", 0xFFFF).I("RecurrPattern.RecurrenceType", 2);
    t.I("RecurrPattern.DayOfMonth", 1).I("RecurrPattern.Interval", 1);
    t.D("RecurrPattern.PatternStartDate", OleDate(2008, 11, 1));
    t.D("RecurrPattern.PatternEndDate", OleDate(2009, 12, 31));
    tasks.push_back(t);
  }
  {
    TaskBuilder t = Task("Write stand-up notes", "", OleDate(2008, 11, 3), OleDate(2008, 11, 3),
                         false, 2, 0, "Business");
    t.B("IsRecurring", 0xFFFF).I("RecurrPattern.RecurrenceType", 0);
    t.I("RecurrPattern.DayOfWeekMask", 62).I("RecurrPattern.Interval", 1);
    t.B("RecurrPattern.NoEndDate", 0xFFFF);
    tasks.push_back(t);
  }
  tasks.push_back(
      reminder(Task("Plan holiday trip", "Jeju, 4 nights, check ferry times.", OleDate(2008, 12, 1),
                    OleDate(2008, 12, 15), false, 2, 3, "Personal, Travel"),
               OleDate(2008, 12, 1, 0, 30)));
  {
    TaskBuilder t = Task("Water the plants", "", OleDate(2008, 11, 8), OleDate(2008, 11, 8), false,
                         3, 0, "Home");
    t.B("IsRecurring", 0xFFFF).I("RecurrPattern.RecurrenceType", 1);
    t.I("RecurrPattern.DayOfWeekMask", 64).I("RecurrPattern.Interval", 2);
    t.I("RecurrPattern.Occurrences", 10);
    tasks.push_back(t);
  }
  tasks.push_back(Task("\xED\x9A\x8C\xEC\x9D\x98 \xEC\x9E\x90\xEB\xA3\x8C \xEC\xA4\x80\xEB\xB9\x84",
                       "\xEB\x8B\xA4\xEC\x9D\x8C \xEC\xA3\xBC \xEC\x9B\x94\xEC\x9A\x94\xEC\x9D\xBC",
                       OleDate(2008, 11, 5), OleDate(2008, 11, 7), false, 1, 0, "Business"));

  RecordStore store(image, devrec::kKindTask);
  for (auto& t : tasks) {
    std::vector<devrec::RawEntry> raw;
    for (auto& p : t.p) raw.push_back(RecordStore::Raw(devrec::kKindTask, p));
    store.Add(raw);
  }
}

}  // namespace

double OleDate(int year, int month, int day, int hour, int minute) {
  using namespace std::chrono;
  auto days =
      sys_days(std::chrono::year(year) / month / day) - sys_days(std::chrono::year(1899) / 12 / 30);
  return days.count() + (hour * 60 + minute) / 1440.0;
}

uint64_t FileTimeOf(int year, int month, int day, int hour, int minute) {
  using namespace std::chrono;
  auto t = sys_days(std::chrono::year(year) / month / day) + hours(hour) + minutes(minute);
  int64_t secs = duration_cast<seconds>(t.time_since_epoch()).count();
  return static_cast<uint64_t>(secs + 11644473600ll) * 10000000ull;
}

int PresetVersion(const std::string& preset) {
  if (preset == "demo") return kDemoPresetVersion;
  if (preset == "empty") return kEmptyPresetVersion;
  return 0;
}

void BuildPreset(Image& image, const std::string& preset, const std::string& modelName) {
  if (preset != "empty" && preset != "demo")
    throw std::runtime_error("unknown preset \"" + preset + "\"");
  DeviceFs fs(image);
  DeviceRegistry reg(image);
  bool demo = preset == "demo";
  BuildRegistry(reg, modelName, demo);
  BuildBaseFolders(fs, FileTimeOf(2008, 9, 1, 8, 0));
  DeviceSystem system(image, fs, reg);
  system.AddBuiltInProgram(u"\\Windows\\wceload.exe");
  system.AddBuiltInProgram(u"\\Windows\\unload.exe");
  const StorageLayout& layout = LayoutOf(modelName);
  if (*layout.secondStore) {
    // A store of its own: a root folder with the temporary attribute.
    std::u16string root(1, u'\\');
    root.append(layout.secondStore);
    fs.PutFolder(root, 0x10 | kTemporary, FileTimeOf(2008, 5, 1, 12, 0));
    fs.SetCapacity(layout.secondStore, layout.secondStoreSize);
    if (demo) {
      fs.PutFolder(root + u"\\Backup", 0x10, FileTimeOf(2008, 7, 1, 9, 0));
      fs.PutFile(root + u"\\Backup\\contacts-2008-07.csv",
                 Text("Name,Phone\r\n김민준,010-5555-0133\r\n"), kArchive,
                 FileTimeOf(2008, 7, 1, 9, 5));
      fs.PutFile(root + u"\\여행 일정.txt",
                 Text("부산 출장, 10월 12-14일\r\n"), kArchive, FileTimeOf(2008, 9, 20, 21, 0));
    }
  }
  if (demo) {
    BuildDemoFiles(fs);
    BuildDemoTasks(image);
    BuildDemoMessages(image);
    BuildDemoSim(image);
    BuildDemoCalendar(image, ModelTypeOf(Utf16(modelName)));
    BuildDemoPhonebook(image);
  }
}

}  // namespace wmemu
