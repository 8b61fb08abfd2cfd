// The task store at the record level: DevCeList/Get/AddTask/ReplaceTask/Delete through the
// wire, with requests and expected replies built by the shared device record codec.
#include "EmuTestUtil.h"
#include "emulator/Presets.h"
#include "emulator/TaskStore.h"
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

TEST_F(TaskStore, RecordsRoundTripAndReplaceWholly) {
  // No tasks: count 0.
  EXPECT_EQ(Out(Call(u"DevCeList", {3, 0, 0, 0})), std::vector<uint8_t>(4, 0));

  const std::vector<Property> props = {
      Property::String("Subject", "\xED\x9A\x8C\xEC\x9D\x98 prep"),  // UTF-8 kept byte for byte
      Property::String("Body", "abc"),
      Property::Date("StartDate", OleDate(2008, 11, 3)),
      Property::Date("DueDate", 949998.0),
      Property::Boolean("Complete", 1),
      Property::Integer("Importance", 3),
      Property::Boolean("ReminderSet", 0xFFFF),
      Property::Date("ReminderTime", OleDate(2008, 11, 2, 23, 30)),
      Property::Integer("RecurrPattern.RecurrenceType", -1),
  };
  auto out = Out(Call(u"DevCeAddTask", devrec::EncodeRequest(3, devrec::kModeAdd, 0, props)));
  ASSERT_EQ(out.size(), 4u);
  uint32_t id = Word(out, 0);
  auto second =
      Out(Call(u"DevCeAddTask", devrec::EncodeRequest(3, devrec::kModeAdd, 0,
                                                      {Property::String("Subject", "second")})));
  uint32_t id2 = Word(second, 0);
  EXPECT_GT(id2, id);

  EXPECT_EQ(Words(Out(Call(u"DevCeList", {3, 0, 0, 0}))), (W{2, id, id2}));

  // DevCeGet answers what was stored: the id, then the properties in order, a boolean sent
  // as 1 kept as true.
  std::vector<Property> kept = props;
  kept[4] = Property::Boolean("Complete", 0xFFFF);
  EXPECT_EQ(Out(Call(u"DevCeGet", KindId(3, id))), devrec::EncodeReply(id, kept));

  // Replacing takes the whole new set: properties not sent are gone.
  const std::vector<Property> replaced = {Property::String("Subject", "renamed"),
                                          Property::Integer("Importance", 1)};
  out =
      Out(Call(u"DevCeReplaceTask", devrec::EncodeRequest(3, devrec::kModeReplace, id, replaced)));
  EXPECT_EQ(Word(out, 0), id);
  EXPECT_EQ(Out(Call(u"DevCeGet", KindId(3, id))), devrec::EncodeReply(id, replaced));

  // Delete, then the id is unknown everywhere.
  EXPECT_EQ(Out(Call(u"DevCeDelete", KindId(3, id))).size(), 0u);
  for (const char16_t* fn : {u"DevCeGet", u"DevCeDelete"})
    EXPECT_EQ(Words(Call(fn, KindId(3, id))), (W{1168, uint32_t(kHrNotFound)}));
  auto r = Call(u"DevCeReplaceTask", devrec::EncodeRequest(3, devrec::kModeReplace, id, replaced));
  EXPECT_EQ(Word(r, 1), uint32_t(kHrNotFound));
  EXPECT_EQ(Words(Out(Call(u"DevCeList", {3, 0, 0, 0}))), (W{1, id2}));

  // The store survives a restart.
  client_.reset();
  emu_->Stop();
  emu_ = Emulator::Open(dir_);
  address_ = emu_->Listen("tcp:127.0.0.1:0");
  EXPECT_EQ(Out(Call(u"DevCeGet", KindId(3, id2))),
            devrec::EncodeReply(id2, {Property::String("Subject", "second")}));
}

TEST_F(TaskStore, BadRequestsAndOtherKinds) {
  auto req = devrec::EncodeRequest(3, devrec::kModeAdd, 0, {Property::String("Subject", "x")});
  auto twoClaimed = req;
  twoClaimed[4] = 2;
  // Stores this phone does not serve, short requests, a property running past the end, more
  // properties claimed than there are, an integer of two bytes: all E_INVALIDARG.
  const std::pair<const char16_t*, std::vector<uint8_t>> bad[] = {
      {u"DevCeList", {2, 0, 0, 0}},
      {u"DevCeGet", KindId(1, 1)},
      {u"DevCeDelete", KindId(4, 1)},
      {u"DevCeAddTask", devrec::EncodeRequest(2, devrec::kModeAdd, 0, {})},
      {u"DevCeList", {3, 0}},
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
