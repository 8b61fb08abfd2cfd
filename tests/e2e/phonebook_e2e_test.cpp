// The phonebook end to end: host -> CoCreateInstance -> component -> phonebook stream ->
// in-process emulator. Contacts, categories and speed dials are seeded and checked in the
// emulator's stores directly; failures are injected into the stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "emulator/MediaSamples.h"
#include "emulator/PhonebookStore.h"
#include "emulator/RecordStore.h"
#include "host/Component.h"
#include "tests/support/TableE2E.h"
#include "host/HostObjects.h"
#include "link/DeviceRecord.h"
#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/com.h"
#include "wincompat/comptr.h"
#include "wincompat/testhooks.h"

namespace {

using namespace qwbtest;
std::u16string Text(IItem* item, const char16_t* column) { return Text16(item, column); }

using devrec::Property;

std::string TakeErrorSource() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.ReleaseAndGetAddressOf()) != S_OK || !info) return "";
  BStr source;
  info->GetSource(source.Out());
  return Narrow(source.Str());
}

class PhonebookE2E : public TableE2E<PhonebookE2E> {
 protected:
  static constexpr uint32_t kContacts = 1;
  static void SetUpTestSuite() {
    StartPhone("empty", "Aster W1");
    setenv("APPDATA", (phone_->folder() / "appdata").c_str(), 1);  // the photo cache
  }

  void SetUp() override {
    Emu().Control(R"({"cmd":"clear"})");
    Emu().image().Transaction([] {
      Emu().image().Exec(
          "DELETE FROM categories; DELETE FROM speed_dials; "
          "DELETE FROM records WHERE kind = 1;");
    });
    table_ = host_.Connect(DTID_PHONEBOOK);
    ASSERT_TRUE(table_);
  }

  static wmemu::RecordStore Contacts() { return Records(kContacts); }
  static wmemu::PhonebookStore Store() { return wmemu::PhonebookStore(Emu().image()); }
  static uint32_t Seed(const Props& props) { return SeedRecord(kContacts, props); }
  static std::string StoredText(SUID id, const char* name) {
    const Props stored = StoredRecord(kContacts, id);
    const Property* p = FindProperty(stored, name);
    return p ? std::string(p->value.begin(), p->value.end() - 1) : "<absent>";
  }
  ComPtr<IItem> NewContact(const char16_t* first) {
    ComPtr<IItem> item = NewItem(DCADT_PHONEBOOK);
    Set(item.Get(), u"FIRST_NAME", Variant::Str(first));
    return item;
  }
};

TEST_F(PhonebookE2E, ListsGroupsThenContacts) {
  uint32_t work = *Store().AddCategory("Work");
  uint32_t family = *Store().AddCategory("Family");
  Store().AddCategory("\xEB\x8F\x99\xEC\xB0\xBD");  // 동창
  uint32_t kim = Seed({Property::String("FirstName", "\xEB\xAF\xBC\xEC\xA4\x80"),
                       Property::String("LastName", "\xEA\xB9\x80"),
                       Property::String("YomiLastName", "Kim"),
                       Property::String("MobileTelephoneNumber", "010-1234-5678p9"),
                       Property::String("PagerNumber", "012-345"),
                       Property::String("BusinessAddressCity", "Seoul"),
                       Property::String("Email2Address", "kim@example.kr"),
                       Property::String("Categories", "Family, Work, Golf"),
                       Property::Date("Anniversary", 39000.0)});
  uint32_t bare = Seed({});
  Store().AddSpeedDial({4, kim, 0x0096001F, u"x", u"y"});
  Store().AddSpeedDial({5, kim, 0x0099001F, u"x", u"y"});  // home: this contact has none

  ULONG count = 0;
  ASSERT_EQ(table_->GetItemCount(nullptr, 0, DCADT_ALL, &count), S_OK);
  EXPECT_EQ(count, 5u);
  std::vector<ComPtr<IItem>> items;
  while (ComPtr<IItem> item = Next()) items.push_back(item);
  ASSERT_EQ(items.size(), 5u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(TypeOf(items[i].Get()), DCADT_GROUP);
  EXPECT_EQ(IdOf(items[0].Get()), static_cast<SUID>(work));
  EXPECT_EQ(Text(items[1].Get(), u"NAME"), u"Family");
  EXPECT_EQ(Text(items[1].Get(), u"ATTRIBUTE"), u"NORMAL");
  EXPECT_EQ(Get(items[1].Get(), u"ICON_INDEX").Get().lVal, 255);

  IItem* c = items[3].Get();
  EXPECT_EQ(TypeOf(c), DCADT_PHONEBOOK);
  EXPECT_EQ(IdOf(c), static_cast<SUID>(kim));
  EXPECT_EQ(Get(c, u"TEL_COUNT").Get().lVal, 2);
  EXPECT_EQ(Text(c, u"TEL_NUM_0"), u"010-1234-5678P9");
  EXPECT_EQ(Text(c, u"TEL_TYPE_0"), u"Mobile");
  EXPECT_EQ(Text(c, u"TEL_DIAL_0"), u"4");
  EXPECT_EQ(Text(c, u"TEL_TYPE_1"), u"Pager");
  EXPECT_EQ(Get(c, u"TEL_DIAL_1").vt(), VT_EMPTY);  // no speed dial: not written
  EXPECT_EQ(Get(c, u"TEL_NUM_2").vt(), VT_NULL);
  EXPECT_EQ(Text(c, u"ADDR_TYPE_0"), u"business");
  EXPECT_EQ(Text(c, u"ADDR_LOCALITY_0"), u"Seoul");
  EXPECT_EQ(Text(c, u"EMAIL_ADDR_0"), u"kim@example.kr");
  EXPECT_EQ(Get(c, u"GROUP_ID_0").Get().ulVal, family);
  EXPECT_EQ(Get(c, u"GROUP_ID_1").Get().ulVal, work);
  EXPECT_EQ(Get(c, u"GROUP_ID_2").Get().ulVal, 0xFFFFFFFFu);
  EXPECT_EQ(Get(c, u"ANNIVERSARY_DATE_0").Get().date, 39000.0);
  EXPECT_EQ(Text(c, u"ADD_INFOS"),
            u"<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Yomigana><YomiLastName>Kim"
            u"</YomiLastName>\r\n<YomiFirstName></YomiFirstName>\r\n</Yomigana>");
  EXPECT_EQ(Text(c, u"PHOTO_TYPE"), u"NONE");
  EXPECT_EQ(IdOf(items[4].Get()), static_cast<SUID>(bare));
  EXPECT_EQ(Get(items[4].Get(), u"TEL_COUNT").Get().lVal, 0);

  EXPECT_TRUE(SawLine("[CDataTableWMPhonebook::LoadInfo] m_vEntryID.size() : 2"));
  EXPECT_TRUE(SawLine("[CDataTableWMPhonebook::LoadInfo] m_vCategories.size() : 3"));
  EXPECT_TRUE(SawLine("[CDataTableWMPhonebook::LoadInfo] m_vSpeedDialListes.size() : 2"));
  EXPECT_TRUE(SawLine("[CDataTableWMPhonebook::NextItem] Group Name : Work"));
  // The last contact ended the listing: a new one loads afresh.
  Seed({Property::String("LastName", "Late")});
  EXPECT_EQ(ListAll().size(), 6u);
}

TEST_F(PhonebookE2E, CreatesUpdatesAndDeletesContactsWithSpeedDials) {
  uint32_t work = *Store().AddCategory("Work");
  ComPtr<IItem> item = NewContact(u"Mina");
  Set(item.Get(), u"TEL_COUNT", Variant::I4(3));
  Set(item.Get(), u"TEL_TYPE_0", Variant::Str(u"Mobile"));
  Set(item.Get(), u"TEL_NUM_0", Variant::Str(u"+82 10-1111-2222P3"));
  Set(item.Get(), u"TEL_DIAL_0", Variant::Str(u"5"));
  Set(item.Get(), u"TEL_TYPE_1", Variant::Str(u"Mobile.Business"));  // second pass: home
  Set(item.Get(), u"TEL_NUM_1", Variant::Str(u"010-3333-4444"));
  Set(item.Get(), u"TEL_DIAL_1", Variant::Str(u"6"));
  Set(item.Get(), u"TEL_TYPE_2", Variant::Str(u"Fax"));
  Set(item.Get(), u"TEL_NUM_2", Variant::Str(u"02-555-0000"));
  Set(item.Get(), u"GROUP_ID_0", Variant::I4(static_cast<LONG>(work)));
  Set(item.Get(), u"ADD_INFOS",
      Variant::Str(u"<Yomigana><YomiFirstName>Mi-na</YomiFirstName></Yomigana>"));
  SUID id = SUID_NULL;
  ASSERT_EQ(table_->CreateItem(item.Get(), &id), S_OK);
  ASSERT_GT(id, 0);
  EXPECT_EQ(IdOf(item.Get()), id);
  EXPECT_EQ(StoredText(id, "FirstName"), "Mina");
  EXPECT_EQ(StoredText(id, "MobileTelephoneNumber"), "+82 10-1111-2222p3");  // Aster W1
  EXPECT_EQ(StoredText(id, "HomeTelephoneNumber"), "010-3333-4444");
  EXPECT_EQ(StoredText(id, "HomeFaxNumber"), "02-555-0000");
  EXPECT_EQ(StoredText(id, "Categories"), "Work");
  EXPECT_EQ(StoredText(id, "YomiFirstName"), "Mi-na");
  EXPECT_EQ(StoredText(id, "YomiLastName"), "<absent>");
  auto dials = Store().SpeedDials();
  ASSERT_EQ(dials.size(), 2u);
  EXPECT_EQ(dials[0].number, 5u);
  EXPECT_EQ(dials[0].entryId, static_cast<uint32_t>(id));
  EXPECT_EQ(dials[0].propertyId, 0x0096001Fu);
  EXPECT_EQ(dials[0].name, u"Mina");
  EXPECT_EQ(dials[0].telephone, u"+82 10-1111-2222p3");
  EXPECT_EQ(dials[1].propertyId, 0x0099001Fu);
  // Read back: the stored contact, its speed dials included.
  EXPECT_EQ(Text(item.Get(), u"TEL_NUM_0"), u"+82 10-1111-2222P3");
  EXPECT_EQ(Text(item.Get(), u"TEL_TYPE_1"), u"Landline.Private");

  // Update: the speed dials are cleared and registered again.
  Set(item.Get(), u"TEL_DIAL_0", Variant::Str(u"7"));
  Set(item.Get(), u"TEL_DIAL_1", Variant::Null());
  Set(item.Get(), u"LAST_NAME", Variant::Str(u"Park"));
  ASSERT_EQ(table_->UpdateItem(item.Get()), S_OK);
  EXPECT_EQ(StoredText(id, "LastName"), "Park");
  dials = Store().SpeedDials();
  ASSERT_EQ(dials.size(), 1u);
  EXPECT_EQ(dials[0].number, 7u);

  // A speed-dial number in use stays with its owner; the new contact's TEL_DIAL is nulled.
  ListAll();
  ComPtr<IItem> other = NewContact(u"Jun");
  Set(other.Get(), u"TEL_COUNT", Variant::I4(1));
  Set(other.Get(), u"TEL_TYPE_0", Variant::Str(u"Mobile"));
  Set(other.Get(), u"TEL_NUM_0", Variant::Str(u"010-9999-0000"));
  Set(other.Get(), u"TEL_DIAL_0", Variant::Str(u"7"));
  SUID otherId = SUID_NULL;
  ASSERT_EQ(table_->CreateItem(other.Get(), &otherId), S_OK);
  EXPECT_EQ(Get(other.Get(), u"TEL_DIAL_0").vt(), VT_NULL);
  ASSERT_EQ(Store().SpeedDials().size(), 1u);
  EXPECT_EQ(Store().SpeedDials()[0].entryId, static_cast<uint32_t>(id));

  // Deletes: the contact goes with its speed dials; the count is not changed.
  ASSERT_EQ(table_->DeleteItem(item.Get()), S_OK);
  ListAll();  // a delete has no reply: a listing behind it on the stream waits for it
  EXPECT_FALSE(Contacts().Get(static_cast<uint32_t>(id)));
  EXPECT_TRUE(Store().SpeedDials().empty());
  EXPECT_TRUE(Contacts().Get(static_cast<uint32_t>(otherId)));
}

TEST_F(PhonebookE2E, CreatesRenamesAndDeletesGroups) {
  Store().AddCategory("Work");
  ComPtr<IItem> group;
  ASSERT_EQ(table_->NewItem(DCADT_GROUP, SUID_NULL, SUID_NULL, group.ReleaseAndGetAddressOf()),
            S_OK);
  Set(group.Get(), u"NAME", Variant::Str(u"Golf"));
  SUID id = SUID_NULL;
  ASSERT_EQ(table_->CreateItem(group.Get(), &id), S_OK);
  EXPECT_EQ(IdOf(group.Get()), id);
  EXPECT_EQ(Text(group.Get(), u"PHOTO_TYPE"), u"NONE");
  ASSERT_EQ(Store().Categories().size(), 2u);
  EXPECT_EQ(Store().Categories()[1].name, "Golf");

  Set(group.Get(), u"NAME", Variant::Str(u"Golf club"));
  ASSERT_EQ(table_->UpdateItem(group.Get()), S_OK);
  EXPECT_EQ(Store().Categories()[1].name, "Golf club");

  ASSERT_EQ(table_->DeleteItem(group.Get()), S_OK);  // lists the categories again
  ASSERT_EQ(Store().Categories().size(), 1u);
  EXPECT_TRUE(SawLine("CItemWMPBGroup::SchemaConvertItem2Map") ||
              SawLine("[QWBDCAWM]CItemWMPBGroup::SchemaConvertItem2Map\n"));

  // Other item types are refused without a word to the phone.
  ComPtr<IItem> sim;
  EXPECT_EQ(table_->NewItem(DCADT_PHONEBOOK_SIM, SUID_NULL, SUID_NULL, sim.ReleaseAndGetAddressOf()),
            E_FAIL);
}

TEST_F(PhonebookE2E, RetriesFailedContactWritesOnAFreshStream) {
  // 0 to 3 failed attempts end in success, a fourth is final.
  for (int failures = 0; failures <= 4; ++failures) {
    SCOPED_TRACE(failures);
    ClearLines();
    Emu().faults().Clear();
    Emu().faults().FailNextHr("DevCeAddContact", failures, static_cast<int32_t>(0x80004005));
    ComPtr<IItem> item = NewContact(u"Retry");
    SUID id = SUID_NULL;
    HRESULT hr = table_->CreateItem(item.Get(), &id);
    for (int attempt = 0; attempt <= std::min(failures, 3); ++attempt)
      EXPECT_TRUE(SawLine("[CDataTableWMPhonebook::CreateItem]WM>> Retry Count= " +
                          std::to_string(attempt)));
    EXPECT_EQ(CountLines("[CDataTableWMPhonebook::CreateItem]WM>> pStream release and Restart "
                         "StartApplyAlldata"),
              std::min(failures, 3));
    if (failures < 4) {
      EXPECT_EQ(hr, S_OK);
      EXPECT_EQ(StoredText(id, "FirstName"), "Retry");
    } else {
      EXPECT_EQ(hr, static_cast<HRESULT>(0x80004005));
      EXPECT_EQ(TakeErrorSource(), "CDataTableWMPhonebook::CreateItem");
      EXPECT_TRUE(SawLine("[CDataTableWMPhonebook::CreateItem] DevCeAddContact hr = 0x80004005\n"));
    }
  }
  EXPECT_EQ(Contacts().List().size(), 4u);
}

TEST_F(PhonebookE2E, ContactWriteFailuresThatEndAtOnce) {
  // 0x80070018 from the phone: one attempt, reported as the module error 50000.
  Emu().faults().FailNextHr("DevCeAddContact", 1, static_cast<int32_t>(0x80070018));
  ComPtr<IItem> item = NewContact(u"Once");
  EXPECT_EQ(table_->CreateItem(item.Get(), nullptr), static_cast<HRESULT>(0x8004C350));
  EXPECT_EQ(TakeErrorSource(), "CDataTableWMPhonebook::CreateItem");
  EXPECT_FALSE(SawLine("[CDataTableWMPhonebook::CreateItem]WM>> Retry Count= 1"));
  EXPECT_TRUE(Contacts().List().empty());

  // A reopen of the stream that fails stops the loop with its HRESULT (a refused stream
  // answers E_FAIL).
  ClearLines();
  Emu().faults().FailNextHr("DevCeAddContact", 1, static_cast<int32_t>(0x80004005));
  Emu().faults().FailNextHr("DevCeApplyAllData", 1, static_cast<int32_t>(0x80070005));
  EXPECT_EQ(table_->CreateItem(item.Get(), nullptr), E_FAIL);
  EXPECT_TRUE(SawLine("[CDataTableWMPhonebook::CreateItem]WM>> Retry Count= 1"));
  EXPECT_FALSE(SawLine("[CDataTableWMPhonebook::CreateItem]WM>> Retry Count= 2"));

  // A stream dropped while the phone answers: the next attempt goes through.
  Emu().faults().DropOnCall(1, "DevCeAddContact");
  SUID id = SUID_NULL;
  EXPECT_EQ(table_->CreateItem(item.Get(), &id), S_OK);
  EXPECT_EQ(StoredText(id, "FirstName"), "Once");

  // Replacing a contact the phone no longer has.
  Contacts().Delete(static_cast<uint32_t>(id));
  EXPECT_EQ(table_->UpdateItem(item.Get()), static_cast<HRESULT>(0x80070490));
}

TEST_F(PhonebookE2E, BrokenRepliesFailCleanlyAndTheStreamRecovers) {
  Store().AddCategory("Work");
  Seed({Property::String("FirstName", "A")});
  Seed({Property::String("FirstName", "B")});
  // The entry-id list cut short: the listing fails, the next one works on a fresh stream.
  Emu().faults().DropAfterBytes(6);
  EXPECT_TRUE(FAILED(table_->ListItemsAllBegin()));
  Emu().faults().Clear();
  EXPECT_EQ(ListAll().size(), 3u);

  // L = 0 for a contact: that NextItem fails, the listing goes on with the same contact.
  ASSERT_EQ(table_->ListItemsAllBegin(), S_OK);
  ASSERT_TRUE(Next());  // the group
  Emu().faults().FailNextHr("DevCeGetContact", 1, static_cast<int32_t>(0x80004005));
  ComPtr<IItem> item;
  EXPECT_TRUE(FAILED(table_->NextItem(item.ReleaseAndGetAddressOf())));
  EXPECT_FALSE(item);
  EXPECT_TRUE(SawLine("[CDataTableWMPhonebook::GetPhonebookItem]WM>> pStream->Read 3 hr=0x0"));
  item = Next();
  ASSERT_TRUE(item);
  EXPECT_EQ(Text(item.Get(), u"FIRST_NAME"), u"A");
  EXPECT_TRUE(Next());
  EXPECT_FALSE(Next());
}

TEST_F(PhonebookE2E, SyncStatusReleasesTheStream) {
  const std::string opened = "[QWBDCAWM]CeRapiInvoke DevCeApplyAllData hr = 0x0\n";
  ClearLines();
  ListAll();
  EXPECT_EQ(table_->SetSyncStatus(DCASS_START), S_OK);
  ListAll();
  EXPECT_EQ(CountLines(opened), 0);  // still the stream GetDataTable opened
  EXPECT_EQ(table_->SetSyncStatus(DCASS_END), S_OK);
  EXPECT_TRUE(SawLine("[QWBDCAWM]WM>> Release pStream\n"));
  ListAll();
  EXPECT_EQ(CountLines(opened), 1);
  EXPECT_EQ(table_->SetSyncStatus(DCASS_STOP), S_OK);
  EXPECT_EQ(table_->SetSyncStatus(DCASS_END), S_OK);  // no stream: only the line
  EXPECT_EQ(CountLines("[QWBDCAWM]WM>> Release pStream\n"), 3);
}

// ---- Photos ----------------------------------------------------------------------------------

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes ReadBytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}
void WriteBytes(const fs::path& p, const Bytes& b) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}
// Width and height from a JPEG's frame header; {0, 0} when there is none.
std::pair<int, int> JpegSize(const Bytes& b) {
  for (size_t i = 2; i + 9 < b.size();) {
    if (b[i] != 0xFF) break;
    const uint8_t marker = b[i + 1];
    const size_t length = size_t(b[i + 2]) << 8 | b[i + 3];
    if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2)
      return {b[i + 7] << 8 | b[i + 8], b[i + 5] << 8 | b[i + 6]};
    i += 2 + length;
  }
  return {0, 0};
}

class PhonebookPhotoE2E : public PhonebookE2E {
 protected:
  void SetUp() override {
    PhonebookE2E::SetUp();
    pc_ = phone_->folder() / "pictures";
    fs::create_directories(pc_);
    cache_ = phone_->folder() / "appdata" / "Tolvane" / "Orvanta" / "Photo_Phonebook_WM";
    fs::remove_all(cache_);
  }
  std::u16string Picture(const char* name, const Bytes& bytes) {
    WriteBytes(pc_ / name, bytes);
    const std::string p = (pc_ / name).string();
    return std::u16string(p.begin(), p.end());
  }
  static std::optional<Bytes> StoredPicture(SUID id) {
    for (const Property& p : Contacts().Get(static_cast<uint32_t>(id)).value_or(Props{}))
      if (p.name == "Picture") return p.value;
    return std::nullopt;
  }
  static fs::path LocalPath(IItem* item) {
    std::u16string p = Text(item, u"PHOTO_LOCAL_PATH");
    return fs::path(std::string(p.begin(), p.end()));
  }
  fs::path pc_, cache_;
};

// A contact created with a photo, read back, changed, changed again: the phone keeps what
// was sent, the PC's file of it changes its name at every change.
TEST_F(PhonebookPhotoE2E, PhotosTravelAndTheCachedFileFollowsEveryChange) {
  const Bytes wide = wmemu::SampleJpeg(216, 144, 1);  // reduced to 108 x 72
  const Bytes small = wmemu::SamplePng(100, 100, 2);  // sent as it is
  const Bytes tall = wmemu::SampleJpeg(50, 300, 3);   // reduced to 24 x 144

  ComPtr<IItem> item = NewContact(u"Photo");
  Set(item.Get(), u"PHOTO_LOCAL_PATH", Variant::Str(Picture("wide.jpg", wide)));
  SUID id = SUID_NULL;
  ASSERT_EQ(table_->CreateItem(item.Get(), &id), S_OK);
  char name[32];
  std::snprintf(name, sizeof name, "Image%04d", static_cast<int>(id));
  const fs::path first = cache_ / (std::string(name) + ".jpg");
  const fs::path second = cache_ / (std::string(name) + "_1.jpg");

  auto stored = StoredPicture(id);
  ASSERT_TRUE(stored);
  EXPECT_EQ(JpegSize(*stored), (std::pair<int, int>{108, 72}));
  // Read back after the create: the stored picture in its cached file.
  EXPECT_EQ(Text(item.Get(), u"PHOTO_TYPE"), u"IMAGE_PHOTO");
  EXPECT_EQ(Narrow(Text(item.Get(), u"PHOTO")), std::string(name) + ".jpg");
  EXPECT_EQ(LocalPath(item.Get()), first);
  EXPECT_EQ(ReadBytes(first), *stored);
  EXPECT_FALSE(fs::exists(cache_ / "ImageTemp.jpg"));
  EXPECT_TRUE(SawLine("[CDataTableWMPhonebook::makeRapiPacket]WM>> picture exist!"));
  EXPECT_TRUE(SawLine("[CDataTableWMPhonebook::makeRapiPacket]WM>> SaveJPG : " +
                      (cache_ / "ImageTemp.jpg").string() + " is 1"));

  // A listing finds the same file unchanged.
  std::vector<ComPtr<IItem>> listed = ListAll();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(LocalPath(listed[0].Get()), first);

  // Sent again as the cached file: the picture fits, so the same bytes travel and the path
  // stays.
  ASSERT_EQ(table_->UpdateItem(item.Get()), S_OK);
  EXPECT_EQ(StoredPicture(id), stored);
  EXPECT_EQ(LocalPath(item.Get()), first);

  // Changed to a small PNG: sent byte for byte, cached under the second name.
  Set(item.Get(), u"PHOTO_LOCAL_PATH", Variant::Str(Picture("small.png", small)));
  ASSERT_EQ(table_->UpdateItem(item.Get()), S_OK);
  EXPECT_EQ(StoredPicture(id), small);
  EXPECT_EQ(LocalPath(item.Get()), second);
  EXPECT_EQ(Narrow(Text(item.Get(), u"PHOTO")), std::string(name) + ".jpg");
  EXPECT_EQ(ReadBytes(second), small);
  EXPECT_FALSE(fs::exists(first));
  EXPECT_TRUE(SawLine("[CDataTableWMPhonebook::makeRapiPacket]WM>> CopyJPG : " +
                      (pc_ / "small.png").string() + " to " + (cache_ / "ImageTemp.jpg").string() +
                      " is 1"));

  // Changed again: back to the first name.
  Set(item.Get(), u"PHOTO_LOCAL_PATH", Variant::Str(Picture("tall.jpg", tall)));
  ASSERT_EQ(table_->UpdateItem(item.Get()), S_OK);
  stored = StoredPicture(id);
  ASSERT_TRUE(stored);
  EXPECT_EQ(JpegSize(*stored), (std::pair<int, int>{24, 144}));
  EXPECT_EQ(LocalPath(item.Get()), first);
  EXPECT_EQ(ReadBytes(first), *stored);
  EXPECT_FALSE(fs::exists(second));

  // No path: the contact goes without a picture.
  Set(item.Get(), u"PHOTO_LOCAL_PATH", Variant::Str(u""));
  ASSERT_EQ(table_->UpdateItem(item.Get()), S_OK);
  EXPECT_FALSE(StoredPicture(id));
  EXPECT_EQ(Text(item.Get(), u"PHOTO_TYPE"), u"NONE");
}

// A write retried on a fresh stream sends the picture again.
TEST_F(PhonebookPhotoE2E, RetriedWritesSendThePictureAgain) {
  const Bytes small = wmemu::SamplePng(40, 40, 7);
  Emu().faults().FailNextHr("DevCeAddContact", 2, static_cast<int32_t>(0x80004005));
  ComPtr<IItem> item = NewContact(u"Retry");
  Set(item.Get(), u"PHOTO_LOCAL_PATH", Variant::Str(Picture("retry.png", small)));
  SUID id = SUID_NULL;
  ASSERT_EQ(table_->CreateItem(item.Get(), &id), S_OK);
  EXPECT_TRUE(SawLine("[CDataTableWMPhonebook::CreateItem]WM>> Retry Count= 2"));
  EXPECT_EQ(StoredPicture(id), small);
}

// Hostile or missing picture files never fail the contact: it is stored without a picture.
TEST_F(PhonebookPhotoE2E, BrokenPictureFilesNeverFailTheContact) {
  const Bytes jpeg = wmemu::SampleJpeg(300, 200, 4);
  const std::pair<const char*, Bytes> files[] = {
      {"truncated.jpg", Bytes(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() / 3))},
      {"empty.jpg", {}},
      {"text.png", Bytes{'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'}},
  };
  for (const auto& [file, bytes] : files) {
    SCOPED_TRACE(file);
    ComPtr<IItem> item = NewContact(u"Broken");
    Set(item.Get(), u"PHOTO_LOCAL_PATH", Variant::Str(Picture(file, bytes)));
    SUID id = SUID_NULL;
    ASSERT_EQ(table_->CreateItem(item.Get(), &id), S_OK);
    EXPECT_EQ(StoredText(id, "FirstName"), "Broken");
    EXPECT_FALSE(StoredPicture(id));
    EXPECT_EQ(Text(item.Get(), u"PHOTO_TYPE"), u"NONE");
  }
  ComPtr<IItem> item = NewContact(u"Missing");
  Set(item.Get(), u"PHOTO_LOCAL_PATH", Variant::Str(u"/nonexistent/picture.jpg"));
  SUID id = SUID_NULL;
  ASSERT_EQ(table_->CreateItem(item.Get(), &id), S_OK);
  EXPECT_FALSE(StoredPicture(id));
  EXPECT_TRUE(SawLine("[CDataTableWMPhonebook::makeRapiPacket]WM>> picture does not exist"));
}

// Groups carry every column of their schema after listing, creating and renaming.
TEST_F(PhonebookE2E, GroupItemsHaveEveryColumn) {
  const uint32_t work = *Store().AddCategory("Work");
  auto check = [&](IItem* g, SUID id, const std::u16string& name) {
    EXPECT_EQ(TypeOf(g), DCADT_GROUP);
    EXPECT_EQ(IdOf(g), id);
    EXPECT_EQ(Get(g, u"SUID").Get().lVal, id);
    EXPECT_EQ(Text(g, u"ATTRIBUTE"), u"NORMAL");
    EXPECT_EQ(Text(g, u"NAME"), name);
    EXPECT_EQ(Text(g, u"PHOTO_TYPE"), u"NONE");
    for (const char16_t* empty : {u"RINGTON_TYPE", u"RINGTON", u"MESSAGETON", u"PHOTO",
                                  u"PHOTO_LOCAL_PATH", u"GROUP_PROPERTY", u"DB_LEDTYPE", u"PGUID",
                                  u"ITEM_STATE", u"REJECT"})
      EXPECT_EQ(Text(g, empty), u"") << Narrow(empty);
    // The text "0" as the table gives it, also in the columns the schema types as numbers.
    for (const char16_t* zero : {u"MESSAGETON_TYPE", u"VCARD_IMAGE_TYPE", u"PTIMESTAMP",
                                 u"SAVE_TIME"})
      EXPECT_EQ(Text(g, zero), u"0") << Narrow(zero);
    for (const char16_t* zero : {u"PCFLAG", u"WEBFLAG", u"MODE"}) {
      Variant v = Get(g, zero);
      EXPECT_EQ(v.vt(), VT_I4) << Narrow(zero);
      EXPECT_EQ(v.Get().lVal, 0) << Narrow(zero);
    }
    EXPECT_EQ(Get(g, u"ICON_GROUP_INDEX").Get().lVal, 255);
    EXPECT_EQ(Get(g, u"ICON_INDEX").Get().lVal, 255);
  };
  std::vector<ComPtr<IItem>> listed = ListAll();
  ASSERT_EQ(listed.size(), 1u);
  check(listed[0].Get(), static_cast<SUID>(work), u"Work");

  ComPtr<IItem> group;
  ASSERT_EQ(table_->NewItem(DCADT_GROUP, SUID_NULL, SUID_NULL, group.ReleaseAndGetAddressOf()),
            S_OK);
  Set(group.Get(), u"NAME", Variant::Str(u"\uAC00\uC871"));  // 가족
  Set(group.Get(), u"RINGTON", Variant::Str(u"\\Windows\\Ring.wav"));  // not kept by the phone
  SUID id = SUID_NULL;
  ASSERT_EQ(table_->CreateItem(group.Get(), &id), S_OK);
  check(group.Get(), id, u"\uAC00\uC871");

  Set(group.Get(), u"NAME", Variant::Str(u"Family"));
  Set(group.Get(), u"ICON_INDEX", Variant::I4(3));
  ASSERT_EQ(table_->UpdateItem(group.Get()), S_OK);
  check(group.Get(), id, u"Family");
}

}  // namespace
