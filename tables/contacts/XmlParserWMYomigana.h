// CXmlParserWMYomigana: the reading-name document a contact item carries in its ADD_INFOS
// column. The phone keeps the phonetic readings of a contact's names in "YomiLastName" and
// "YomiFirstName"; the item has no columns for them, so both travel together as
//   <?xml version="1.0" encoding="UTF-8" ?>\r\n<Yomigana><YomiLastName>..</YomiLastName>\r\n
//   <YomiFirstName>..</YomiFirstName>\r\n</Yomigana>
// written by concatenation (the readings are not escaped) and read back with the XML walk.
#pragma once

#include <string>
#include <string_view>

#include "link/XmlParser.h"

class CXmlParserWMYomigana : public XML_PARSER {
 public:
  CXmlParserWMYomigana();
  ~CXmlParserWMYomigana() override;

  // Takes the text of <YomiLastName> and <YomiFirstName> wherever they are; the last
  // occurrence wins.
  void Node_Handler() override;

  std::u16string m_strYomiLastName;
  std::u16string m_strYomiFirstName;
};

namespace qwb {

// The document for two readings, exactly as the phonebook writes it into ADD_INFOS.
std::u16string BuildYomiganaDocument(std::u16string_view lastName, std::u16string_view firstName);

// The two readings of an ADD_INFOS text. A text that is not well-formed XML (a reading holding
// '&' or '<' is written unescaped) is read by its literal element tags; what cannot be found
// stays empty.
void ParseYomiganaDocument(std::u16string_view text, std::u16string* lastName,
                           std::u16string* firstName);

}  // namespace qwb
