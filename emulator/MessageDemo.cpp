// The demo phone's messages and SIM card, generated in a fixed order so that every demo image
// holds the same data: a few hundred text messages across the four folders (Korean, English,
// emoji outside the BMP, long messages, one of exactly 160 characters), a handful hidden or
// unread, a SIM with contacts in scattered positions and a few SIM messages.
#include <cmath>
#include <string>
#include <vector>

#include "emulator/MediaSamples.h"
#include "emulator/MessageStore.h"
#include "emulator/Presets.h"
#include "emulator/SimStore.h"
#include "emulator/Text.h"
#include "link/MessageRecords.h"
#include "link/MmsBody.h"

namespace wmemu {
namespace {

constexpr const char* kOwnNumber = "010-2048-7731";

struct Person {
  const char* name;
  const char* number;
};
constexpr Person kPeople[] = {
    {"김민수", "010-5555-0101"},      {"이지은", "010-5555-0102"},
    {"박서준", "010-5555-0103"},      {"Emma Clarke", "+447700900123"},
    {"최유나", "010-5555-0105"},      {"James Park", "+12025550143"},
    {"엄마", "010-5555-0107"},        {"정다현", "010-5555-0108"},
    {"Dr. Han Clinic", "02-555-0199"}, {"Oliver Stein", "+4915550177"},
    {"한가람", "010-5555-0111"},      {"Team Lead", "010-5555-0112"},
};
constexpr size_t kPeopleCount = sizeof kPeople / sizeof kPeople[0];

const char* const kIncoming[] = {
    "오늘 저녁에 시간 있어?",
    "회의 3시로 옮겨졌어요. 확인 부탁드립니다.",
    "Running 10 minutes late, sorry!",
    "생일 축하해! 🎂🎉",
    "Can you send me the report before Friday?",
    "ㅋㅋㅋ 완전 웃기다 😂",
    "Dinner at 7? I booked the place near the station.",
    "내일 비 온대요. 우산 챙기세요 ☔",
    "Your appointment is confirmed for Tuesday 10:30. Reply C to cancel.",
    "고마워 👍",
    "Landed safely ✈️ call you later",
    "주말에 등산 갈래? 🏔️",
    "Got it, thanks 🙏",
    "택배 도착했어요. 경비실에 맡겨 두었습니다.",
};
const char* const kOutgoing[] = {
    "응 좋아, 7시에 보자",
    "On my way 🚗",
    "알겠습니다. 자료는 메일로 보냈어요.",
    "Thanks! See you tomorrow.",
    "사랑해요 엄마 ❤️",
    "Call me when you're free.",
    "회의록 공유드립니다. 확인 부탁드려요 📎",
    "OK 👌",
    "Happy birthday!! 🥳",
    "지금 출발해요",
};

// A long message (several SMS parts) of at most `units` UTF-16 units, built from sentences.
std::string LongText(int seed, size_t units) {
  const char* const parts[] = {
      "Here is the plan for the trip: we meet at Seoul Station at 8, take the KTX to Busan, ",
      "부산역에서 택시 타고 해운대로 가서 점심 먹고, 오후에는 광안리 바닷가를 걸을 거야. ",
      "Bring a jacket, it gets cold by the sea in the evening 🌊 ",
      "숙소는 역 근처 호텔로 예약해 두었고 체크인은 3시부터야. ",
  };
  std::string s;
  for (int i = seed;; ++i) {
    std::string next = s + parts[i % 4];
    if (Utf16(next).size() > units) break;
    s = next;
  }
  return s;
}

struct Builder {
  uint32_t kind = devrec::kKindMessage;
  std::vector<devrec::RawEntry> props;
  Builder& S(const char* n, const std::string& v) {
    auto p = devrec::Property::String(n, v);
    props.push_back({p.name, devrec::LookupType(kind, n), p.value});
    return *this;
  }
  Builder& D(const char* n, double v) {
    auto p = devrec::Property::Date(n, v);
    props.push_back({p.name, devrec::LookupType(kind, n), p.value});
    return *this;
  }
  Builder& I(const char* n, int32_t v) {
    auto p = devrec::Property::Integer(n, v);
    props.push_back({p.name, devrec::LookupType(kind, n), p.value});
    return *this;
  }
};

StoredMessage Sms(uint32_t folder, uint16_t state, const Person& other, const std::string& text,
                  double utc) {
  Builder b;
  b.S("PR_MESSAGE_CLASS", "IPM.SMSText");
  if (folder == devrec::kFolderInbox) {
    b.S("PR_SENDER_NAME", other.name).S("PR_SENDER_EMAIL_ADDRESS", other.number);
    b.S("PR_EMAIL_ADDRESS", kOwnNumber);
  } else {
    b.S("PR_DISPLAY_NAME", other.name).S("PR_EMAIL_ADDRESS", other.number);
  }
  b.S("PR_SUBJECT", text).D("PR_MESSAGE_DELIVERY_TIME", utc).D("PR_LAST_MODIFICATION_TIME", utc);
  // Received 1, sent 2, draft 3, waiting to be sent 4.
  const int32_t status[] = {1, 1, 3, 4, 2};
  b.I("PR_MSG_STATUS", status[folder <= 4 ? folder : 0]);
  b.I("PR_MESSAGE_FLAGS", state == kStateUnread ? 0 : 1);
  return {0, devrec::kKindMessage, folder, state, b.props};
}

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// A SMIL presentation showing each part of a slide in turn.
devrec::MmsPart Smil(const std::vector<std::string>& names) {
  std::string smil =
      "<smil><head><layout><root-layout width=\"176\" height=\"208\"/>"
      "<region id=\"Image\" top=\"0\" height=\"75%\"/><region id=\"Text\" top=\"75%\"/>"
      "</layout></head><body><par dur=\"5000ms\">";
  for (const std::string& n : names) {
    bool text = n.ends_with(".txt");
    bool audio = n.ends_with(".amr");
    smil += std::string(text ? "<text" : audio ? "<audio" : "<img") + " src=\"" + n + "\"" +
            (text ? " region=\"Text\"" : audio ? "" : " region=\"Image\"") + "/>";
  }
  smil += "</par></body></smil>";
  return {"application/smil", "mms.smil", Bytes(smil)};
}

StoredMessage Mms(uint32_t folder, const Person& other, const std::string& subject,
                  std::vector<devrec::MmsPart> media, double utc, uint32_t seed) {
  std::vector<std::string> names;
  for (const auto& m : media) names.push_back(m.name);
  media.insert(media.begin(), Smil(names));
  std::vector<uint8_t> body =
      devrec::EncodeMmsBody(media, "----=_Part_" + std::to_string(seed) + "_QWBmms");
  Builder b;
  b.kind = devrec::kKindMmsMessage;
  b.S("PR_MESSAGE_CLASS", "IPM.MMS");
  if (!subject.empty()) b.S("PR_SUBJECT", subject);
  if (folder == devrec::kFolderInbox) {
    b.S("PR_SENDER_NAME", other.number).S("PR_EMAIL_ADDRESS", kOwnNumber);
  } else {
    b.S("PR_SENDER_NAME", kOwnNumber).S("PR_EMAIL_ADDRESS", other.number);
  }
  b.D("PR_MESSAGE_DELIVERY_TIME", utc).D("PR_LAST_MODIFICATION_TIME", utc);
  b.I("PR_MESSAGE_SIZE", int32_t(body.size())).I("PR_MSG_STATUS", folder == 1 ? 1 : 2);
  auto raw = devrec::Property::Binary("PR_MMS_BODY", body);
  b.props.push_back({raw.name, devrec::kTypeBinary, raw.value});
  b.I("PR_MESSAGE_SIZE2", int32_t(body.size()));
  return {0, devrec::kKindMmsMessage, folder, kStateRead, b.props};
}

}  // namespace

void BuildDemoMms(Image& image) {
  auto text = [](const std::string& s) {
    return devrec::MmsPart{"text/plain; charset=utf-8", "text.txt", Bytes(s)};
  };
  std::vector<StoredMessage> all;
  all.push_back(Mms(1, kPeople[1], "제주도 사진 🌊",
                    {{"image/jpeg", "IMG_0412.jpg", SampleJpeg(160, 120, 11)},
                     text("바다 색깔 좀 봐! 다음엔 같이 가자")},
                    OleDate(2008, 8, 14, 6, 12), 1));
  all.push_back(Mms(1, kPeople[3], "Voice note",
                    {{"audio/amr", "note.amr", SampleAmr(150, 12)}, text("Listen to this one")},
                    OleDate(2008, 9, 2, 17, 40), 2));
  all.push_back(Mms(4, kPeople[0], "",
                    {{"image/jpeg", "cake.jpg", SampleJpeg(120, 160, 13)},
                     text("Happy birthday! \xF0\x9F\x8E\x82")},
                    OleDate(2008, 10, 5, 11, 3), 3));
  all.push_back(Mms(2, kPeople[6], "주말 계획", {text("토요일에 시장 가요?")},
                    OleDate(2008, 10, 29, 22, 15), 4));
  // A panorama close to the phone's MMS size limit.
  // A panorama close to the phone's MMS size limit: the picture, then camera data after its
  // end marker (which viewers skip) up to the size.
  const size_t target = kMmsMaxSize - 4096;
  std::vector<uint8_t> big;
  for (int w = 1600; w >= 200; w -= 200) {
    big = SampleJpeg(w, w * 3 / 4, 14);
    if (big.size() <= target) break;
  }
  while (big.size() < target) big.push_back(uint8_t(big.size() * 7));
  all.push_back(Mms(1, kPeople[5], "Panorama from the top",
                    {{"image/jpeg", "panorama.jpg", big}}, OleDate(2008, 10, 18, 4, 50), 5));
  MessageStore(image).AddAll(all);
}

void BuildDemoMessages(Image& image) {
  std::vector<StoredMessage> all;
  const double start = OleDate(2008, 3, 2, 0, 15);
  // 320 conversation messages over eight months, roughly three received for two sent.
  for (int i = 0; i < 320; ++i) {
    const Person& who = kPeople[(i * 7 + i / 13) % kPeopleCount];
    // Whole seconds, as the phone keeps them.
    double when = std::round((start + i * 0.71 + (i % 5) * 0.0413) * 86400.0) / 86400.0;
    bool incoming = (i % 5) < 3;
    std::string text = incoming ? kIncoming[(i * 3) % std::size(kIncoming)]
                                : kOutgoing[(i * 5) % std::size(kOutgoing)];
    if (i % 41 == 7) text = LongText(i, 300 + i % 200);
    uint16_t state = kStateRead;
    if (incoming && i >= 300) state = kStateUnread;
    if (incoming && (i == 57 || i == 158 || i == 233)) state = kStateHidden;
    all.push_back(Sms(incoming ? devrec::kFolderInbox : devrec::kFolderSent, state, who, text, when));
  }
  // One message of exactly 160 characters (a single full SMS).
  std::string full160 = "Reminder: ";
  while (full160.size() < 160) full160 += "0123456789"[full160.size() % 10];
  all.push_back(Sms(devrec::kFolderInbox, kStateRead, kPeople[8], full160.substr(0, 160),
                    OleDate(2008, 10, 30, 1, 0)));
  // Drafts and two messages stuck in the outbox.
  const char* const drafts[] = {"다음 주 일정 정리해서 보낼게", "Don't forget the tickets",
                                "이번 주말에", "😀😀😀 ", "Meeting notes: 1) budget 2) hiring 3)",
                                "할머니 댁 주소: 경기도 수원시 팔달구"};
  for (int i = 0; i < 6; ++i)
    all.push_back(Sms(devrec::kFolderDraft, kStateRead, kPeople[(i * 5) % kPeopleCount], drafts[i],
                      OleDate(2008, 10, 20 + i, 12, 30)));
  all.push_back(Sms(devrec::kFolderOutbox, kStateRead, kPeople[3], "Sending from the subway 🚇",
                    OleDate(2008, 11, 1, 8, 12)));
  all.push_back(Sms(devrec::kFolderOutbox, kStateRead, kPeople[0], "지하철이라 신호가 약해",
                    OleDate(2008, 11, 1, 8, 14)));
  MessageStore(image).AddAll(all);
  BuildDemoMms(image);

  // SIM messages in scattered slots (a slot freed on the card stays empty).
  MessageStore store(image);
  const struct {
    uint32_t slot;
    const char* number;
    const char* text;
  } sim[] = {{1, "010-5555-0101", "SIM에 저장된 메시지입니다"},
             {2, "+447700900123", "Welcome to your new SIM card"},
             {5, "010-5555-0107", "밥 먹었니? 🍚"},
             {9, "1588-0000", "[Web발신] 결제 승인 12,000원"},
             {17, "+12025550143", "Roaming is active. Charges apply."},
             {30, "010-5555-0102", "마지막 칸 🎯"}};
  for (size_t i = 0; i < std::size(sim); ++i)
    store.PutSim(sim[i].slot,
                 {sim[i].number, sim[i].text, OleDate(2007, 12, 1 + int(i) * 4, 3, 20)});
}

void BuildDemoSim(Image& image) {
  SimStore sim(image);
  const struct {
    uint32_t position;
    const char* name;
    const char* number;
    const char* second;
    const char* email;
  } contacts[] = {
      {1, "김민수", "010-5555-0101", "", "minsu@example.kr"},
      {2, "이지은", "010-5555-0102", "02-555-0102", ""},
      {3, "박서준", "010-5555-0103", "", ""},
      {4, "Emma Clarke", "+447700900123", "", "emma@example.co.uk"},
      {6, "최유나", "010-5555-0105", "031-555-0105", ""},
      {7, "James Park", "+12025550143", "", ""},
      {8, "엄마", "010-5555-0107", "02-555-0107", ""},
      {9, "아빠", "010-5555-0117", "", ""},
      {12, "Dr. Han Clinic", "02-555-0199", "", ""},
      {13, "Oliver Stein", "+4915550177", "", "oliver@example.de"},
      {14, "한가람", "010-5555-0111", "", ""},
      {15, "Team Lead", "010-5555-0112", "", ""},
      {20, "정다현", "010-5555-0108", "", "dahyun@example.kr"},
      {21, "Pizza 🍕", "1588-5555", "", ""},
      {22, "Taxi", "1333", "", ""},
      {23, "Voicemail", "*86", "", ""},
      {30, "서울 시청", "02-120", "", ""},
      {31, "Alexandra Smit", "+31205550188", "", ""},
      {45, "오세훈", "010-5555-0145", "", ""},
      {46, "윤아", "010-5555-0146", "", ""},
  };
  for (const auto& c : contacts) {
    SimContact s;
    s.name = c.name;
    s.number = c.number;
    if (*c.second) s.additional.push_back(c.second);
    s.email = c.email;
    sim.Add(s, c.position);
  }
}

}  // namespace wmemu
