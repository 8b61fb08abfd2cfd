// The device link against the phone emulator: registry reads, the model type from the
// phone's own name, the storage probe and records through the service's echo function.
// (The link's stream handling is covered against a fake stream in RapiBaseTest.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "emulator/Emulator.h"
#include "link/DeviceRecordWM.h"
#include "link/RapiBase.h"
#include "wincompat/rapi_testhooks.h"
#include "wincompat/testhooks.h"

namespace {

namespace fs = std::filesystem;
using namespace qwb;

class Phone {
 public:
  explicit Phone(const std::string& model, const std::string& preset = "demo") {
    dir_ = fs::temp_directory_path() /
           ("link_emu_" + std::to_string(getpid()) + "_" + std::to_string(counter_++));
    fs::remove_all(dir_);
    wmemu::Emulator::CreateImage(dir_, preset, model);
    emu_ = wmemu::Emulator::Open(dir_);
    setenv("QWBDCAWM_DEVICE", emu_->Listen("tcp:127.0.0.1:0").c_str(), 1);
  }
  ~Phone() {
    emu_->Stop();
    emu_.reset();
    unsetenv("QWBDCAWM_DEVICE");
    fs::remove_all(dir_);
  }
  wmemu::Emulator& emu() { return *emu_; }

 private:
  static inline int counter_ = 0;
  fs::path dir_;
  std::unique_ptr<wmemu::Emulator> emu_;
};

TEST(DeviceLinkOnEmulator, RegistryReadsAndModelType) {
  Phone phone("Hanul HL-300");
  auto& reg = phone.emu().registry();
  reg.SetDword(wmemu::kHkeyLocalMachine, u"Test\\Values", u"Number", 0xCAFE0012u);
  reg.SetString(wmemu::kHkeyLocalMachine, u"Test\\Values", u"Text", u"\uD55C text");
  reg.SetString(wmemu::kHkeyLocalMachine, u"Test\\Values", u"Empty", u"");
  reg.SetString(wmemu::kHkeyLocalMachine, u"Test\\Values", u"Long", std::u16string(300, u'x'));

  CRapiBase link;
  DWORD number = 7;
  EXPECT_EQ(link.ceReadReg4dword(HKEY_LOCAL_MACHINE, u"Test\\Values", u"Number", &number), 1);
  EXPECT_EQ(number, 0xCAFE0012u);
  number = 7;
  EXPECT_EQ(link.ceReadReg4dword(HKEY_LOCAL_MACHINE, u"Test\\Values", u"Missing", &number), 0);
  EXPECT_EQ(link.ceReadReg4dword(HKEY_LOCAL_MACHINE, u"Test\\Nothing", u"Number", &number), 0);
  EXPECT_EQ(number, 7u);

  std::u16string text = u"unchanged";
  EXPECT_EQ(link.ceReadRegString(HKEY_LOCAL_MACHINE, u"test\\values", u"TEXT", &text), 1);
  EXPECT_EQ(text, u"\uD55C text");
  text = u"unchanged";
  EXPECT_EQ(link.ceReadRegString(HKEY_LOCAL_MACHINE, u"Test\\Values", u"Missing", &text), 0);
  EXPECT_EQ(link.ceReadRegString(HKEY_CURRENT_USER, u"Test\\Values", u"Text", &text), 0);
  EXPECT_EQ(text, u"unchanged");
  // An empty string still has its terminator: it is read, as "".
  EXPECT_EQ(link.ceReadRegString(HKEY_LOCAL_MACHINE, u"Test\\Values", u"Empty", &text), 1);
  EXPECT_EQ(text, u"");
  // A value longer than the buffer does not fit: not read.
  text = u"unchanged";
  EXPECT_EQ(link.ceReadRegString(HKEY_LOCAL_MACHINE, u"Test\\Values", u"Long", &text), 0);
  EXPECT_EQ(text, u"unchanged");

  // The phone's name, looked up in the profile shipped beside the executable.
  EXPECT_EQ(link.GetWMModelType(), olDomesticLGT);
  reg.SetString(wmemu::kHkeyLocalMachine, u"Ident", u"OrigName", u"aster s2");
  EXPECT_EQ(link.GetWMModelType(), olInternational_SP);
  reg.SetString(wmemu::kHkeyLocalMachine, u"Ident", u"OrigName", u"Unlisted 9");
  EXPECT_EQ(link.GetWMModelType(), olInternational);
}

TEST(DeviceLinkOnEmulator, StorageProbe) {
  Phone phone("Aster W1");
  auto& reg = phone.emu().registry();
  const char16_t* kProfiles = u"System\\StorageManager\\Profiles";
  {
    // The MMC partition "Storage" names the card folder "Storage Card" by its prefix.
    CRapiBase link;
    EXPECT_EQ(link.CheckStorageCard(), 1);
    EXPECT_EQ(link.StorageCardFolder(), u"Storage Card");
    EXPECT_FALSE(link.StorageFolders().empty());
    // Once found it stays found, whatever the registry says later.
    reg.SetString(wmemu::kHkeyLocalMachine, std::u16string(kProfiles) + u"\\MMC\\Part00", u"Name",
                  u"Storage Card");
    EXPECT_EQ(link.CheckStorageCard(), 1);
  }
  {
    // The MMC folder equal to the SD folder (ignoring case): no probe of the root.
    reg.SetString(wmemu::kHkeyLocalMachine, std::u16string(kProfiles) + u"\\MMC\\Part00", u"Name",
                  u"storage CARD");
    CRapiBase link;
    EXPECT_EQ(link.CheckStorageCard(), 0);
    EXPECT_TRUE(link.StorageFolders().empty());
    EXPECT_EQ(link.StorageCardFolder(), u"");
  }
  {
    // A name no root folder starts with (compared with case): folders collected, none found.
    reg.SetString(wmemu::kHkeyLocalMachine, std::u16string(kProfiles) + u"\\MMC\\Part00", u"Name",
                  u"storage");
    CRapiBase link;
    EXPECT_EQ(link.CheckStorageCard(), 0);
    EXPECT_FALSE(link.StorageFolders().empty());
    for (const auto& f : link.StorageFolders()) EXPECT_NE(f, u"");
    // A card that appears later is found by the next probe.
    phone.emu().files().PutFolder(u"\\storage2", 0x10 | 0x100);
    EXPECT_EQ(link.CheckStorageCard(), 1);
    EXPECT_EQ(link.StorageCardFolder(), u"storage2");
  }
}

TEST(DeviceLinkOnEmulator, RecordsThroughTheEchoFunction) {
  Phone phone("Hanul HD-100", "empty");
  CRapiBase link;
  wincompat::ResetRapiSyncCounts();

  // A request built from a property list arrives as the service reads it.
  CPropertyList list(devrec::kKindAppointment);
  list.AddString("Subject", u"\uD55C\uAE00 \U0001F600");
  list.AddDate("Start", 45123.5);
  list.AddInteger("Duration", -30);
  list.AddBoolean("AllDayEvent", -1);
  list.AddString("Location", u"");
  DWORD size = 0;
  BYTE* request = BuildDeviceRecord(list, devrec::kModeReplace, 0x12, &size);
  std::vector<uint8_t> sent(request, request + size);
  std::vector<uint8_t> reply;
  ASSERT_EQ(CRapiBase::InvokeBlock(u"DevCeEcho", "[%s]DevCeEcho hr=0x%x", "LinkTest", request, size,
                                   &reply),
            S_OK);
  EXPECT_EQ(reply, sent);
  devrec::Request read;
  ASSERT_EQ(devrec::ReadRequest(reply.data(), reply.size(), devrec::kModeReplace, &read),
            devrec::ReadError::kOk);
  EXPECT_EQ(read.kind, 2u);
  EXPECT_EQ(read.entryId, 0x12u);
  ASSERT_EQ(read.count, 5u);
  std::vector<uint32_t> types;
  for (const auto& e : read.properties) types.push_back(e.type);
  EXPECT_EQ(types, (std::vector<uint32_t>{1, 2, 3, 4, 1}));
  EXPECT_EQ(devrec::ValueAsString(read.properties[0]), "\xED\x95\x9C\xEA\xB8\x80 \xF0\x9F\x98\x80");

  // A reply of every type comes back into the property map.
  std::vector<uint8_t> blob(1000);
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = uint8_t(i);
  using devrec::Property;
  auto record = devrec::EncodeReply(
      99, {Property::String("FirstName", "\xC3\xA9t\xC3\xA9"), Property::Date("Birthday", 36000.0),
           Property::Binary("Picture", blob), Property::String("Body", "line1\r\nline2")});
  request = CRapiBase::AllocRequest(static_cast<DWORD>(record.size()));
  std::memcpy(request, record.data(), record.size());
  ASSERT_EQ(CRapiBase::InvokeBlock(u"DevCeEcho", "[%s]DevCeEcho hr=0x%x", "LinkTest", request,
                                   static_cast<DWORD>(record.size()), &reply),
            S_OK);
  CPropertyMap map;
  ASSERT_EQ(DecodeDeviceRecord(1, reply.data(), static_cast<DWORD>(reply.size()), &map), kDecodeOk);
  std::u16string s;
  double d = 0;
  EXPECT_TRUE(map.GetString(u"FirstName", &s));
  EXPECT_EQ(s, u"\u00E9t\u00E9");
  EXPECT_TRUE(map.GetDate(u"Birthday", &d));
  EXPECT_EQ(d, 36000.0);
  const DeviceProperty* picture = map.Find(u"Picture");
  ASSERT_NE(picture, nullptr);
  ASSERT_EQ(picture->valueLength, 1000u);
  EXPECT_EQ(std::vector<uint8_t>(picture->binaryVal, picture->binaryVal + 1000), blob);
  EXPECT_TRUE(map.GetString(u"Body", &s));
  EXPECT_EQ(s, u"line1\r\nline2");

  // Every invocation came right after a CeSyncStop; an unknown function fails.
  request = CRapiBase::AllocRequest(4);
  EXPECT_TRUE(FAILED(CRapiBase::InvokeBlock(u"DevCeNoSuchFunction", "[%s]X hr=0x%x", "LinkTest",
                                            request, 4, &reply)));
  EXPECT_TRUE(reply.empty());
  auto counts = wincompat::GetRapiSyncCounts();
  EXPECT_EQ(counts.invokes, 3u);
  EXPECT_EQ(counts.invokesWithoutSyncStop, 0u);
}

}  // namespace
