// The file table end to end: host -> CoCreateInstance -> component -> librapi -> RAPI2 ->
// in-process emulator. Device files are seeded and checked in the emulator's image directly;
// PC files live in a temporary folder, and so does the application-data folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "emulator/DeviceFs.h"
#include "host/Component.h"
#include "tests/support/TableE2E.h"
#include "host/HostObjects.h"
#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/com.h"
#include "wincompat/comptr.h"
#include "wincompat/connpoint.h"
#include "wincompat/testhooks.h"

namespace {

using namespace qwbtest;
std::u16string Text(IItem* item, const char16_t* column) { return Text16(item, column); }

namespace fs = std::filesystem;

// Module errors as the host sees them: 0x80040000 | code; code 1 as 0x8007001F.
constexpr HRESULT kGenFailure = static_cast<HRESULT>(0x8007001Fu);
constexpr HRESULT kCancelled = static_cast<HRESULT>(0x8004000Du);      // 13
constexpr HRESULT kDiskFull = static_cast<HRESULT>(0x80042EE7u);       // 12007
constexpr HRESULT kRenameDenied = static_cast<HRESULT>(0x800432CDu);   // 13005
constexpr HRESULT kPathTooLong = static_cast<HRESULT>(0x800432D7u);    // 13015
constexpr HRESULT kCreateDenied = static_cast<HRESULT>(0x800432F2u);   // 13042
constexpr uint64_t kFileTime2008 = 128752416000000000ull;  // 2009-01-01 00:00 UTC

std::u16string Wide(std::string_view s) { return std::u16string(s.begin(), s.end()); }
// Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on literal + string.
std::u16string Cat(std::u16string_view a, std::u16string_view b, std::u16string_view c = {}) {
  std::u16string s(a);
  s.append(b).append(c);
  return s;
}

std::vector<uint8_t> Pattern(size_t n, uint8_t seed = 7) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 31 + seed + i / 4096);
  return v;
}
std::vector<uint8_t> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
void WriteAll(const fs::path& p, const std::vector<uint8_t>& data) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

class FilesE2E : public TableE2E<FilesE2E> {
 protected:
  static void SetUpTestSuite() { StartPhone("demo", "Hanul HD-100"); }

  void SetUp() override {
    Emu().Control(R"({"cmd":"clear"})");
    pc_ = phone_->folder() / ("pc-" + std::to_string(++counter_));
    fs::create_directories(pc_);
    setenv("APPDATA", (pc_ / "appdata").c_str(), 1);
    wincompat::SetTimeZoneRuleForTesting("UTC0");
    wincompat::SetConsoleSink([this](const std::string& t) { console_ += t; });
    Connect();
  }
  void TearDown() override {
    Disconnect();
    wincompat::SetConsoleSink(nullptr);
    wincompat::SetTimeZoneRuleForTesting("");
  }

  void Connect() {
    table_ = host_.Connect(DTID_FILE);
    ASSERT_TRUE(table_);
    log_ = std::make_shared<std::vector<qwbhost::ProgressCall>>();
    sink_ = qwbhost::ProgressSink::Create("sink", DIID_IDeviceDataEvents, log_);
    ComPtr<IConnectionPointContainer> cpc;
    ASSERT_EQ(host_.device().As(std::addressof(cpc)), S_OK);
    ASSERT_EQ(cpc->FindConnectionPoint(DIID_IDeviceDataEvents, point_.ReleaseAndGetAddressOf()),
              S_OK);
    ASSERT_EQ(point_->Advise(sink_.Get(), &cookie_), S_OK);
  }
  // Everything released, so that the next Connect opens a new RAPI session.
  void Disconnect() {
    if (point_) point_->Unadvise(cookie_);
    point_ = nullptr;
    sink_ = nullptr;
    table_ = nullptr;
    host_.Release();
  }

  static fs::path DeviceFile(const std::string& rel) { return Emu().image().fsRoot() / rel; }
  fs::path DeleteInfo() const {
    return pc_ / "appdata" / "Tolvane" / "Orvanta" / "QWB_Trovix_DeleteFileInfo.ini";
  }

  ComPtr<IItem> FileItem(const char16_t* folder, const std::u16string& name, const fs::path& pc,
                         size_t size) {
    ComPtr<IItem> item = NewItem(DCADT_FILE);
    Set(item.Get(), u"Reserved1", Variant::Str(folder));
    Set(item.Get(), u"Name", Variant::Str(name));
    Set(item.Get(), u"PCPath", Variant::Str(Wide(pc.string())));
    Set(item.Get(), u"FileSize", Variant::Str(Wide(std::to_string(size))));
    return item;
  }
  // The rest of the listing under way.
  std::vector<ComPtr<IItem>> Drain() { return ListAll(false); }
  std::vector<ComPtr<IItem>> ListChildren(const char16_t* hostFolder, LONG folderId = 500) {
    ComPtr<IItem> folder = NewItem(DCADT_FOLDER);
    Set(folder.Get(), u"Reserved1", Variant::Str(hostFolder));
    Set(folder.Get(), u"FolderID", Variant::I4(folderId));
    EXPECT_EQ(table_->ListChildItemsBegin(folder.Get()), S_OK);
    return Drain();
  }
  static ComPtr<IItem> Named(const std::vector<ComPtr<IItem>>& items, DCADATATYPE type,
                             const std::u16string& name) {
    for (const auto& item : items)
      if (TypeOf(item.Get()) == type && Text(item.Get(), u"Name") == name) return item;
    return nullptr;
  }

  static inline int counter_ = 0;
  fs::path pc_;
  std::string console_;
  ComPtr<IConnectionPoint> point_;
  ComPtr<qwbhost::ProgressSink> sink_;
  std::shared_ptr<std::vector<qwbhost::ProgressCall>> log_;
  DWORD cookie_ = 0;
};

TEST_F(FilesE2E, FullListingGivesMemoryFoldersThenFilesWithCardMarks) {
  Emu().files().PutFile(u"\\My Documents\\locked.txt", Pattern(10), 0x21, kFileTime2008);
  Emu().files().PutFile(u"\\My Documents\\sys.bin", Pattern(20), 0x04, kFileTime2008);
  Emu().files().PutFile(u"\\My Documents\\plain.txt", Pattern(30), 0x20, kFileTime2008);
  ASSERT_EQ(table_->ListItemsAllBegin2(), S_OK);
  std::vector<ComPtr<IItem>> items = Drain();
  ASSERT_GT(items.size(), 3u);
  // The memory item first, then folders, then files: types never go back.
  EXPECT_EQ(TypeOf(items[0].Get()), DCADT_FILE_INFO);
  for (size_t i = 1; i + 1 < items.size(); ++i)
    EXPECT_LE(TypeOf(items[i].Get()), TypeOf(items[i + 1].Get())) << i;
  // The demo phone's card is the probe's "\Storage Card": no MMC card, so state 0.
  IItem* info = items[0].Get();
  EXPECT_EQ(Text(info, u"Memory2Name"), u"");
  EXPECT_EQ(Text(info, u"DefaultPictureFolder"), u"/My Documents");
  EXPECT_EQ(Text(info, u"ExtMemorySize"), u"1073741824");
  EXPECT_EQ(Get(info, u"PacketSize").Get().lVal, 8192);
  EXPECT_EQ(Text(info, u"MemorySize"), u"100663296");

  // Root folders numbered 1.. in the phone's order; "Windows" (directory + system) hidden.
  ComPtr<IItem> card = Named(items, DCADT_FOLDER, u"\\");
  ASSERT_TRUE(card);
  EXPECT_EQ(Get(card.Get(), u"Status").Get().ulVal, 0x23u);
  EXPECT_EQ(Get(card.Get(), u"ParentID").Get().lVal, 0);
  EXPECT_FALSE(Named(items, DCADT_FOLDER, u"Windows"));
  ComPtr<IItem> first = items[1];
  EXPECT_EQ(Get(first.Get(), u"FolderID").Get().ulVal, 1u);
  ComPtr<IItem> dcim = Named(items, DCADT_FOLDER, u"DCIM");
  ASSERT_TRUE(dcim);  // the card root is listed one level down
  EXPECT_EQ(Get(dcim.Get(), u"ParentID").Get().lVal,
            static_cast<LONG>(Get(card.Get(), u"FolderID").Get().ulVal));
  EXPECT_EQ(Get(dcim.Get(), u"Status").Get().ulVal, 0x20u);

  struct Want {
    const char16_t* name;
    ULONG status;
    VARTYPE notAllowedType;
    ULONG notAllowed;
    LONG icon;
  } wants[] = {{u"locked.txt", 17, VT_UI4, 963, 3},
               {u"sys.bin", 5, VT_UI4, 963, 7},
               {u"plain.txt", 1, VT_I4, 0, 0}};
  for (const Want& w : wants) {
    SCOPED_TRACE(Narrow(w.name));
    ComPtr<IItem> f = Named(items, DCADT_FILE, w.name);
    ASSERT_TRUE(f);
    EXPECT_EQ(Get(f.Get(), u"Status").Get().ulVal, w.status);
    Variant na = Get(f.Get(), u"NotAllowedOperation");
    EXPECT_EQ(na.vt(), w.notAllowedType);
    EXPECT_EQ(na.Get().ulVal, w.notAllowed);
    EXPECT_EQ(Get(f.Get(), u"StatusIcon").Get().lVal, w.icon);
    Variant date = Get(f.Get(), u"LastWriteDate");
    EXPECT_EQ(date.vt(), VT_DATE);
    EXPECT_DOUBLE_EQ(date.Get().date, 39814.0);  // 2009-01-01, the time of the phone
  }
  // A second full listing continues the numbering; the second form starts again at 1.
  ASSERT_EQ(table_->ListItemsAllBegin(), S_OK);
  std::vector<ComPtr<IItem>> again = Drain();
  ULONG maxId = 0;
  for (const auto& item : items)
    if (TypeOf(item.Get()) == DCADT_FOLDER)
      maxId = std::max(maxId, Get(item.Get(), u"FolderID").Get().ulVal);
  EXPECT_EQ(Get(again[1].Get(), u"FolderID").Get().ulVal, maxId + 1);
  for (const char* name : {"locked.txt", "sys.bin", "plain.txt"})
    fs::remove(DeviceFile(std::string("My Documents/") + name));
}

TEST_F(FilesE2E, ChildListingFillsFolderColumnsAndPrintsNames) {
  std::vector<ComPtr<IItem>> items = ListChildren(u"/My Documents", 77);
  ComPtr<IItem> business = Named(items, DCADT_FOLDER, u"Business");
  ASSERT_TRUE(business);
  EXPECT_EQ(Get(business.Get(), u"ParentID").Get().lVal, 77);
  EXPECT_EQ(Text(business.Get(), u"CreateDate"), u"2008-09-01 08:00:00");
  ComPtr<IItem> notes = Named(items, DCADT_FILE, u"Meeting notes.txt");
  ASSERT_TRUE(notes);
  EXPECT_EQ(Get(notes.Get(), u"FolderID").Get().ulVal, 77u);
  EXPECT_NE(console_.find("Meeting notes.txt\n"), std::string::npos);
  EXPECT_NE(console_.find("[Business]\n"), std::string::npos);
  // A card folder by its marker.
  items = ListChildren(u"\\DCIM");
  EXPECT_TRUE(Named(items, DCADT_FOLDER, u"100MEDIA"));
}

// Downloads and uploads of sizes around the chunk boundaries, with the times kept and one
// progress report per loop turn (the last one reads or writes nothing).
TEST_F(FilesE2E, TransfersBothWaysKeepContentTimesAndReportEachChunk) {
  const size_t sizes[] = {0, 1, 4095, 4096, 4097, 3 * 4096 + 5, 102400, 102401, 250000};
  for (size_t size : sizes) {
    SCOPED_TRACE(size);
    const std::vector<uint8_t> data = Pattern(size);
    const std::u16string name = Cat(u"t", Wide(std::to_string(size)), u".bin");
    Emu().files().PutFile(Cat(u"\\My Documents\\", name), data, 0x20, kFileTime2008);
    log_->clear();
    const fs::path pcFile = pc_ / ("down" + std::to_string(size));
    ComPtr<IItem> down = FileItem(u"/My Documents", name, pcFile, size);
    ASSERT_EQ(down->ReadBlobTo(0, nullptr), S_OK);
    EXPECT_EQ(ReadAll(pcFile), data);
    EXPECT_EQ(log_->size(), size / 4096 + (size % 4096 ? 1 : 0) + 1);
    EXPECT_EQ(log_->back().done, static_cast<LONGLONG>(size));
    EXPECT_EQ(log_->back().total, static_cast<LONGLONG>(size));
    struct stat st {};
    ASSERT_EQ(stat(pcFile.c_str(), &st), 0);
    EXPECT_EQ(static_cast<uint64_t>(st.st_mtime), (kFileTime2008 - 116444736000000000ull) / 10000000);

    // Back up under another name: same bytes, the PC file's times on the device.
    log_->clear();
    const std::u16string upName = Cat(u"u", name);
    ComPtr<IItem> up = FileItem(u"/My Documents", upName, pcFile, size);
    ASSERT_EQ(up->WriteBlobFrom(0, nullptr), S_OK);
    EXPECT_EQ(ReadAll(DeviceFile("My Documents/" + Narrow(upName))), data);
    EXPECT_EQ(log_->size(), size / 102400 + (size % 102400 ? 1 : 0) + 1);
    EXPECT_DOUBLE_EQ(Get(up.Get(), u"LastWriteDate").Get().date, 39814.0);
    EXPECT_EQ(Get(up.Get(), u"Status").Get().lVal, 1);
    std::vector<ComPtr<IItem>> listed = ListChildren(u"/My Documents");
    ComPtr<IItem> copy = Named(listed, DCADT_FILE, upName);
    ASSERT_TRUE(copy);
    EXPECT_DOUBLE_EQ(Get(copy.Get(), u"LastWriteDate").Get().date, 39814.0);
    fs::remove(DeviceFile("My Documents/" + Narrow(name)));
    fs::remove(DeviceFile("My Documents/" + Narrow(upName)));
  }
}

TEST_F(FilesE2E, CancellingLeavesNoFileBehindInEitherDirection) {
  const size_t size = 5 * 4096 + 100;  // six reads; three uploads chunks of a bigger file
  const size_t upSize = 2 * 102400 + 10;
  Emu().files().PutFile(u"\\My Documents\\c.bin", Pattern(size), 0x20, kFileTime2008);
  WriteAll(pc_ / "up.bin", Pattern(upSize));
  for (LONGLONG stopAt : {LONGLONG(0), LONGLONG(3 * 4096)}) {
    SCOPED_TRACE(stopAt);
    log_->clear();
    sink_->StopAt(stopAt);
    const fs::path pcFile = pc_ / "c.bin";
    ComPtr<IItem> down = FileItem(u"/My Documents", u"c.bin", pcFile, size);
    EXPECT_EQ(down->ReadBlobTo(0, nullptr), kCancelled);
    EXPECT_FALSE(fs::exists(pcFile));
    EXPECT_EQ(log_->back().done, stopAt == 0 ? 4096 : stopAt);
    // The flag is 1 again: the next transfer runs to its end.
    sink_->StopAt(1LL << 40);
    EXPECT_EQ(down->ReadBlobTo(0, nullptr), S_OK);
    EXPECT_EQ(fs::file_size(pcFile), size);
    fs::remove(pcFile);
  }
  for (LONGLONG stopAt : {LONGLONG(0), LONGLONG(102400)}) {
    SCOPED_TRACE(stopAt);
    sink_->StopAt(stopAt);
    ComPtr<IItem> up = FileItem(u"/My Documents", u"up.bin", pc_ / "up.bin", upSize);
    EXPECT_EQ(up->WriteBlobFrom(0, nullptr), S_OK);
    EXPECT_FALSE(fs::exists(DeviceFile("My Documents/up.bin")));
  }
  fs::remove(DeviceFile("My Documents/c.bin"));
}

// The connection breaks at every chunk boundary of a small transfer. A download leaves no PC
// file; an upload leaves the device path in the delete-info file, and the next full listing
// (on a new session) deletes the device file and then the delete-info file.
TEST_F(FilesE2E, DroppedConnectionAtEveryChunkBoundary) {
  const size_t size = 3 * 4096 + 100;
  Emu().files().PutFile(u"\\My Documents\\d.bin", Pattern(size), 0x20, kFileTime2008);
  for (uint64_t k : std::vector<uint64_t>{0, 4096, 8192, 12288, size}) {
    SCOPED_TRACE("download, drop after " + std::to_string(k));
    const fs::path pcFile = pc_ / "d.bin";
    ComPtr<IItem> down = FileItem(u"/My Documents", u"d.bin", pcFile, size);
    Emu().faults().DropAfterFileBytes(k);
    EXPECT_EQ(down->ReadBlobTo(0, nullptr), kGenFailure);
    EXPECT_FALSE(fs::exists(pcFile));
    down = nullptr;
    Disconnect();
    Connect();
  }
  const size_t upSize = 2 * 102400 + 300;
  WriteAll(pc_ / "u.bin", Pattern(upSize));
  for (uint64_t k : std::vector<uint64_t>{0, 102400, 204800, upSize}) {
    SCOPED_TRACE("upload, drop after " + std::to_string(k));
    ComPtr<IItem> up = FileItem(u"/My Documents", u"u.bin", pc_ / "u.bin", upSize);
    Emu().faults().DropAfterFileBytes(k);
    EXPECT_EQ(up->WriteBlobFrom(0, nullptr), kGenFailure);
    const std::vector<uint8_t> info = ReadAll(DeleteInfo());
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info.data()), info.size() / 2),
              u"\\My Documents\\u.bin");
    EXPECT_EQ(fs::file_size(DeviceFile("My Documents/u.bin")), k);
    up = nullptr;
    Disconnect();
    Connect();
    ASSERT_EQ(table_->ListItemsAllBegin(), S_OK);
    EXPECT_FALSE(fs::exists(DeviceFile("My Documents/u.bin")));
    EXPECT_FALSE(fs::exists(DeleteInfo()));
    table_->ListItemsEnd();
  }
  fs::remove(DeviceFile("My Documents/d.bin"));
}

TEST_F(FilesE2E, FailedTransfersAnswerTheirModuleErrors) {
  Emu().files().SetCapacity(u"Storage Card", 1 << 20);
  WriteAll(pc_ / "big.bin", Pattern(2 * 1024 * 1024));
  // Disk full on the card: the partial file goes.
  ComPtr<IItem> up = FileItem(u"\\", u"big.bin", pc_ / "big.bin", 2 * 1024 * 1024);
  EXPECT_EQ(up->WriteBlobFrom(0, nullptr), kDiskFull);
  EXPECT_FALSE(fs::exists(DeviceFile("Storage Card/big.bin")));
  Emu().files().SetCapacity(u"Storage Card", 1ull << 30);

  console_.clear();
  ComPtr<IItem> missing = FileItem(u"/My Documents", u"nothing.bin", pc_ / "n.bin", 0);
  EXPECT_EQ(missing->ReadBlobTo(0, nullptr), kGenFailure);
  EXPECT_EQ(console_, "Windows CE file does not exist\n");
  EXPECT_FALSE(fs::exists(pc_ / "n.bin"));
  console_.clear();
  ComPtr<IItem> folder = FileItem(u"/My Documents", u"Business", pc_ / "n.bin", 0);
  EXPECT_EQ(folder->ReadBlobTo(0, nullptr), kGenFailure);
  EXPECT_EQ(console_, "Windows CE file specifies a directory\n");
  // A device file that cannot be created (a read-only ROM file).
  WriteAll(pc_ / "small.bin", Pattern(10));
  ComPtr<IItem> rom = FileItem(u"/Windows", u"coredll.dll", pc_ / "small.bin", 10);
  EXPECT_EQ(rom->WriteBlobFrom(0, nullptr), kCreateDenied);
  ComPtr<IItem> noPc = FileItem(u"/My Documents", u"x.bin", pc_ / "absent.bin", 10);
  EXPECT_EQ(noPc->WriteBlobFrom(0, nullptr), kGenFailure);

  // Paths of 259 characters pass the length check; 260 and 261 are refused before any call.
  for (size_t length : {259u, 260u, 261u}) {
    SCOPED_TRACE(length);
    const std::u16string name(length - 1, u'n');  // "\" + name
    ComPtr<IItem> item = FileItem(u"", name, pc_ / "p.bin", 0);
    const HRESULT hr = item->ReadBlobTo(0, nullptr);
    if (length == 259) {
      EXPECT_EQ(hr, kGenFailure);
    } else {
      EXPECT_EQ(hr, kPathTooLong);
    }
    std::string pcName(length - pc_.string().size() - 1, 'p');
    ComPtr<IItem> pcLong = FileItem(u"/My Documents", u"a.txt", pc_ / pcName, 0);
    EXPECT_EQ(pcLong->WriteBlobFrom(0, nullptr) == kPathTooLong, length != 259);
  }
  // The failure's error information names the item's source file.
  ComPtr<IErrorInfo> errorInfo;
  ASSERT_EQ(rom->WriteBlobFrom(0, nullptr), kCreateDenied);
  ASSERT_EQ(GetErrorInfo(0, errorInfo.ReleaseAndGetAddressOf()), S_OK);
  ASSERT_TRUE(errorInfo);
}

TEST_F(FilesE2E, FileOperationsAndTheirFailureCodes) {
  auto fileOp = [&](const char16_t* folder, const char16_t* name, const char16_t* second,
                    const char16_t* op) {
    ComPtr<IItem> item = NewItem(DCADT_FILE);
    Set(item.Get(), u"Reserved1", Variant::Str(folder));
    Set(item.Get(), u"Name", Variant::Str(name));
    Set(item.Get(), u"Reserved2", Variant::Str(second));
    Set(item.Get(), u"Reserved3", Variant::Str(op));
    return table_->UpdateItem(item.Get());
  };
  static const std::u16string kLongName(250, u'x');
  auto folderItem = [&](const char16_t* folder, const char16_t* name) {
    ComPtr<IItem> item = NewItem(DCADT_FOLDER);
    Set(item.Get(), u"Reserved1", Variant::Str(folder));
    Set(item.Get(), u"Name", Variant::Str(name));
    return item;
  };
  Emu().files().PutFile(u"\\My Documents\\op.txt", Pattern(100), 0x20, kFileTime2008);

  // Folders: create, create again, create where the phone refuses, rename, delete with content.
  ComPtr<IItem> made = folderItem(u"/My Documents", u"새 폴더");
  EXPECT_EQ(table_->CreateItem(made.Get(), nullptr), S_OK);
  EXPECT_TRUE(fs::is_directory(DeviceFile("My Documents/새 폴더")));
  EXPECT_GT(Get(made.Get(), u"FolderID").vt(), VT_EMPTY);
  EXPECT_EQ(table_->CreateItem(folderItem(u"/My Documents", u"새 폴더").Get(), nullptr), kGenFailure);
  EXPECT_EQ(table_->CreateItem(folderItem(u"/My Documents/op.txt", u"x").Get(), nullptr), kGenFailure);

  struct Op {
    const char* what;
    const char16_t* folder;
    const char16_t* name;
    const char16_t* second;
    const char16_t* op;
    HRESULT want;
  } ops[] = {
      {"copy", u"/My Documents", u"op.txt", u"/My Documents/새 폴더/copy.txt", u"P2P_COPY", S_OK},
      {"copy of a missing file reports success", u"/My Documents", u"none.txt",
       u"/My Documents/x.txt", u"P2P_COPY", S_OK},
      {"rename", u"/My Documents", u"op.txt", u"renamed.txt", u"RENAME", S_OK},
      {"rename of a missing file", u"/My Documents", u"op.txt", u"again.txt", u"RENAME",
       kGenFailure},
      {"move", u"/My Documents", u"renamed.txt", u"/My Documents/Personal/moved.txt",
       u"P2P_MOVE", S_OK},
      {"move of a missing file", u"/My Documents", u"renamed.txt", u"/My Documents/m.txt",
       u"P2P_MOVE", kGenFailure},
      {"wallpaper", u"/My Documents", u"whatever.jpg", u"", u"SET_WALLPAPER", S_OK},
      {"lower case operation", u"/My Documents", u"moved.txt", u"r.txt", u"rename", E_NOTIMPL},
      {"copy folder", u"/My Documents", u"Business", u"/My Documents/Business copy",
       u"P2P_COPY_FOLDER", S_OK},
      {"move folder", u"/My Documents", u"Business copy", u"/My Documents/새 폴더/Business",
       u"P2P_MOVE_FOLDER", S_OK},
      {"name too long", u"/My Documents", kLongName.c_str(), u"/My Documents/y",
       u"P2P_COPY", kPathTooLong},
  };
  for (const Op& op : ops) {
    SCOPED_TRACE(op.what);
    EXPECT_EQ(fileOp(op.folder, op.name, op.second, op.op), op.want);
  }
  EXPECT_EQ(ReadAll(DeviceFile("My Documents/새 폴더/copy.txt")), Pattern(100));
  EXPECT_EQ(ReadAll(DeviceFile("My Documents/Personal/moved.txt")), Pattern(100));
  EXPECT_TRUE(fs::exists(DeviceFile("My Documents/새 폴더/Business/Contacts.csv")));
  EXPECT_FALSE(fs::exists(DeviceFile("My Documents/Business copy")));

  // A folder rename the phone refuses (a card root), a ROM file's rename.
  ComPtr<IItem> cardRoot = folderItem(u"", u"Storage Card");
  Set(cardRoot.Get(), u"Reserved2", Variant::Str(u"Card"));
  EXPECT_EQ(table_->UpdateItem(cardRoot.Get()), kRenameDenied);

  // Deleting: files by the device's error, folders with everything in them.
  ComPtr<IItem> file = NewItem(DCADT_FILE);
  Set(file.Get(), u"Reserved1", Variant::Str(u"/My Documents/Personal"));
  Set(file.Get(), u"Name", Variant::Str(u"moved.txt"));
  EXPECT_EQ(table_->DeleteItem(file.Get()), S_OK);
  EXPECT_EQ(table_->DeleteItem(file.Get()), HRESULT(0x80070002u));
  Set(file.Get(), u"Reserved1", Variant::Str(u"/Windows"));
  Set(file.Get(), u"Name", Variant::Str(u"Ring.wav"));
  EXPECT_EQ(table_->DeleteItem(file.Get()), HRESULT(0x80070005u));
  EXPECT_EQ(table_->DeleteItem(folderItem(u"/My Documents", u"새 폴더").Get()), S_OK);
  EXPECT_FALSE(fs::exists(DeviceFile("My Documents/새 폴더")));
  // Other item types.
  EXPECT_EQ(table_->UpdateItem(NewItem(DCADT_FILE_INFO).Get()), E_FAIL);

  // The memory item refreshed on demand.
  ComPtr<IItem> info = NewItem(DCADT_FILE_INFO);
  EXPECT_EQ(table_->ReadItem(info.Get()), S_OK);
  EXPECT_EQ(Text(info.Get(), u"MemorySize"), u"100663296");
}

// Each model family mounts its storage its own way; the listing shows the cards under their
// markers and the memory item names and sizes them.
TEST_F(FilesE2E, StorageCardsOfEachModelFamily) {
  struct Family {
    const char* model;
    const char16_t* firstMarker;
    ULONG firstStatus;
    const char16_t* memory2Name;
    const char16_t* memory3Name;
    const char16_t* memory2Size;
    VARTYPE memory3SizeType;
    const char16_t* childFolder;  // a folder inside the first card's root
  } families[] = {
      {"Aster Pad M7", u"*2", 0x403, u"Storage Card", u"Storage Card2", u"1073741824", VT_BSTR,
       u"Backup"},
      {"Hanul HS-200", u"*", 0x203, u"My Flash Disk", u"", u"2147483648", VT_I4, u"Backup"},
  };
  for (const Family& f : families) {
    SCOPED_TRACE(f.model);
    Disconnect();
    {
      qwbhost::EmulatedPhone other("demo", f.model);
      Connect();
      ASSERT_EQ(table_->ListItemsAllBegin2(), S_OK);
      std::vector<ComPtr<IItem>> items = Drain();
      IItem* info = items[0].Get();
      EXPECT_EQ(Text(info, u"Memory2Name"), f.memory2Name);
      EXPECT_EQ(Text(info, u"Memory3Name"), f.memory3Name);
      EXPECT_EQ(Text(info, u"DefaultMusicFolder"), u"/*");
      EXPECT_EQ(Text(info, u"Memory2Size"), f.memory2Size);
      EXPECT_EQ(Get(info, u"Memory3Size").vt(), f.memory3SizeType);
      ComPtr<IItem> probeCard = Named(items, DCADT_FOLDER, u"\\");
      ASSERT_TRUE(probeCard);
      EXPECT_EQ(Get(probeCard.Get(), u"Status").Get().ulVal, 0x23u);
      ComPtr<IItem> card = Named(items, DCADT_FOLDER, f.firstMarker);
      ASSERT_TRUE(card);
      EXPECT_EQ(Get(card.Get(), u"Status").Get().ulVal, f.firstStatus);
      // The second form lists the card roots' children, marked as inside that card.
      ComPtr<IItem> child = Named(items, DCADT_FOLDER, f.childFolder);
      ASSERT_TRUE(child);
      EXPECT_EQ(Get(child.Get(), u"Status").Get().ulVal, f.firstStatus & 0x600);
      // The marker as a host path reaches the card.
      std::vector<ComPtr<IItem>> inCard = ListChildren(Cat(u"/", f.firstMarker).c_str());
      EXPECT_TRUE(Named(inCard, DCADT_FOLDER, f.childFolder));
      Disconnect();
    }
    setenv("QWBDCAWM_DEVICE", phone_->address().c_str(), 1);
  }
  Connect();
}

}  // namespace
