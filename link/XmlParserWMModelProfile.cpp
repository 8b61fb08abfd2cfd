#include "link/XmlParserWMModelProfile.h"

#include "core/Log.h"

namespace qwb {

int ModelTypeFromName(std::u16string_view typeName) {
  static constexpr const char16_t* kNames[] = {
      u"olDomestic",    u"olInternational",    u"olMID", u"olDomesticSKT", u"olDomesticLGT",
      u"olDomesticKTF", u"olInternational_SP",
  };
  for (int i = 0; i < 7; ++i) {
    if (EqualsNoCase(typeName, kNames[i])) return i;
  }
  return olInternational;
}

}  // namespace qwb

CXmlParserWMModelProfile::~CXmlParserWMModelProfile() = default;

void CXmlParserWMModelProfile::Clear() {
  m_vModelTypes.clear();
  m_vModels.clear();
  m_nIndex = 0;
  m_nSection = 0;
}

bool CXmlParserWMModelProfile::IndexInModelTypes() const {
  return !m_vModelTypes.empty() && m_nIndex >= 0 &&
         static_cast<size_t>(m_nIndex) < m_vModelTypes.size();
}

void CXmlParserWMModelProfile::Node_Handler() {
  if (Is_Current_Tag(u"<WMModelProfile>")) return;
  if (Is_Current_Tag(u"<ModelTypeLists>")) {
    m_nSection = 0;
  } else if (Is_Current_Tag(u"<ModelLists>")) {
    m_nSection = 1;
  } else if (Is_Current_Tag(u"<ModelType>") || Is_Current_Tag(u"<Model>")) {
    ++m_nIndex;
  } else if (Is_Current_Tag(u"<ModelTypeName>")) {
    if (m_vModelTypes.empty()) m_nIndex = 0;
    std::u16string text = Get_TextValue();
    if (m_nSection == 0) {
      m_vModelTypes.push_back(ModelTypeEntry{text, {}, 0, {}});
    } else if (m_nSection == 1 && !m_vModels.empty() && m_nIndex >= 0 &&
               static_cast<size_t>(m_nIndex) < m_vModels.size()) {
      m_vModels[static_cast<size_t>(m_nIndex)].modelTypeName = text;
    }
  } else if (Is_Current_Tag(u"<QWBRapiServer>")) {
    if (IndexInModelTypes())
      m_vModelTypes[static_cast<size_t>(m_nIndex)].serviceName = Get_TextValue();
  } else if (Is_Current_Tag(u"<DownLoadFile>")) {
    if (!IndexInModelTypes()) return;
    DownLoadFile file;
    file.fileName = Get_TextValue();
    file.overwrite =
        Has_Attribute(u"overwrite") && qwb::EqualsNoCase(Get_Attribute_Value(), u"Y") ? 1 : 0;
    file.realDownName = Has_Attribute(u"realdownname") ? Get_Attribute_Value() : file.fileName;
    file.downPath = Has_Attribute(u"downpath") ? Get_Attribute_Value() : std::u16string();
    ModelTypeEntry& entry = m_vModelTypes[static_cast<size_t>(m_nIndex)];
    ++entry.downloadCount;
    entry.downloadFiles.push_back(std::move(file));
  } else if (Is_Current_Tag(u"<ModelName>")) {
    if (m_nSection != 1) return;
    if (m_vModels.empty()) m_nIndex = 0;
    m_vModels.push_back(ModelEntry{Get_TextValue(), {}});
  }
}

int CXmlParserWMModelProfile::GetModelType(std::u16string_view modelName) const {
  for (const ModelEntry& m : m_vModels) {
    if (qwb::EqualsNoCase(m.modelName, modelName)) return qwb::ModelTypeFromName(m.modelTypeName);
  }
  return olInternational;
}
