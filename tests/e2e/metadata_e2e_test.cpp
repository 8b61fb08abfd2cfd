// The metadata and voice memo tables end to end: host -> CoCreateInstance -> component ->
// librapi -> RAPI2 -> in-process emulator, on phones of each model family.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "emulator/DeviceFs.h"
#include "emulator/DeviceRegistry.h"
#include "emulator/Presets.h"
#include "host/Component.h"
#include "host/HostObjects.h"
#include "qwbdcawm/qwbdcawm.h"
#include "tests/support/ComponentHost.h"
#include "tests/support/ItemAccess.h"
#include "wincompat/com.h"
#include "wincompat/comptr.h"
#include "wincompat/testhooks.h"

namespace {

namespace fs = std::filesystem;

using qwbtest::Narrow;
using qwbtest::TakeErrorText;

std::u16string Wide(std::string_view s) { return std::u16string(s.begin(), s.end()); }

std::vector<uint8_t> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// One phone, seeded before the component first reaches it, and a host connected to it.
class Connected {
 public:
  explicit Connected(const std::string& preset, const std::string& model,
                     const std::function<void(wmemu::Image&)>& seed = {})
      : phone_(qwbtest::StartSuitePhone(preset, model)) {
    if (seed) seed(phone_->emulator().image());
    appData_ = phone_->folder() / "appdata";
    fs::create_directories(appData_ / "Tolvane" / "Orvanta");
    setenv("APPDATA", appData_.c_str(), 1);
    host_.emplace();
    host_->Connect(DTID_METADATA);
  }
  ~Connected() { host_.reset(); }
  ComPtr<IDataTable> Table(DATATABLE_SUID id) {
    ComPtr<IDataTable> t;
    EXPECT_EQ(host_->device()->GetDataTable(id, t.ReleaseAndGetAddressOf()), S_OK);
    return t;
  }
  wmemu::Emulator& emu() { return phone_->emulator(); }
  const fs::path& appData() const { return appData_; }
  // The component's debug lines from now on.
  void ClearLines() { host_->ClearLines(); }
  bool Saw(const std::string& line) { return host_->SawLine(line); }

 private:
  std::unique_ptr<qwbhost::EmulatedPhone> phone_;
  fs::path appData_;
  std::optional<qwbtest::ComponentHost> host_;
};

std::string Property(IDataTable* table, const char16_t* name, HRESULT* hr) {
  BStr value;
  *hr = table->GetProperty(BStr(name).Get(), value.Out());
  std::string out;
  for (char16_t c : value.Str()) out.push_back(static_cast<char>(c));  // ASCII documents
  return out;
}

struct Store {
  pugi::xml_node node;
  std::string MaxMem() const { return node.child("DSMem").child_value("MaxMem"); }
  pugi::xml_node Prop(const std::string& name) const {
    for (pugi::xml_node p : node.children("Property"))
      if (name == p.child_value("PropName")) return p;
    for (pugi::xml_node p : node.child("CTCap").children("Property"))
      if (name == p.child_value("PropName")) return p;
    return {};
  }
};
Store StoreOf(const pugi::xml_document& doc, const std::string& source) {
  for (pugi::xml_node s : doc.child("DevInf").children("DataStore"))
    if (source == s.child_value("SourceRef")) return {s};
  return {};
}

TEST(MetadataE2E, EveryModelFamilyAnswersItsDocument) {
  struct Case {
    const char* model;
    bool domestic;        // TEL_DIAL and START_DATE_TYPE
    const char* mmsSize;  // SIZE_MAX
    const char* mmsDebug; // debug line of a missing MMS setting, or null
  };
  const Case cases[] = {
      {"Hanul HD-100", true, "307200", nullptr},
      {"Aster W1", false, "307200", nullptr},
      {"Aster Pad M7", false, "307200",
       "[CDataTableWMMetadata::GetMMSMaxSize]PPC: ceReadReg4dword Error "},
      {"Hanul HS-200", true, "307200", nullptr},
      {"Hanul HL-300", true, "307200", nullptr},
      {"Hanul HK-400", true, "307200", nullptr},
      {"Aster S2", false, "307200", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    Connected phone("empty", c.model);
    ComPtr<IDataTable> table = phone.Table(DTID_METADATA);
    ASSERT_TRUE(table);
    phone.ClearLines();
    HRESULT hr = E_FAIL;
    const std::string text = Property(table.Get(), u"DevInf", &hr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(text.find("\r\n") != std::string::npos, true);
    EXPECT_EQ(text.find("\n\n"), std::string::npos);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(text.c_str()));
    EXPECT_STREQ(doc.child("DevInf").child_value("Man"), "Tolvane");
    EXPECT_STREQ(doc.child("DevInf").child_value("Mod"), c.model);
    EXPECT_EQ(static_cast<bool>(StoreOf(doc, "PHONEBOOK").Prop("TEL_DIAL")), c.domestic);
    EXPECT_EQ(static_cast<bool>(StoreOf(doc, "CALENDAR_EVENT").Prop("START_DATE_TYPE")),
              c.domestic);
    EXPECT_STREQ(StoreOf(doc, "MMS").Prop("SIZE_MAX").child_value("MaxSize"), c.mmsSize);
    if (c.mmsDebug) {
      EXPECT_TRUE(phone.Saw(c.mmsDebug));
    }
    // The SIM card of the emulator: 250 positions, names of 14, numbers of 40 and one
    // extra number and one e-mail of 40 per contact.
    Store sim = StoreOf(doc, "SIM_PHONEBOOK");
    EXPECT_EQ(sim.MaxMem(), "250");
    EXPECT_STREQ(sim.Prop("DISPLAY_NAME").child_value("MaxSize"), "14");
    EXPECT_STREQ(sim.Prop("TEL_NUM").child_value("MaxSize"), "40");
    EXPECT_STREQ(sim.Prop("TEL_NUM").child_value("MaxCntTelNum"), "1");
    EXPECT_STREQ(sim.Prop("TEL_NUM").child_value("MaxAnrLength"), "40");
    EXPECT_STREQ(sim.Prop("EMAIL_ADDR").child_value("MaxSize"), "40");
    EXPECT_EQ(StoreOf(doc, "PHONEBOOK").MaxMem(), "-1");
    EXPECT_EQ(StoreOf(doc, "PB_GROUP").MaxMem(), "50");

    EXPECT_EQ(Property(table.Get(), u"PRIVACY_LOCK", &hr), "0,0,0,0,0,0,0,0,0,0,0,0,0,0");
    EXPECT_EQ(hr, S_OK);
    // Names are exact; the out value of a refused name is left alone.
    for (const char16_t* name : {u"devinf", u"DEVINF", u"", u"Privacy_Lock"}) {
      BSTR untouched = reinterpret_cast<BSTR>(0x77);
      EXPECT_EQ(table->GetProperty(BStr(name).Get(), &untouched), E_FAIL);
      EXPECT_EQ(untouched, reinterpret_cast<BSTR>(0x77));
    }
    ComPtr<IItem> item;
    EXPECT_EQ(table->ListItemsAllBegin(), E_NOTIMPL);
  }
}

TEST(MetadataE2E, RegistryAndSimFallbacks) {
  // An "Aster W1" image renamed to the Smartphone model: model type 6 without its outgoing
  // size, a model name past the 99 bytes the table keeps, and no SIM answer.
  const std::string longName(130, 'Q');
  {
    Connected phone("empty", "Aster W1", [](wmemu::Image& image) {
      wmemu::DeviceRegistry(image).SetString(wmemu::kHkeyLocalMachine, u"Ident", u"OrigName",
                                             u"Aster S2");
    });
    ComPtr<IDataTable> table = phone.Table(DTID_METADATA);
    phone.emu().Control(R"({"cmd":"fail","name":"DevCePhonebookSIMInfo","hresult":"0x80004005"})");
    phone.ClearLines();
    HRESULT hr = E_FAIL;
    const std::string text = Property(table.Get(), u"DevInf", &hr);
    ASSERT_EQ(hr, S_OK);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(text.c_str()));
    EXPECT_STREQ(StoreOf(doc, "MMS").Prop("SIZE_MAX").child_value("MaxSize"), "302080");
    EXPECT_TRUE(phone.Saw("[CDataTableWMMetadata::GetMMSMaxSize]SP: ceReadReg4dword Error "));
    Store sim = StoreOf(doc, "SIM_PHONEBOOK");
    EXPECT_EQ(sim.MaxMem(), "1000");
    EXPECT_STREQ(sim.Prop("DISPLAY_NAME").child_value("MaxSize"), "255");
    EXPECT_STREQ(sim.Prop("TEL_NUM").child_value("MaxSize"), "255");
    EXPECT_STREQ(sim.Prop("TEL_NUM").child_value("MaxCntOfANR"), "0");
    EXPECT_FALSE(sim.Prop("EMAIL_ADDR"));

    // Every call gathers afresh: the SIM answers again, the outgoing size appears.
    phone.emu().Control(R"({"cmd":"clear"})");
    wmemu::DeviceRegistry(phone.emu().image())
        .SetDword(wmemu::kHkeyLocalMachine, u"Software\\Tolvane\\MMS\\Settings\\Send",
                  u"Outgoing Message Size", 600);
    ASSERT_TRUE(doc.load_string(Property(table.Get(), u"DevInf", &hr).c_str()));
    EXPECT_STREQ(StoreOf(doc, "MMS").Prop("SIZE_MAX").child_value("MaxSize"), "614400");
    EXPECT_EQ(StoreOf(doc, "SIM_PHONEBOOK").MaxMem(), "250");

    // A name longer than the table keeps; a phone gone still answers the privacy lock.
    wmemu::DeviceRegistry(phone.emu().image())
        .SetString(wmemu::kHkeyLocalMachine, u"Ident", u"OrigName", Wide(std::string(120, 'Q')));
    ASSERT_TRUE(doc.load_string(Property(table.Get(), u"DevInf", &hr).c_str()));
    EXPECT_EQ(std::string(doc.child("DevInf").child_value("Mod")), std::string(99, 'Q'));
    wmemu::DeviceRegistry(phone.emu().image())
        .SetString(wmemu::kHkeyLocalMachine, u"Ident", u"OrigName", Wide(longName));
    ASSERT_TRUE(doc.load_string(Property(table.Get(), u"DevInf", &hr).c_str()));
    EXPECT_STREQ(doc.child("DevInf").child_value("Mod"), "Tolvane-WM");  // 260 bytes: unread
    phone.emu().Control(R"({"cmd":"unplug"})");
    EXPECT_EQ(Property(table.Get(), u"PRIVACY_LOCK", &hr), "0,0,0,0,0,0,0,0,0,0,0,0,0,0");
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(Property(table.Get(), u"DevInf", &hr).substr(0, 5), "<?xml");
    EXPECT_EQ(hr, S_OK);
    phone.emu().Control(R"({"cmd":"replug"})");
  }
}

// ---- Voice memos --------------------------------------------------------------------------

struct Memo {
  SUID suid;
  std::u16string path, mode;
  DATE created;
};

std::vector<Memo> ListMemos(IDataTable* table, HRESULT* begin = nullptr) {
  std::vector<Memo> out;
  HRESULT hr = table->ListItemsAllBegin();
  if (begin) *begin = hr;
  if (FAILED(hr)) return out;
  ULONG count = 99;
  EXPECT_EQ(table->GetItemCount(nullptr, 0, DCADT_ALL, &count), S_OK);
  for (;;) {
    ComPtr<IItem> item;
    EXPECT_EQ(table->NextItem(item.ReleaseAndGetAddressOf()), S_OK);
    if (!item) break;
    DCADATATYPE type = DCADT_ALL;
    item->getType(&type);
    EXPECT_EQ(type, 19);  // DCADT_VOICEMEMO
    Memo m{};
    item->get_SUID(&m.suid);
    Variant v;
    EXPECT_EQ(item->GetValue(1, v.Ptr()), S_OK);  // FILE_PATH
    if (v.vt() == VT_BSTR) m.path = v.Get().bstrVal;
    EXPECT_EQ(item->GetValue(3, v.Ptr()), S_OK);  // MODE
    if (v.vt() == VT_BSTR) m.mode = v.Get().bstrVal;
    EXPECT_EQ(item->GetValue(4, v.Ptr()), S_OK);  // CREATE_DATE
    EXPECT_EQ(v.vt(), VT_DATE);
    m.created = v.Get().date;
    for (ULONG unset : {2u, 5u}) {  // NAME, ATTRIBUTE
      EXPECT_EQ(item->GetValue(unset, v.Ptr()), S_OK);
      EXPECT_EQ(v.vt(), VT_EMPTY);
    }
    out.push_back(m);
  }
  EXPECT_EQ(count, out.size());
  EXPECT_EQ(table->ListItemsEnd(), S_OK);
  return out;
}

DATE OleOf(int y, int mo, int d, int h, int mi) { return wmemu::OleDate(y, mo, d, h, mi); }

TEST(VoiceMemoE2E, CardFirstThenMainMemoryCopiedIntoTheLocalFolder) {
  // A phone with one SD card (found by the storage probe), in a zone far from UTC: the dates
  // come through as the phone keeps them.
  wincompat::SetTimeZoneRuleForTesting("KST-9");
  Connected phone("demo", "Hanul HD-100", [](wmemu::Image& image) {
    wmemu::DeviceFs fs(image);
    const uint64_t t = wmemu::FileTimeOf(2008, 11, 4, 7, 30);
    fs.PutFolder(u"\\My Documents\\AudioNote\\Old.amr", 0x10, t);  // a folder, not a memo
    fs.PutFile(u"\\My Documents\\AudioNote\\Empty.amr", {}, 0x20, t);
  });
  ComPtr<IDataTable> table = phone.Table(DTID_VOICEMEMO);
  ULONG count = 99;
  EXPECT_EQ(table->GetItemCount(nullptr, 0, DCADT_ALL, &count), S_OK);  // no search
  EXPECT_EQ(count, 0u);
  table->ListItemsEnd();

  phone.ClearLines();
  std::vector<Memo> memos = ListMemos(table.Get());
  const fs::path local = phone.appData() / "Tolvane" / "Orvanta" / "Voice_Memo_WM";
  ASSERT_EQ(memos.size(), 4u);
  // The card's first; within a folder, in the order the phone's search gives (by name).
  const char* names[] = {"Lecture.AMR", "Empty.amr", "Voice 001.amr", "Voice 002.amr"};
  const DATE dates[] = {OleOf(2008, 10, 21, 10, 0), OleOf(2008, 11, 4, 7, 30),
                        OleOf(2008, 10, 30, 8, 15), OleOf(2008, 11, 2, 14, 2)};
  const char* device[] = {"Storage Card/AudioNote/Lecture.AMR", nullptr,
                          "My Documents/AudioNote/Voice 001.amr",
                          "My Documents/AudioNote/Voice 002.amr"};
  for (size_t i = 0; i < memos.size(); ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(static_cast<size_t>(memos[i].suid), i);
    EXPECT_EQ(Narrow(memos[i].path), (local / names[i]).string());
    EXPECT_EQ(memos[i].mode, u"home");
    EXPECT_NEAR(memos[i].created, dates[i], 1e-6);
    if (device[i]) {
      std::vector<uint8_t> bytes = ReadAll(local / names[i]);
      EXPECT_EQ(bytes, ReadAll(phone.emu().image().fsRoot() / device[i]));
      EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "#!AMR\n");
    } else {
      EXPECT_FALSE(fs::exists(local / names[i]));  // an empty recording is listed, not copied
    }
  }
  EXPECT_FALSE(fs::exists(local / "notes.txt"));
  EXPECT_FALSE(fs::exists(local / "Recording 1.wav"));
  EXPECT_TRUE(phone.Saw("[QWBDCAWM]CDataTableWMVoiceMemo::ListItemsAllBegin(+)\n"));
  EXPECT_TRUE(phone.Saw("[QWBDCAWM]CDataTableWMVoiceMemo::NextItem(+)\n"));
  EXPECT_TRUE(phone.Saw("[QWBDCAWM]CDataTableWMVoiceMemo::NextItem(-)\n"));
  EXPECT_TRUE(phone.Saw("[QWBDCAWM]CDataTableWMVoiceMemo::GetItemCount\n"));
  EXPECT_TRUE(phone.Saw("[QWBDCAWM]CDataTableWMVoiceMemo::ListItemsEnd\n"));

  // Listing again copies again, over the earlier copies.
  std::ofstream(phone.emu().image().fsRoot() / "My Documents/AudioNote/Voice 001.amr",
                std::ios::binary | std::ios::app)
      << "\x3c";
  ASSERT_EQ(ListMemos(table.Get()).size(), 4u);
  EXPECT_EQ(ReadAll(local / "Voice 001.amr"),
            ReadAll(phone.emu().image().fsRoot() / "My Documents/AudioNote/Voice 001.amr"));

  // The table writes nothing to the phone.
  ComPtr<IItem> item;
  ASSERT_EQ(table->NewItem(DCADT_VOICEMEMO, static_cast<SUID>(7), SUID_NULL,
                           item.ReleaseAndGetAddressOf()),
            S_OK);
  SUID suid = SUID_NULL;
  item->get_SUID(&suid);
  EXPECT_EQ(static_cast<int>(suid), 7);
  SUID created = SUID_NULL;
  EXPECT_EQ(table->CreateItem(item.Get(), &created), E_NOTIMPL);
  EXPECT_EQ(table->UpdateItem(item.Get()), E_NOTIMPL);
  EXPECT_EQ(table->DeleteItem(item.Get()), E_NOTIMPL);
  wincompat::SetTimeZoneRuleForTesting("");
}

TEST(VoiceMemoE2E, WithoutACardAMissingFolderAndAnUnusableLocalFolder) {
  // A phone just out of its box with a few memos in main memory and no card.
  Connected phone("empty", "Aster W1", [](wmemu::Image& image) {
    wmemu::DeviceFs fs(image);
    const uint64_t t = wmemu::FileTimeOf(2009, 1, 2, 3, 4);
    fs.PutFolder(u"\\My Documents\\AudioNote", 0x10, t);
    fs.PutFile(u"\\My Documents\\AudioNote\\Memo.amr", {'#', '!', 'A', 'M', 'R', '\n', 0x3c},
               0x20, t);
    fs.PutFile(u"\\My Documents\\AudioNote\\memo.amr.txt", {'x'}, 0x20, t);
    fs.PutFile(u"\\My Documents\\AudioNote\\amr", {'x'}, 0x20, t);
  });
  ComPtr<IDataTable> table = phone.Table(DTID_VOICEMEMO);
  std::vector<Memo> memos = ListMemos(table.Get());
  ASSERT_EQ(memos.size(), 1u);
  EXPECT_NE(Narrow(memos[0].path).find("/Voice_Memo_WM/Memo.amr"), std::string::npos);

  // The local folder is made one level only: without its parent nothing is copied.
  fs::remove_all(phone.appData() / "Tolvane");
  EXPECT_TRUE(ListMemos(table.Get()).empty());

  // No AudioNote folder: the listing fails with error information.
  fs::remove_all(phone.emu().image().fsRoot() / "My Documents" / "AudioNote");
  HRESULT hr = S_OK;
  ListMemos(table.Get(), &hr);
  EXPECT_TRUE(FAILED(hr));
  const std::string text = TakeErrorText();
  EXPECT_NE(text.find("CDataTableWMVoiceMemo::ListItemsAllBegin"), std::string::npos) << text;
  ComPtr<IItem> item;
  EXPECT_EQ(table->NextItem(item.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_FALSE(item);
}

}  // namespace
