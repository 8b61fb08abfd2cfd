// The XML documents the component reads, through its XML wrapper: the model profile as the
// device link loads it (a file, any encoding pugixml detects), then the same bytes walked by
// a recording handler. Beyond "no crash": every phone model the profile lists maps to one of
// the seven model types, the first of two equal names wins, and a document written back by
// the wrapper walks to the same elements and attributes.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "fuzz/Check.h"
#include "link/XmlParserWMModelProfile.h"

namespace {

using fuzzsupport::Check;

// Records the elements and attributes the walk shows, and exercises the accessors a
// handler uses on every node.
class Recorder : public XML_PARSER {
 public:
  std::vector<std::u16string> elements;
  void Node_Handler() override {
    const std::u16string& tag = Get_CurrentTag();
    (void)Get_TextValue();
    if (Get_CurrentName() == u"#TEXT#" || Get_CurrentName() == u"#CDATA#") return;
    std::u16string line = tag;
    const auto& names = Get_AttributeNames();
    for (size_t i = 0; i < names.size(); ++i) {
      Check(Has_Attribute(names[i].c_str()));
      line += u" " + names[i] + u"=" + Get_Attribute_Value();
    }
    elements.push_back(line);
  }
};

int g_fd = -1;
std::u16string g_path;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_fd = memfd_create("profile", 0);
  std::string path = "/proc/self/fd/" + std::to_string(g_fd);
  g_path.assign(path.begin(), path.end());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (ftruncate(g_fd, 0) != 0 || pwrite(g_fd, data, size, 0) != static_cast<ssize_t>(size))
    std::abort();

  CXmlParserWMModelProfile profile;
  try {
    profile.Load_Document(g_path);
  } catch (const qwb::_com_error&) {
    return 0;  // a null attribute name: the profile has none
  }
  for (const auto& model : profile.Models()) {
    const int type = profile.GetModelType(model.modelName);
    Check(type >= olDomestic && type <= olInternational_SP);
    for (const auto& other : profile.Models()) {
      if (&other == &model) break;
      if (other.modelName == model.modelName) Check(type == profile.GetModelType(other.modelName));
    }
  }
  Check(profile.GetModelType(u"\U0001F600 no such phone") == olInternational ||
        !profile.Models().empty());

  Recorder first;
  if (!first.Load_Document(g_path)) return 0;
  const std::u16string written = first.Get_Xml();
  Recorder second;
  second.Load_Text(written);
  Check(first.elements == second.elements);
  return 0;
}
