// The qwbdcawm binary's SMS and SIM commands against an emulator this test runs in process:
// messages.xml read back with an XML parser, sim-contacts.vcf, sending and saving, and the SIM
// card's capacity seen from the command line.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "emulator/MessageStore.h"
#include "emulator/SimStore.h"
#include "emulator/Text.h"
#include "host/Component.h"
#include "tests/support/CliRun.h"
#include "tests/support/ItemAccess.h"
#include "link/DeviceRecord.h"
#include "wincompat/com.h"

namespace {

using devrec::Property;
namespace fs = std::filesystem;

using Outcome = qwbtest::CliRun;
using qwbtest::Quote;
using qwbtest::ReadFile;

// A local date and time as an OLE date.
using qwbtest::At;

class MessagingCli : public qwbtest::CliSuite<MessagingCli> {
 protected:
  static void SetUpTestSuite() {
    StartPhone("empty", "Aster W1");
    setenv("TZ", "KST-9", 1);
  }
  void SetUp() override {
    Emu().Control(R"({"cmd":"clear"})");
    wmemu::MessageStore messages(Emu().image());
    wmemu::SimStore sim(Emu().image());
    Emu().image().Transaction([] {
      Emu().image().Exec(
          "DELETE FROM messages; DELETE FROM sim_messages; DELETE FROM sim_contacts;"
          "DELETE FROM meta WHERE key = 'sim_capacity';");
    });
  }

  static void SeedSms(uint32_t folder, const std::string& from, const std::string& to,
                      const std::string& text, double utc) {
    std::vector<Property> props = {Property::String("PR_SUBJECT", text),
                                   Property::Date("PR_MESSAGE_DELIVERY_TIME", utc)};
    if (!from.empty()) props.push_back(Property::String("PR_SENDER_EMAIL_ADDRESS", from));
    if (!to.empty()) props.push_back(Property::String("PR_EMAIL_ADDRESS", to));
    std::vector<devrec::RawEntry> raw;
    for (const auto& p : props) raw.push_back({p.name, devrec::LookupType(4, p.name), p.value});
    wmemu::MessageStore(Emu().image()).Add(4, folder, 0, raw);
  }
};

TEST_F(MessagingCli, ExportWritesMessagesXmlAndSimVCards) {
  const std::string tricky = "<b>\"Tom & Jerry\"</b> \xED\x95\x9C \xF0\x9F\x98\x80";
  std::string long160(160, 'x');
  SeedSms(1, "010-5555-0101", "010-2048-7731", tricky, At(2008, 10, 3, 9, 41, 7));
  SeedSms(4, "", "010-5555-0102", long160, At(2008, 10, 4));
  SeedSms(2, "", "010-5555-0103", "draft", At(2008, 10, 4));
  SeedSms(3, "", "010-5555-0104", "outbox", At(2008, 10, 4));
  wmemu::MessageStore(Emu().image()).PutSim(3, {"010-5555-0105", "on the SIM", At(2007, 12, 1, 3, 20)});
  wmemu::SimContact c;
  c.name = "Park, Ji; Won";
  c.number = "010-1";
  c.additional = {"02-1"};
  wmemu::SimStore(Emu().image()).Add(c, 7);

  fs::path out = phone_->folder() / "export";
  fs::remove_all(out);
  Outcome r = Qwb("export " + Quote(out.string()) + " --only sms --only sim-contacts");
  ASSERT_EQ(r.exit, 0) << r.err;

  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((out / "messages.xml").c_str())) << ReadFile(out / "messages.xml");
  pugi::xml_node smses = doc.child("smses");
  EXPECT_EQ(smses.attribute("count").as_int(), 5);
  struct Want {
    std::string address;
    long long date;
    int type;
    std::string body;
  };
  const std::vector<Want> want = {{"010-5555-0101", 1223026867000, 1, tricky},
                                  {"010-5555-0103", 1223078400000, 3, "draft"},
                                  {"010-5555-0104", 1223078400000, 4, "outbox"},
                                  {"010-5555-0102", 1223078400000, 2, long160},
                                  {"010-5555-0105", 1196479200000, 1, "on the SIM"}};
  size_t i = 0;
  for (pugi::xml_node sms : smses.children("sms")) {
    ASSERT_LT(i, want.size());
    SCOPED_TRACE(i);
    EXPECT_EQ(std::string(sms.attribute("address").value()), want[i].address);
    EXPECT_EQ(sms.attribute("date").as_llong(), want[i].date);
    EXPECT_EQ(sms.attribute("type").as_int(), want[i].type);
    EXPECT_EQ(std::string(sms.attribute("body").value()), want[i].body);
    EXPECT_EQ(sms.attribute("read").as_int(), 1);
    ++i;
  }
  EXPECT_EQ(i, want.size());

  std::string vcf = ReadFile(out / "sim-contacts.vcf");
  EXPECT_NE(vcf.find("FN:Park\\, Ji\\; Won\r\n"), std::string::npos) << vcf;
  EXPECT_NE(vcf.find("TEL;TYPE=cell,pref:010-1\r\nTEL;TYPE=cell:02-1\r\n"), std::string::npos)
      << vcf;
  EXPECT_NE(r.err.find("wrote 5 messages"), std::string::npos) << r.err;
}

TEST_F(MessagingCli, SendSaveAndList) {
  Outcome sent = Qwb("sms send --to 010-5555-0101 " + Quote("Hi \xF0\x9F\x98\x80"));
  ASSERT_EQ(sent.exit, 0) << sent.err;
  Outcome saved =
      Qwb("sms save --folder inbox --from 010-9 --date '2008-11-02 18:30' " + Quote("kept"));
  ASSERT_EQ(saved.exit, 0) << saved.err;
  Outcome list = Qwb("sms list --json");
  ASSERT_EQ(list.exit, 0) << list.err;
  auto j = nlohmann::json::parse(list.out);
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[0]["folder"], "Inbox");
  EXPECT_EQ(j[0]["sender"], "010-9");
  EXPECT_EQ(j[0]["date"], "2008-11-02T18:30:00");
  EXPECT_EQ(j[1]["folder"], "Sent");
  EXPECT_EQ(j[1]["text"], "Hi \xF0\x9F\x98\x80");
  Outcome sentOnly = Qwb("sms list --folder SENT");
  EXPECT_EQ(sentOnly.out.find("kept"), std::string::npos);
  EXPECT_NE(sentOnly.out.find("010-5555-0101"), std::string::npos);

  // Usage errors exit with 2 before the phone is asked.
  EXPECT_EQ(Qwb("sms list --folder Trash").exit, 2);
  EXPECT_EQ(Qwb("sms send text-without-recipient").exit, 2);
  EXPECT_EQ(Qwb("sms save --date yesterday x").exit, 2);

  // A phone of another family keeps nothing saved from the PC: said, exit 1.
  Emu().registry().SetString(0x80000002u, u"Ident", u"OrigName", u"Hanul HL-300");
  Outcome refused = Qwb("sms save --to 010-1 x");
  EXPECT_EQ(refused.exit, 1);
  EXPECT_NE(refused.err.find("did not keep"), std::string::npos) << refused.err;
  Emu().registry().SetString(0x80000002u, u"Ident", u"OrigName", u"Aster W1");
}

TEST_F(MessagingCli, SimContactsUpToAndPastCapacity) {
  wmemu::SimStore(Emu().image()).SetCapacity(2);
  Outcome a = Qwb("sim add --name " + Quote("\xEA\xB9\x80\xEB\xAF\xBC\xEC\x88\x98") +
                  " --number 010-1 --number 02-1 --email k@example.kr");
  ASSERT_EQ(a.exit, 0) << a.err;
  EXPECT_EQ(a.out, "1\n");
  Outcome tooLong = Qwb("sim add --name ABCDEFGHIJKLMNO --number 1");
  EXPECT_EQ(tooLong.exit, 1);
  EXPECT_NE(tooLong.err.find("0x80042728"), std::string::npos) << tooLong.err;
  EXPECT_NE(tooLong.err.find("cannot hold"), std::string::npos) << tooLong.err;
  ASSERT_EQ(Qwb("sim add --name ABCDEFGHIJKLMN --number 1").exit, 0);
  Outcome full = Qwb("sim add --name Three --number 3");
  EXPECT_EQ(full.exit, 1);
  EXPECT_NE(full.err.find("full"), std::string::npos) << full.err;

  Outcome updated = Qwb("sim update 2 --name Two --number 22 --json");
  ASSERT_EQ(updated.exit, 0) << updated.err;
  EXPECT_EQ(nlohmann::json::parse(updated.out)["numbers"], nlohmann::json({"22"}));
  Outcome list = Qwb("sim list --json");
  auto j = nlohmann::json::parse(list.out);
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[0]["name"], "\xEA\xB9\x80\xEB\xAF\xBC\xEC\x88\x98");
  EXPECT_EQ(j[0]["numbers"], nlohmann::json({"010-1", "02-1"}));
  EXPECT_EQ(j[0]["email"], "k@example.kr");
  EXPECT_EQ(j[1]["name"], "Two");

  EXPECT_EQ(Qwb("sim delete 1").exit, 0);
  EXPECT_EQ(Qwb("sim delete 1").exit, 1) << "gone";
  // The use from the SIM table, the capacity from the device information (this card: two
  // positions, names of 14, numbers and e-mail addresses of 40).
  Outcome info = Qwb("sim info --json");
  ASSERT_EQ(info.exit, 0) << info.err;
  EXPECT_EQ(nlohmann::json::parse(info.out),
            nlohmann::json({{"used", 1}, {"total", 2}, {"maxNameLength", 14},
                            {"maxNumberLength", 40}, {"maxEmailLength", 40}}));
  Outcome text = Qwb("sim info");
  EXPECT_NE(text.out.find("max e-mail length:   40\n"), std::string::npos) << text.out;
}

}  // namespace

namespace {

TEST_F(MessagingCli, MmsGetSendAndExport) {
  wmemu::BuildDemoMms(Emu().image());
  setenv("APPDATA", (phone_->folder() / "appdata").c_str(), 1);
  Outcome list = Qwb("mms list --json");
  ASSERT_EQ(list.exit, 0) << list.err;
  auto j = nlohmann::json::parse(list.out);
  ASSERT_EQ(j.size(), 5u);
  const long first = j[0]["id"];

  // The body and its parts, split by the shared reader.
  fs::path got = phone_->folder() / "got";
  fs::remove_all(got);
  Outcome get = Qwb("mms get " + std::to_string(first) + " --out " + Quote(got.string()));
  ASSERT_EQ(get.exit, 0) << get.err;
  const std::string stem = (got / std::to_string(first)).string();
  auto stored = wmemu::MessageStore(Emu().image()).Get(uint32_t(first));
  ASSERT_TRUE(stored);
  for (const auto& p : stored->props) {
    if (p.name == "PR_MMS_BODY") {
      EXPECT_EQ(ReadFile(stem + ".mms"), std::string(p.value.begin(), p.value.end()));
    }
  }
  EXPECT_EQ(ReadFile(stem + "-IMG_0412.jpg").substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(ReadFile(stem + "-text.txt"), "\xEB\xB0\x94\xEB\x8B\xA4 \xEC\x83\x89\xEA\xB9\x94 \xEC\xA2\x80 \xEB\xB4\x90! \xEB\x8B\xA4\xEC\x9D\x8C\xEC\x97\x94 \xEA\xB0\x99\xEC\x9D\xB4 \xEA\xB0\x80\xEC\x9E\x90");

  // Sending a body file puts it in Sent; a missing file is a usage error.
  Outcome sent = Qwb("mms send --to 010-1 --subject hi " + Quote(stem + ".mms"));
  ASSERT_EQ(sent.exit, 0) << sent.err;
  EXPECT_EQ(wmemu::MessageStore(Emu().image()).List(5, 4).size(), 2u);
  EXPECT_EQ(Qwb("mms send --to 010-1 /nonexistent.mms").exit, 2);

  // The export: <mms> elements with their parts, raw bodies beside.
  fs::path out = phone_->folder() / "export-mms";
  fs::remove_all(out);
  ASSERT_EQ(Qwb("export " + Quote(out.string()) + " --only sms").exit, 0);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((out / "messages.xml").c_str()));
  size_t mms = 0, images = 0;
  for (pugi::xml_node m : doc.child("smses").children("mms")) {
    ++mms;
    for (pugi::xml_node part : m.child("parts").children("part"))
      if (std::string(part.attribute("ct").value()) == "image/jpeg") {
        ++images;
        EXPECT_EQ(std::string(part.attribute("data").value()).substr(0, 4), "/9j/");
      }
  }
  EXPECT_EQ(mms, 6u);
  EXPECT_GE(images, 3u);
  EXPECT_EQ(doc.child("smses").attribute("count").as_int(), 6);
  EXPECT_TRUE(fs::exists(out / "mms" / (std::to_string(first) + ".mms")));
}

}  // namespace
