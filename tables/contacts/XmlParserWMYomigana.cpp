#include "tables/contacts/XmlParserWMYomigana.h"

namespace {

constexpr char16_t kLastOpen[] = u"<YomiLastName>";
constexpr char16_t kLastClose[] = u"</YomiLastName>";
constexpr char16_t kFirstOpen[] = u"<YomiFirstName>";
constexpr char16_t kFirstClose[] = u"</YomiFirstName>";

// The text between the last `open` and the `close` after it; false when either is missing.
bool Between(std::u16string_view text, std::u16string_view open, std::u16string_view close,
             std::u16string* out) {
  size_t at = text.rfind(open);
  if (at == std::u16string_view::npos) return false;
  at += open.size();
  size_t end = text.find(close, at);
  if (end == std::u16string_view::npos) return false;
  out->assign(text.substr(at, end - at));
  return true;
}

}  // namespace

CXmlParserWMYomigana::CXmlParserWMYomigana() = default;
CXmlParserWMYomigana::~CXmlParserWMYomigana() = default;

void CXmlParserWMYomigana::Node_Handler() {
  if (Is_Current_Tag(u"<Yomigana>")) return;
  if (Is_Current_Tag(kLastOpen)) {
    m_strYomiLastName = Get_TextValue();
  } else if (Is_Current_Tag(kFirstOpen)) {
    m_strYomiFirstName = Get_TextValue();
  }
}

namespace qwb {

std::u16string BuildYomiganaDocument(std::u16string_view lastName, std::u16string_view firstName) {
  std::u16string doc = u"<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Yomigana>";
  doc.append(kLastOpen).append(lastName).append(kLastClose).append(u"\r\n");
  doc.append(kFirstOpen).append(firstName).append(kFirstClose).append(u"\r\n");
  doc.append(u"</Yomigana>");
  return doc;
}

void ParseYomiganaDocument(std::u16string_view text, std::u16string* lastName,
                           std::u16string* firstName) {
  lastName->clear();
  firstName->clear();
  CXmlParserWMYomigana parser;
  try {
    parser.Load_Text(text);
  } catch (...) {
    return;  // no document object: no readings, the write goes on
  }
  if (parser.Get_Xml().empty()) {
    // Not well-formed: the readings as the concatenation put them.
    Between(text, kLastOpen, kLastClose, lastName);
    Between(text, kFirstOpen, kFirstClose, firstName);
    return;
  }
  *lastName = parser.m_strYomiLastName;
  *firstName = parser.m_strYomiFirstName;
}

}  // namespace qwb
