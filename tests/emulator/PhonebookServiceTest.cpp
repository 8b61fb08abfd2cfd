// The phone's side of the phonebook stream, spoken to with raw packets: what the phone stores
// and answers, its refusals, and the faults it injects.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include "emulator/PhonebookStore.h"
#include "link/PhonebookPacket.h"
#include "tests/emulator/EmuTestUtil.h"

namespace wmemu::test {
namespace {

using Bytes = std::vector<uint8_t>;

class PhonebookService : public EmuFixture {
 protected:
  void SetUp() override {
    EmuFixture::SetUp();
    c_ = Connect();
    ASSERT_EQ(Words(c_->Invoke(u"QWBRapiServer", u"DevCeApplyAllData", {}, 1)), (W{0}));
  }
  void Send(const Bytes& b) { ASSERT_EQ(rapi2::SendAll(c_->fd(), b.data(), b.size()), rapi2::IoResult::kOk); }
  // Exactly n bytes of the reply, or what came before the stream closed.
  Bytes Read(size_t n) {
    Bytes out(n);
    size_t got = 0;
    while (got < n) {
      pollfd p{c_->fd(), POLLIN, 0};
      if (poll(&p, 1, 5000) <= 0) break;
      ssize_t r = recv(c_->fd(), out.data() + got, n - got, 0);
      if (r <= 0) break;
      got += static_cast<size_t>(r);
    }
    out.resize(got);
    return out;
  }
  // A whole reply: L and its body; L = 0 alone, or after a contact write with the error code.
  Bytes Reply(bool contactWrite = false) {
    Bytes l = Read(4);
    if (l.size() < 4) return l;
    Bytes body = Read(Word(l, 0) == 0 && contactWrite ? 4 : Word(l, 0));
    l.insert(l.end(), body.begin(), body.end());
    return l;
  }
  Bytes Exchange(const Bytes& request) {
    Send(request);
    return Reply(request.size() >= 4 && request[0] <= 1 && !request[1] && !request[2] && !request[3]);
  }
  bool Closed() {
    pollfd p{c_->fd(), POLLIN, 0};
    char b;
    // Unread bytes left behind make the close a reset.
    return poll(&p, 1, 5000) == 1 && recv(c_->fd(), &b, 1, 0) <= 0;
  }
  std::unique_ptr<Client> c_;
};

Bytes Contact(uint32_t command, uint32_t id, const std::string& first) {
  std::string value = first + '\0';
  pbpacket::PropertyRef props[] = {
      {"FirstName", reinterpret_cast<const uint8_t*>(value.data()), uint32_t(value.size())}};
  return pbpacket::ContactPacket(command, id, props);
}

TEST_F(PhonebookService, StoresAndAnswersLikeThePhone) {
  // Categories: names are unique, an empty or taken name is refused with L = 0.
  EXPECT_EQ(Exchange(pbpacket::CategoryWriteRequest(8, 0, "Work")), pbpacket::IdReply(1));
  EXPECT_EQ(Exchange(pbpacket::CategoryWriteRequest(8, 0, "Work")), pbpacket::IdReply(1));
  EXPECT_EQ(Exchange(pbpacket::CategoryWriteRequest(8, 0, "")), Bytes(4, 0));
  EXPECT_EQ(Exchange(pbpacket::CategoryWriteRequest(8, 0, "Golf")), pbpacket::IdReply(2));
  EXPECT_EQ(Exchange(pbpacket::CategoryWriteRequest(9, 2, "Work")), Bytes(4, 0));
  EXPECT_EQ(Exchange(pbpacket::CategoryWriteRequest(9, 2, "Golf club")), pbpacket::IdReply(2));
  EXPECT_EQ(Exchange(pbpacket::WordsRequest(7, {})),
            pbpacket::CategoryListReply({{1, "Work"}, {2, "Golf club"}}));

  // Contacts: stored as sent, read back whole, replaced only when they exist.
  Bytes added = Exchange(Contact(0, 0, "Ann"));
  ASSERT_EQ(added.size(), 8u);
  uint32_t id = Word(added, 1);
  EXPECT_EQ(Exchange(pbpacket::WordsRequest(3, {1, id})),
            pbpacket::ContactReply(id, {devrec::Property::String("FirstName", "Ann")}));
  EXPECT_EQ(Exchange(Contact(1, id, "Anna")), pbpacket::IdReply(id));
  EXPECT_EQ(Exchange(Contact(1, 999, "X")), pbpacket::ErrorReply(0x80070490));
  EXPECT_EQ(Exchange(pbpacket::WordsRequest(3, {1, 999})), Bytes(4, 0));
  // A packet that does not hold together: 0x80070018.
  EXPECT_EQ(Exchange(Bytes{0, 0, 0, 0, 12, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}),
            pbpacket::ErrorReply(0x80070018));
  EXPECT_EQ(Exchange(pbpacket::WordsRequest(6, {1})), pbpacket::EntryIdListReply({id}));

  // Speed dials: a number belongs to one telephone, only of a contact the phone has.
  Send(pbpacket::SpeedDialRequest(12, {5, id, 0x0096001F, u"Anna", u"010"}));
  Send(pbpacket::SpeedDialRequest(12, {5, id, 0x0099001F, u"Anna", u"02"}));
  Send(pbpacket::SpeedDialRequest(12, {6, 999, 0x0096001F, u"X", u"1"}));
  EXPECT_EQ(Exchange(pbpacket::WordsRequest(11, {})),
            pbpacket::SpeedDialListReply({{5, id, 0x0096001F, u"Anna", u"010"}}));
  Send(pbpacket::SpeedDialRequest(13, {5, id, 0x0099001F, u"Anna", u"02"}));
  EXPECT_EQ(Exchange(pbpacket::WordsRequest(11, {})),
            pbpacket::SpeedDialListReply({{5, id, 0x0099001F, u"Anna", u"02"}}));
  // Deleting a contact takes its speed dials.
  Send(pbpacket::WordsRequest(2, {1, id}));
  EXPECT_EQ(Exchange(pbpacket::WordsRequest(11, {})), pbpacket::SpeedDialListReply({}));
  EXPECT_EQ(Exchange(pbpacket::WordsRequest(6, {1})), pbpacket::EntryIdListReply({}));
}

TEST_F(PhonebookService, InjectedFaults) {
  emu_->faults().FailNextHr("DevCeAddContact", 1, static_cast<int32_t>(0x80004005));
  EXPECT_EQ(Exchange(Contact(0, 0, "Ann")), pbpacket::ErrorReply(0x80004005));
  emu_->faults().FailNextHr("DevCeListContacts", 1, static_cast<int32_t>(0x80004005));
  EXPECT_EQ(Exchange(pbpacket::WordsRequest(6, {1})), Bytes(4, 0));
  EXPECT_EQ(Exchange(pbpacket::WordsRequest(6, {1})), pbpacket::EntryIdListReply({}));
  // Cut mid-reply.
  emu_->faults().DropAfterBytes(6);
  Send(pbpacket::WordsRequest(7, {}));
  EXPECT_EQ(Read(8).size(), 6u);
  EXPECT_TRUE(Closed());
}

TEST_F(PhonebookService, ARequestItCannotFollowClosesTheStream) {
  Send(pbpacket::WordsRequest(4, {1}));
  EXPECT_TRUE(Closed());
}

}  // namespace
}  // namespace wmemu::test
