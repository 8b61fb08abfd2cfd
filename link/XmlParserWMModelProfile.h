// CXmlParserWMModelProfile: reads the model profile (WMModelProfile.xml), which maps the model
// names phones report to model types, and lists per model type the device-side service and
// the files that go with it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "link/XmlParser.h"

// Model types (the small integer the tables branch on).
enum WMModelType {
  olDomestic = 0,
  olInternational = 1,
  olMID = 2,
  olDomesticSKT = 3,
  olDomesticLGT = 4,
  olDomesticKTF = 5,
  olInternational_SP = 6,
};

class CXmlParserWMModelProfile : public XML_PARSER {
 public:
  struct DownLoadFile {
    std::u16string fileName;
    int overwrite = 0;  // 1 when the attribute "overwrite" is "Y" in any case
    std::u16string realDownName;
    std::u16string downPath;
  };
  struct ModelTypeEntry {
    std::u16string typeName;
    std::u16string serviceName;
    int downloadCount = 0;
    std::vector<DownLoadFile> downloadFiles;
  };
  struct ModelEntry {
    std::u16string modelName;
    std::u16string modelTypeName;
  };

  CXmlParserWMModelProfile() = default;
  ~CXmlParserWMModelProfile() override;

  void Node_Handler() override;

  // Empties both lists and the walk state, so that the profile can be loaded again.
  void Clear();
  // The model type of a phone model, from the lists loaded: the first model whose name equals
  // modelName ignoring case gives the type name; a type name not in the table, or no model,
  // gives olInternational.
  int GetModelType(std::u16string_view modelName) const;

  const std::vector<ModelTypeEntry>& ModelTypes() const { return m_vModelTypes; }
  const std::vector<ModelEntry>& Models() const { return m_vModels; }

 private:
  bool IndexInModelTypes() const;

  std::vector<ModelTypeEntry> m_vModelTypes;
  std::vector<ModelEntry> m_vModels;
  int m_nIndex = 0;
  int m_nSection = 0;  // 0 inside ModelTypeLists, 1 inside ModelLists
};

namespace qwb {

// The model type of a model type name, ignoring case; olInternational for any other name.
int ModelTypeFromName(std::u16string_view typeName);

}  // namespace qwb
