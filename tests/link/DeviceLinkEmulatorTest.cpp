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

namespace {

namespace fs = std::filesystem;
using namespace qwb;

// An emulated phone in a fresh image, named to the RAPI layer as the device.
struct Phone {
  explicit Phone(const std::string& model, const std::string& preset = "demo") {
    dir = fs::temp_directory_path() /
          ("link_emu_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
    fs::remove_all(dir);
    wmemu::Emulator::CreateImage(dir, preset, model);
    emu = wmemu::Emulator::Open(dir);
    setenv("QWBDCAWM_DEVICE", emu->Listen("tcp:127.0.0.1:0").c_str(), 1);
  }
  ~Phone() {
    emu->Stop();
    emu.reset();
    unsetenv("QWBDCAWM_DEVICE");
    fs::remove_all(dir);
  }
  static inline int counter = 0;
  fs::path dir;
  std::unique_ptr<wmemu::Emulator> emu;
};

TEST(DeviceLinkOnEmulator, RegistryReadsAndModelType) {
  Phone phone("Hanul HL-300");
  auto& reg = phone.emu->registry();
  reg.SetDword(wmemu::kHkeyLocalMachine, u"Test\\Values", u"Number", 0xCAFE0012u);
  reg.SetString(wmemu::kHkeyLocalMachine, u"Test\\Values", u"Text", u"\uD55C text");
  reg.SetString(wmemu::kHkeyLocalMachine, u"Test\\Values", u"Empty", u"");
  reg.SetString(wmemu::kHkeyLocalMachine, u"Test\\Values", u"Long", std::u16string(300, u'x'));

  CRapiBase link;
  DWORD number = 7;
  EXPECT_EQ(link.ceReadReg4dword(HKEY_LOCAL_MACHINE, u"Test\\Values", u"Number", &number), 1);
  EXPECT_EQ(number, 0xCAFE0012u);
  number = 7;
  EXPECT_EQ(link.ceReadReg4dword(HKEY_LOCAL_MACHINE, u"Test\\Nothing", u"Number", &number), 0);
  EXPECT_EQ(number, 7u);

  // An empty string still has its terminator and is read; a value longer than the buffer
  // does not fit and is not.
  struct {
    const char16_t *name, *expected;
  } reads[] = {
      {u"TEXT", u"\uD55C text"}, {u"Empty", u""}, {u"Long", nullptr}, {u"Missing", nullptr}};
  for (const auto& r : reads) {
    std::u16string text = u"unchanged";
    EXPECT_EQ(link.ceReadRegString(HKEY_LOCAL_MACHINE, u"test\\values", r.name, &text),
              r.expected ? 1 : 0);
    EXPECT_EQ(text, r.expected ? r.expected : u"unchanged");
  }

  // The phone's name, looked up in the profile shipped beside the executable.
  EXPECT_EQ(link.GetWMModelType(), olDomesticLGT);
  reg.SetString(wmemu::kHkeyLocalMachine, u"Ident", u"OrigName", u"aster s2");
  EXPECT_EQ(link.GetWMModelType(), olInternational_SP);
  reg.SetString(wmemu::kHkeyLocalMachine, u"Ident", u"OrigName", u"Unlisted 9");
  EXPECT_EQ(link.GetWMModelType(), olInternational);
}

TEST(DeviceLinkOnEmulator, StorageProbe) {
  Phone phone("Aster W1");
  auto partitionName = [&](std::u16string_view name) {
    phone.emu->registry().SetString(
        wmemu::kHkeyLocalMachine, u"System\\StorageManager\\Profiles\\MMC\\Part00", u"Name", name);
  };
  {
    // The MMC partition "Storage" names the card folder "Storage Card" by its prefix.
    CRapiBase link;
    EXPECT_EQ(link.CheckStorageCard(), 1);
    EXPECT_EQ(link.StorageCardFolder(), u"Storage Card");
  }
  {
    // The MMC folder equal to the SD folder (ignoring case): no probe of the root.
    partitionName(u"storage CARD");
    CRapiBase link;
    EXPECT_EQ(link.CheckStorageCard(), 0);
    EXPECT_TRUE(link.StorageFolders().empty());
  }
  {
    // A name no root folder starts with (compared with case): folders collected, none found.
    partitionName(u"storage");
    CRapiBase link;
    EXPECT_EQ(link.CheckStorageCard(), 0);
    EXPECT_FALSE(link.StorageFolders().empty());
    // A card that appears later is found by the next probe.
    phone.emu->files().PutFolder(u"\\storage2", 0x10 | 0x100);
    EXPECT_EQ(link.CheckStorageCard(), 1);
    EXPECT_EQ(link.StorageCardFolder(), u"storage2");
  }
}

TEST(DeviceLinkOnEmulator, RecordsThroughTheEchoFunction) {
  Phone phone("Hanul HD-100", "empty");
  CRapiBase link;
  wincompat::ResetRapiSyncCounts();
  auto echo = [](const std::vector<uint8_t>& record, std::vector<uint8_t>* reply) {
    return CRapiBase::InvokeBlock(u"DevCeEcho", "LinkTest", record, reply);
  };

  // A request built from a property list comes back whole, with the types the service reads.
  CPropertyList list(devrec::kKindAppointment);
  list.AddString("Subject", u"\uD55C\uAE00 \U0001F600");
  list.AddDate("Start", 45123.5);
  list.AddInteger("Duration", -30);
  list.AddBoolean("AllDayEvent", -1);
  list.AddString("Location", u"");
  DWORD size = 0;
  LocalBuffer built = BuildDeviceRecord(list, devrec::kModeReplace, 0x12, &size);
  std::vector<uint8_t> sent(built.get(), built.get() + size), reply;
  ASSERT_EQ(echo(sent, &reply), S_OK);
  EXPECT_EQ(reply, sent);
  devrec::Request read;
  ASSERT_EQ(devrec::ReadRequest(reply.data(), reply.size(), devrec::kModeReplace, &read),
            devrec::ReadError::kOk);
  std::vector<uint32_t> types;
  for (const auto& e : read.properties) types.push_back(e.type);
  EXPECT_EQ(types, (std::vector<uint32_t>{1, 2, 3, 4, 1}));

  // A reply with a binary of 1000 bytes comes back into the property map.
  std::vector<uint8_t> blob(1000);
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = uint8_t(i);
  using devrec::Property;
  ASSERT_EQ(
      echo(devrec::EncodeReply(99, {Property::String("FirstName", "\xC3\xA9t\xF0\x9F\x98\x80"),
                                    Property::Binary("Picture", blob)}),
           &reply),
      S_OK);
  CPropertyMap map;
  ASSERT_EQ(DecodeDeviceRecord(1, reply.data(), static_cast<DWORD>(reply.size()), &map), kDecodeOk);
  std::u16string s;
  EXPECT_TRUE(map.GetString(u"FirstName", &s));
  EXPECT_EQ(s, u"\u00E9t\U0001F600");
  const DeviceProperty* picture = map.Find(u"Picture");
  ASSERT_TRUE(picture && picture->valueLength == 1000u);
  EXPECT_EQ(std::vector<uint8_t>(picture->binaryVal, picture->binaryVal + 1000), blob);

  // Every invocation came right after a CeSyncStop.
  auto counts = wincompat::GetRapiSyncCounts();
  EXPECT_EQ(counts.invokes, 2u);
  EXPECT_EQ(counts.invokesWithoutSyncStop, 0u);
}

}  // namespace
