// What writes a listing or a document record by record: the list sink every listing command
// writes through, messages.xml written message by message, and the scratch document a
// streamed export is assembled in.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/Export.h"
#include "host/HostError.h"
#include "host/ListSink.h"
#include "host/MessagesCommand.h"

namespace qwbhost {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& p) {
  std::ostringstream ss;
  ss << std::ifstream(p, std::ios::binary).rdbuf();
  return ss.str();
}

struct Row {
  long id;
  std::string name;
};

TextTable Layout() {
  TextTable t({"ID", "NAME"});
  t.SetAlign(0, TextTable::Align::kRight);
  return t;
}

// The same records through the sink in each of its forms, and which maker it called.
TEST(ListSink, WritesTheAskedFormAndBuildsOnlyThat) {
  const std::vector<Row> rows = {{7, "Ann"}, {12, "\xEA\xB9\x80\xEB\xAF\xBC\xEC\xA4\x80"}};
  struct Case {
    const char* what;
    bool json;
    bool lines;  // whole lines after a header instead of a table
    size_t count;
    const char* text;
  };
  const Case cases[] = {
      {"table", false, false, 2, "ID  NAME\n 7  Ann\n12  \xEA\xB9\x80\xEB\xAF\xBC\xEC\xA4\x80\n"},
      {"empty table", false, false, 0, "ID  NAME\n"},
      {"json", true, false, 2,
       "[\n  {\n    \"id\": 7,\n    \"name\": \"Ann\"\n  },\n  {\n    \"id\": 12,\n"
       "    \"name\": \"\xEA\xB9\x80\xEB\xAF\xBC\xEC\xA4\x80\"\n  }\n]\n"},
      {"empty json", true, false, 0, "[]\n"},
      {"json with a line layout", true, true, 1, "[\n  {\n    \"id\": 7,\n    \"name\": \"Ann\"\n  }\n]\n"},
      {"lines", false, true, 2, "# id name\n7 Ann\n12 \xEA\xB9\x80\xEB\xAF\xBC\xEC\xA4\x80\n"},
      {"no lines", false, true, 0, "# id name\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::ostringstream out;
    int elements = 0, madeRows = 0;
    {
      ListSink sink = c.lines ? ListSink(out, c.json, std::string_view("# id name\n"))
                              : ListSink(out, c.json, Layout());
      for (size_t i = 0; i < c.count; ++i) {
        const Row& r = rows[i];
        auto element = [&] {
          ++elements;
          return nlohmann::json{{"id", r.id}, {"name", r.name}};
        };
        if (c.lines)
          sink.Add(element, [&] {
            ++madeRows;
            return std::to_string(r.id) + " " + r.name + "\n";
          });
        else
          sink.Add(element, [&] {
            ++madeRows;
            return std::vector<std::string>{std::to_string(r.id), r.name};
          });
      }
      sink.Finish();
    }
    EXPECT_EQ(out.str(), c.text);
    EXPECT_EQ(elements, c.json ? static_cast<int>(c.count) : 0);
    EXPECT_EQ(madeRows, c.json ? 0 : static_cast<int>(c.count));
  }
}

// Rows beyond the table's first page go out as they come, before the listing ends.
TEST(ListSink, TableRowsLeaveBeforeTheEnd) {
  std::ostringstream out;
  ListSink sink(out, false, Layout());
  for (size_t i = 0; i < TextTable::kStreamPage + 1; ++i)
    sink.Add([] { return nlohmann::json(); },
             [&] { return std::vector<std::string>{std::to_string(i), "x"}; });
  const std::string before = out.str();
  EXPECT_EQ(std::count(before.begin(), before.end(), '\n'),
            static_cast<long>(TextTable::kStreamPage + 2));
  sink.Finish();
  EXPECT_EQ(out.str(), before);
}

SmsRecord Sms(const char* folder, const char* sender, const char* receiver, const char* text) {
  SmsRecord m;
  m.id = 1;
  m.folder = folder;
  m.sender = sender;
  m.receiver = receiver;
  m.content = text;
  return m;
}

// messages.xml written one message at a time is the document a backup reader expects: the
// count in the opening element, two spaces a level, the party of the message's box, markup
// characters escaped.
TEST(MessagesXml, DocumentWrittenMessageByMessage) {
  const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
  EXPECT_EQ(SmsBackupXml({}), decl + "<smses count=\"0\" />\n");

  MmsRecord mms;
  mms.folder = "Sent";
  mms.sender = "";
  mms.receiver = "+447700900123";
  const std::string got =
      SmsBackupXml({Sms("Inbox", "010-5555-0101", "", "Tom & \"Jerry\" <3 \xEC\x95\x88\xEB\x85\x95"),
                    Sms("Outbox", "me", "02-123", "")},
                   {{mms, {}}});
  const std::string want =
      decl +
      "<smses count=\"3\">\n"
      "  <sms protocol=\"0\" address=\"010-5555-0101\" date=\"0\" type=\"1\" subject=\"null\" "
      "body=\"Tom &amp; &quot;Jerry&quot; &lt;3 \xEC\x95\x88\xEB\x85\x95\" toa=\"null\" "
      "sc_toa=\"null\" service_center=\"null\" read=\"1\" status=\"-1\" locked=\"0\" "
      "date_sent=\"0\" readable_date=\"\" />\n"
      "  <sms protocol=\"0\" address=\"02-123\" date=\"0\" type=\"4\" subject=\"null\" body=\"\" "
      "toa=\"null\" sc_toa=\"null\" service_center=\"null\" read=\"1\" status=\"-1\" "
      "locked=\"0\" date_sent=\"0\" readable_date=\"\" />\n"
      "  <mms date=\"0\" msg_box=\"2\" address=\"+447700900123\" sub=\"null\" read=\"1\" "
      "ct_t=\"application/vnd.wap.multipart.related\" m_type=\"128\" m_size=\"0\" "
      "readable_date=\"\">\n"
      "    <parts />\n"
      "    <addrs>\n"
      "      <addr address=\"+447700900123\" type=\"151\" charset=\"106\" />\n"
      "    </addrs>\n"
      "  </mms>\n"
      "</smses>\n";
  EXPECT_EQ(got, want);
}

// The streamed document appears whole or not at all, and leaves no scratch file behind.
TEST(ScratchDocument, AppearsWholeOrNotAtAll) {
  const fs::path dir = fs::path(testing::TempDir()) / "scratch-document";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path path = dir / "doc.txt";
  auto entries = [&] {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
    return names;
  };

  {
    ScratchDocument doc(path);
    doc.records() << "one\n";
    doc.records() << "two\n";
    EXPECT_FALSE(fs::exists(path));  // nothing to read before the end
    doc.Finish("head\n", "tail\n");
  }
  EXPECT_EQ(Slurp(path), "head\none\ntwo\ntail\n");
  EXPECT_EQ(entries(), std::vector<std::string>{"doc.txt"});

  {  // no records: head and tail alone
    ScratchDocument doc(path);
    doc.Finish("[", "]");
  }
  EXPECT_EQ(Slurp(path), "[]");

  // A failure halfway: the previous document stays as it was.
  try {
    ScratchDocument doc(path);
    doc.records() << "half";
    throw std::runtime_error("the phone went away");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(Slurp(path), "[]");
  EXPECT_EQ(entries(), std::vector<std::string>{"doc.txt"});

  // A folder that cannot hold the scratch file is told at once.
  EXPECT_THROW(ScratchDocument(dir / "missing" / "doc.txt"), HostError);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qwbhost
