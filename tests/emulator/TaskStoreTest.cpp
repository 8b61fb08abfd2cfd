// The task store at the record level: DevCeList/Get/AddTask/ReplaceTask/Delete through the
// wire, with requests and expected replies built by the shared device record codec.
#include "EmuTestUtil.h"
#include "emulator/Image.h"
#include "emulator/RecordStore.h"
#include "emulator/Text.h"
#include "link/DeviceRecord.h"

namespace wmemu::test {
namespace {

using devrec::Property;

class TaskStore : public EmuFixture {
 protected:
  std::vector<uint8_t> Call(const char16_t* fn, const std::vector<uint8_t>& in) {
    if (!client_) client_ = Connect();
    return client_->Invoke(u"QWBRapiServer", fn, in);
  }
  // The output bytes of a successful call.
  static std::vector<uint8_t> Out(const std::vector<uint8_t>& r) {
    EXPECT_GE(r.size(), 12u);
    EXPECT_EQ(Word(r, 1), 0u);
    EXPECT_EQ(r.size(), 12u + Word(r, 2));
    return std::vector<uint8_t>(r.begin() + 12, r.end());
  }
  static std::vector<uint8_t> KindId(uint32_t kind, uint32_t id) {
    return {uint8_t(kind),    0, 0, 0, uint8_t(id), uint8_t(id >> 8), uint8_t(id >> 16),
            uint8_t(id >> 24)};
  }
  std::unique_ptr<Client> client_;
};

TEST_F(TaskStore, ReplaceIsWholeAndTheStoreSurvivesARestart) {
  // (Adding, reading, updating and deleting are driven end to end through the component.)
  const std::vector<Property> first = {Property::String("Subject", "first"),
                                       Property::Date("DueDate", 949998.0)};
  uint32_t id =
      Word(Out(Call(u"DevCeAddTask", devrec::EncodeRequest(3, devrec::kModeAdd, 0, first))), 0);
  // Replacing takes the whole new set: properties not sent are gone.
  const std::vector<Property> replaced = {Property::String("Subject", "renamed"),
                                          Property::Integer("Importance", 1)};
  auto out =
      Out(Call(u"DevCeReplaceTask", devrec::EncodeRequest(3, devrec::kModeReplace, id, replaced)));
  EXPECT_EQ(Words(out), (W{id}));
  client_.reset();
  emu_.reset();
  emu_ = Emulator::Open(dir_);
  address_ = emu_->Listen("tcp:127.0.0.1:0");
  EXPECT_EQ(Out(Call(u"DevCeGet", KindId(3, id))), devrec::EncodeReply(id, replaced));
  EXPECT_EQ(Words(Out(Call(u"DevCeList", {3, 0, 0, 0}))), (W{1, id}));
}

// An image made before records were kept packed: properties one row each, values in their
// SQLite types. Opening it packs them once; the replies are then byte for byte what the phone
// sent before.
TEST(RecordLayout, AnImageWithPropertyRowsIsPackedWhenOpened) {
  const std::filesystem::path dir = TempDir("layout");
  Image::Open(dir, true);
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir / "image.sqlite").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, R"(
        DROP TABLE records;
        CREATE TABLE records(id INTEGER PRIMARY KEY AUTOINCREMENT, kind INTEGER NOT NULL);
        CREATE TABLE record_props(id INTEGER NOT NULL, seq INTEGER NOT NULL,
                                  name TEXT NOT NULL, type INTEGER NOT NULL, value,
                                  PRIMARY KEY(id, seq)) WITHOUT ROWID;
        INSERT INTO records(id, kind) VALUES (5, 3), (6, 3), (7, 2);
        INSERT INTO record_props VALUES (5, 0, 'Subject', 1, 'Hi'), (5, 1, 'DueDate', 2, 2.0),
          (5, 2, 'Importance', 3, 1), (5, 3, 'Complete', 4, 65535), (5, 4, 'X', 5, x'0A0B0C'),
          (7, 0, 'Subject', 1, 'other kind');)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  for (int open = 0; open < 2; ++open) {  // the second open finds nothing left to pack
    auto image = Image::Open(dir);
    RecordStore tasks(*image, 3);
    std::vector<uint8_t> reply;
    ASSERT_TRUE(tasks.GetReply(5, &reply));
    const std::vector<uint8_t> expected = {
        5, 0, 0, 0,                                                  // the entry id
        8, 0, 0, 0, 'S', 'u', 'b', 'j', 'e', 'c', 't', 0,            // name
        3, 0, 0, 0, 'H', 'i', 0, 0,                                  // "Hi", its NUL, pad
        8, 0, 0, 0, 'D', 'u', 'e', 'D', 'a', 't', 'e', 0,            //
        8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40,                       // 2.0
        11, 0, 0, 0, 'I', 'm', 'p', 'o', 'r', 't', 'a', 'n', 'c', 'e', 0, 0,
        4, 0, 0, 0, 1, 0, 0, 0,                                      //
        9, 0, 0, 0, 'C', 'o', 'm', 'p', 'l', 'e', 't', 'e', 0, 0, 0, 0,
        2, 0, 0, 0, 0xFF, 0xFF, 0, 0,                                //
        2, 0, 0, 0, 'X', 0, 0, 0,                                    //
        3, 0, 0, 0, 0x0A, 0x0B, 0x0C, 0};
    EXPECT_EQ(reply, expected);
    ASSERT_TRUE(tasks.GetReply(6, &reply));  // a record without properties
    EXPECT_EQ(reply, (std::vector<uint8_t>{6, 0, 0, 0}));
    EXPECT_FALSE(tasks.GetReply(7, &reply));  // another store's record
    EXPECT_EQ(tasks.List(), (std::vector<uint32_t>{5, 6}));
  }
  std::filesystem::remove_all(dir);
}

TEST_F(TaskStore, BadRequestsAndOtherKinds) {
  auto req = devrec::EncodeRequest(3, devrec::kModeAdd, 0, {Property::String("Subject", "x")});
  auto twoClaimed = req;
  twoClaimed[4] = 2;
  // Stores this phone does not serve, short requests, a property running past the end, more
  // properties claimed than there are, an integer of two bytes: all E_INVALIDARG.
  const std::pair<const char16_t*, std::vector<uint8_t>> bad[] = {
      {u"DevCeList", {4, 0, 0, 0}},
      {u"DevCeDelete", KindId(4, 1)},
      {u"DevCeAddTask", devrec::EncodeRequest(2, devrec::kModeAdd, 0, {})},
      {u"DevCeGet", {3, 0, 0, 0}},
      {u"DevCeAddTask", std::vector<uint8_t>(req.begin(), req.end() - 3)},
      {u"DevCeAddTask", twoClaimed},
      {u"DevCeAddTask",
       devrec::EncodeRequest(3, devrec::kModeAdd, 0, {Property{"Importance", {1, 0}}})},
  };
  for (const auto& [fn, in] : bad) EXPECT_EQ(Word(Call(fn, in), 1), 0x80070057u) << Utf8(fn);
  // An empty record is a task without properties.
  auto out = Out(Call(u"DevCeAddTask", devrec::EncodeRequest(3, devrec::kModeAdd, 0, {})));
  EXPECT_EQ(Out(Call(u"DevCeGet", KindId(3, Word(out, 0)))).size(), 4u);
  EXPECT_EQ(Word(Out(Call(u"DevCeList", {3, 0, 0, 0})), 0), 1u);
}

}  // namespace
}  // namespace wmemu::test
