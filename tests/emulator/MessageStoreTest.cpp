// The phone's message store, SIM slots and SIM card at the wire: the list forms of the model
// families, reads by message id and entry ID, the card's refusals, and the demo phone's data.
#include "EmuTestUtil.h"
#include "emulator/MessageStore.h"
#include "emulator/SimStore.h"
#include "emulator/Text.h"
#include "link/DeviceRecord.h"
#include "link/MessageRecords.h"

namespace wmemu::test {
namespace {

using devrec::Property;

class MessageStoreWire : public EmuFixture {
 protected:
  std::vector<uint8_t> Call(const char16_t* fn, const std::vector<uint8_t>& in) {
    if (!client_) client_ = Connect();
    return client_->Invoke(u"QWBRapiServer", fn, in);
  }
  // The HRESULT word of a reply and, on success, the output bytes.
  static uint32_t Hr(const std::vector<uint8_t>& r) { return Word(r, 1); }
  static std::vector<uint8_t> Out(const std::vector<uint8_t>& r) {
    EXPECT_EQ(Hr(r), 0u);
    return r.size() > 12 ? std::vector<uint8_t>(r.begin() + 12, r.end()) : std::vector<uint8_t>{};
  }
  void Model(const char16_t* name) {
    emu_->registry().SetString(kHkeyLocalMachine, u"Ident", u"OrigName", name);
  }
  uint32_t Seed(uint32_t folder, uint16_t state, const std::string& text) {
    auto p = Property::String("PR_SUBJECT", text);
    return MessageStore(emu_->image())
        .Add(4, folder, state, {{p.name, devrec::kTypeString, p.value}});
  }
  std::unique_ptr<Client> client_;
};

TEST_F(MessageStoreWire, ListFormsByFamilyAndReads) {
  uint32_t a = Seed(1, kStateRead, "a"), hidden = Seed(1, kStateHidden, "h"),
           b = Seed(1, kStateUnread, "b");
  Seed(4, kStateRead, "sent");
  const std::vector<uint8_t> inbox = {4, 0, 0, 0, 1, 0, 0, 0};

  Model(u"Hanul HL-300");  // message ids, hidden ones left out
  EXPECT_EQ(Words(Out(Call(u"DevCeMessageList", inbox))), (W{4, 1, 2, a, b}));
  auto got = Out(Call(u"DevCeGetMessage", {4, 0, 0, 0, uint8_t(b), 0, 0, 0}));
  EXPECT_EQ(Word(got, 0), b);
  EXPECT_EQ(Word(got, 1), 1u);
  std::vector<devrec::RawEntry> props;
  EXPECT_EQ(devrec::ReadReply(got.data() + 4, got.size() - 4, 4, &props), devrec::ReadError::kOk);
  ASSERT_EQ(props.size(), 1u);
  EXPECT_EQ(devrec::ValueAsString(props[0]), "b");
  EXPECT_EQ(Hr(Call(u"DevCeGetMessage", {4, 0, 0, 0, uint8_t(hidden), 0, 0, 0})), 0x80070490u);

  Model(u"Aster W1");  // entry IDs carrying the message id in their last word
  auto list = Out(Call(u"DevCeMessageList", inbox));
  std::vector<devrec::EntryId> ids;
  ASSERT_EQ(devrec::ReadEntryIdList(list.data(), list.size(), &ids), devrec::ReadError::kOk);
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_EQ(ids[1].Suid(), b);
  EXPECT_EQ(Hr(Call(u"DevCeGetMessage", devrec::EncodeGetByEntryId(4, 1, ids[1]))), 0u);
  devrec::EntryId foreign = ids[1];
  foreign.bytes[5] ^= 0xFF;  // another store's entry ID
  EXPECT_EQ(Hr(Call(u"DevCeGetMessage", devrec::EncodeGetByEntryId(4, 1, foreign))), 0x80070490u);
  EXPECT_EQ(Words(Out(Call(u"DevCeMessageList", {5, 0, 0, 0, 1, 0, 0, 0}))), (W{5, 1, 0}));

  Model(u"Hanul HD-100");  // the stream family has no block list
  EXPECT_EQ(Hr(Call(u"DevCeMessageList", inbox)), 0x80004001u);
}

TEST_F(MessageStoreWire, SavingSendingAndTheirRefusals) {
  auto request = [](uint32_t folder, std::vector<Property> props) {
    return devrec::EncodeRequest(4, devrec::kModeReplace, folder, props);
  };
  const std::u16string tooLongForStream(513, u'x');
  struct {
    const char16_t* model;
    const char16_t* fn;
    std::vector<uint8_t> in;
    uint32_t hr, folder;
  } cases[] = {
      {u"Aster W1", u"DevCeSaveMessage", request(2, {Property::String("PR_SUBJECT", "d")}), 0, 2},
      {u"Aster W1", u"DevCeSendMessage",
       request(3, {Property::String("PR_EMAIL_ADDRESS", "010-1")}), 0, 4},
      {u"Aster W1", u"DevCeSendMessage", request(3, {Property::String("PR_SUBJECT", "x")}),
       0x82000201u, 0},
      {u"Aster W1", u"DevCeSaveMessage", request(5, {}), 0x80070057u, 0},
      {u"Hanul HD-100", u"DevCeSendMessage",
       request(3, {Property::String("PR_EMAIL_ADDRESS", "1"),
                   Property::String("PR_SUBJECT", Utf8(tooLongForStream))}),
       0x82000203u, 0},
  };
  for (const auto& c : cases) {
    Model(c.model);
    auto r = Call(c.fn, c.in);
    EXPECT_EQ(Hr(r), c.hr) << Utf8(c.fn);
    if (c.hr == 0) {
      auto stored = MessageStore(emu_->image()).Get(Word(Out(r), 0));
      ASSERT_TRUE(stored);
      EXPECT_EQ(stored->folder, c.folder);
    }
  }
}

TEST_F(MessageStoreWire, SimCardRefusesWhatItCannotHold) {
  SimStore sim(emu_->image());
  sim.SetCapacity(2);
  auto add = [&](uint32_t position, std::vector<Property> props) {
    return Call(u"DevCePhonebookSIMAdd", devrec::EncodeRequest(6, devrec::kModeReplace, position, props));
  };
  // The last of two counts is the one taken; the wanted free position is used.
  auto r = add(2, {Property::String("Name", "Kim"), Property::String("TelNumber", "1"),
                   Property::Integer("AdditionalNumCount", 0),
                   Property::String("AdditionalNum0", "2"),
                   Property::Integer("AdditionalNumCount", 1)});
  EXPECT_EQ(Words(Out(r)), (W{2}));
  ASSERT_TRUE(sim.Get(2));
  EXPECT_EQ(sim.Get(2)->additional, std::vector<std::string>{"2"});
  const std::pair<std::vector<Property>, uint32_t> refused[] = {
      {{Property::String("Name", std::string(15, 'n'))}, 0x88000068u},
      {{Property::String("Name", "x"), Property::String("TelNumber", std::string(41, '1'))},
       0x88000068u},
      {{Property::String("Name", "x"), Property::Integer("AdditionalNumCount", 2),
        Property::String("AdditionalNum0", "1"), Property::String("AdditionalNum1", "2")},
       0x88000068u},
      {{}, 0x88000068u},
  };
  for (const auto& [props, hr] : refused) EXPECT_EQ(Hr(add(0, props)), hr);
  // 14 Korean characters fit; the taken position gives way to the lowest free one.
  EXPECT_EQ(Words(Out(add(2, {Property::String("Name", Utf8(std::u16string(14, u'\uAC00')))}))),
            (W{1}));
  EXPECT_EQ(Hr(add(0, {Property::String("Name", "full")})), 0x88000340u);
  auto info = Out(Call(u"DevCePhonebookSIMInfo", {6, 0, 0, 0}));
  std::vector<devrec::RawEntry> props;
  devrec::ReadReply(info.data(), info.size(), 6, &props);
  devrec::SimCapacities caps;
  devrec::ReadSimCapacities(props, &caps);
  EXPECT_EQ(caps.words[0], 2u);
  EXPECT_EQ(caps.words[1], 2u);
  EXPECT_EQ(caps.words[3], 14u);
  EXPECT_EQ(Hr(Call(u"DevCePhonebookSIMReplace",
                    devrec::EncodeRequest(6, devrec::kModeReplace, 9, {Property::String("Name", "x")}))),
            0x80070490u);
}

TEST_F(MessageStoreWire, DemoPhoneHoldsAWorkingSetOfMessages) {
  TearDown();
  StartWith("demo", "Hanul HD-100");
  MessageStore store(emu_->image());
  size_t total = 0, hidden = 0, surrogates = 0, long160 = 0, multiPart = 0;
  for (uint32_t folder = 1; folder <= 4; ++folder) {
    auto messages = store.List(4, folder);
    EXPECT_FALSE(messages.empty()) << folder;
    for (const StoredMessage& m : messages) {
      ++total;
      hidden += m.state == kStateHidden;
      std::u16string text;
      for (const auto& p : m.props)
        if (p.name == "PR_SUBJECT") text = Utf16(devrec::ValueAsString(p));
      surrogates += text.find_first_of(u"\xD83D\xD83C") != std::u16string::npos;
      long160 += text.size() == 160;
      multiPart += text.size() > 160;
      EXPECT_LE(text.size(), kStreamPhoneMaxText) << "every message fits a stream record";
    }
  }
  EXPECT_GE(total, 300u);
  EXPECT_GE(hidden, 1u);
  EXPECT_GE(surrogates, 10u);
  EXPECT_GE(long160, 1u);
  EXPECT_GE(multiPart, 5u);
  EXPECT_EQ(store.SimUsed(), 6u);
  EXPECT_EQ(SimStore(emu_->image()).List().size(), 20u);
}

}  // namespace
}  // namespace wmemu::test
