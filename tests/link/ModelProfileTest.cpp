#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "TestBytes.h"
#include "core/Log.h"
#include "link/RapiBase.h"
#include "link/XmlParserWMModelProfile.h"

namespace {

using linktest::TempFile;

// A profile with the usual model type list and the given models.
std::string Profile(const std::string& models) {
  return "<?xml version=\"1.0\"?><WMModelProfile><ModelTypeLists>"
         "<ModelType><ModelTypeName>olDomestic</ModelTypeName>"
         "<QWBRapiServer>Dom.dll</QWBRapiServer><DownLoadFiles>"
         "<DownLoadFile>plain.dll</DownLoadFile>"
         "<DownLoadFile overwrite=\"y\" realdownname=\"Real.dll\" downpath=\"\\Windows\">"
         "src.dll</DownLoadFile>"
         "<DownLoadFile overwrite=\"yes\">other.dat</DownLoadFile>"
         "</DownLoadFiles></ModelType>"
         "<ModelType><ModelTypeName>olDomesticLGT</ModelTypeName>"
         "<QWBRapiServer>Lgt.dll</QWBRapiServer><DownLoadFiles/></ModelType>"
         "</ModelTypeLists><ModelLists>" +
         models + "</ModelLists></WMModelProfile>";
}

std::string Model(const std::string& name, const std::string& type) {
  return "<Model><ModelName>" + name + "</ModelName><ModelTypeName>" + type +
         "</ModelTypeName></Model>";
}

int TypeOf(const std::string& profile, std::u16string_view phone) {
  std::string path = TempFile(profile);
  CXmlParserWMModelProfile parser;
  EXPECT_TRUE(parser.Load_Document(qwb::FromUtf8(path)));
  std::remove(path.c_str());
  return parser.GetModelType(phone);
}

TEST(ModelProfile, ModelTypeRule) {
  std::string one = Profile(Model("ABC-1", "olDomesticLGT"));
  EXPECT_EQ(TypeOf(one, u"abc-1"), olDomesticLGT);
  EXPECT_EQ(TypeOf(one, u"ABC-1"), olDomesticLGT);
  EXPECT_EQ(TypeOf(one, u"ABC-2"), olInternational);
  EXPECT_EQ(TypeOf(one, u""), olInternational);
  EXPECT_EQ(TypeOf(Profile(Model("ABC-1", "oldomesticskt")), u"ABC-1"), olDomesticSKT);
  EXPECT_EQ(TypeOf(Profile(Model("ABC-1", "OLMID")), u"ABC-1"), olMID);
  EXPECT_EQ(TypeOf(Profile(Model("ABC-1", "olSomethingElse")), u"ABC-1"), olInternational);
  EXPECT_EQ(TypeOf(Profile(Model("ABC-1", "")), u"ABC-1"), olInternational);
  // Duplicates: the first entry's type wins.
  std::string dup =
      Profile(Model("X", "olMID") + Model("Y", "olDomestic") + Model("x", "olDomesticKTF"));
  EXPECT_EQ(TypeOf(dup, u"X"), olMID);
  EXPECT_EQ(TypeOf(dup, u"y"), olDomestic);
  // Every type name's value is checked against the shipped profile below.
  EXPECT_EQ(qwb::ModelTypeFromName(u"olInternational_S"), olInternational);
  EXPECT_EQ(qwb::ModelTypeFromName(u"olDomestic "), olInternational);

  // Element names are compared with their case: a lower-case ModelName is no model.
  EXPECT_EQ(TypeOf(Profile("<Model><modelname>ABC-1</modelname>"
                           "<ModelTypeName>olMID</ModelTypeName></Model>"),
                   u"ABC-1"),
            olInternational);
}

TEST(ModelProfile, ListsAndDownloadFiles) {
  std::string path = TempFile(Profile(Model("A", "olDomestic") + Model("B", "olDomesticLGT")));
  CXmlParserWMModelProfile parser;
  ASSERT_TRUE(parser.Load_Document(qwb::FromUtf8(path)));
  std::remove(path.c_str());
  const auto& types = parser.ModelTypes();
  ASSERT_EQ(types.size(), 2u);
  EXPECT_EQ(types[0].typeName, u"olDomestic");
  EXPECT_EQ(types[0].serviceName, u"Dom.dll");
  ASSERT_EQ(types[0].downloadCount, 3);
  ASSERT_EQ(types[0].downloadFiles.size(), 3u);
  const auto& plain = types[0].downloadFiles[0];
  EXPECT_EQ(plain.fileName, u"plain.dll");
  EXPECT_EQ(plain.overwrite, 0);
  EXPECT_EQ(plain.realDownName, u"plain.dll");
  EXPECT_EQ(plain.downPath, u"");
  const auto& full = types[0].downloadFiles[1];
  EXPECT_EQ(full.fileName, u"src.dll");
  EXPECT_EQ(full.overwrite, 1);
  EXPECT_EQ(full.realDownName, u"Real.dll");
  EXPECT_EQ(full.downPath, u"\\Windows");
  EXPECT_EQ(types[0].downloadFiles[2].overwrite, 0);  // "yes" is not "Y"
  EXPECT_EQ(types[1].serviceName, u"Lgt.dll");
  EXPECT_EQ(types[1].downloadCount, 0);
  const auto& models = parser.Models();
  ASSERT_EQ(models.size(), 2u);
  EXPECT_EQ(models[0].modelName, u"A");
  EXPECT_EQ(models[0].modelTypeName, u"olDomestic");
  EXPECT_EQ(models[1].modelName, u"B");
  EXPECT_EQ(models[1].modelTypeName, u"olDomesticLGT");

  // A ModelName outside ModelLists is no model; Clear empties everything.
  parser.Clear();
  EXPECT_TRUE(parser.ModelTypes().empty());
  parser.Load_Text(
      u"<WMModelProfile><ModelTypeLists><ModelType><ModelName>Q</ModelName>"
      u"</ModelType></ModelTypeLists></WMModelProfile>");
  EXPECT_TRUE(parser.Models().empty());
}

TEST(ModelProfile, ShippedProfile) {
  // The build puts the profile beside the executables, where the device link looks for it.
  std::u16string path = CRapiBase::ModelProfilePath();
  ASSERT_GE(path.size(), 19u);
  EXPECT_EQ(path.substr(path.size() - 19), u"/WMModelProfile.xml");
  CXmlParserWMModelProfile parser;
  ASSERT_TRUE(parser.Load_Document(path)) << qwb::ToUtf8(path);
  struct Expect {
    const char16_t* model;
    int type;
  } expected[] = {{u"Hanul HD-100", olDomestic},    {u"Aster W1", olInternational},
                  {u"Aster Pad M7", olMID},         {u"Hanul HS-200", olDomesticSKT},
                  {u"Hanul HL-300", olDomesticLGT}, {u"Hanul HK-400", olDomesticKTF},
                  {u"Aster S2", olInternational_SP}};
  for (const Expect& e : expected) EXPECT_EQ(parser.GetModelType(e.model), e.type);
  EXPECT_EQ(parser.Models().size(), 7u);
  ASSERT_EQ(parser.ModelTypes().size(), 7u);
  // The types in their value order: every type name maps to its own value.
  for (size_t i = 0; i < 7; ++i) {
    const auto& t = parser.ModelTypes()[i];
    EXPECT_EQ(qwb::ModelTypeFromName(t.typeName), static_cast<int>(i));
    EXPECT_FALSE(t.serviceName.empty());
  }
}

TEST(ModelProfile, PhoneWithoutAName) {
  // No device: the registry read fails and the name "Tolvane-WM" is looked up instead.
  unsetenv("QWBDCAWM_DEVICE");
  std::string path =
      TempFile(Profile(Model("tolvane-wm", "olMID") + Model("Aster W1", "olDomestic")));
  CRapiBase::SetModelProfilePathForTesting(qwb::FromUtf8(path));
  {
    CRapiBase link;
    EXPECT_EQ(link.GetWMModelType(), olMID);
    // Read afresh each time: the lists do not pile up.
    EXPECT_EQ(link.GetWMModelType(), olMID);
    EXPECT_EQ(link.m_ModelProfile.Models().size(), 2u);
    std::remove(path.c_str());
    // A missing profile gives the default.
    EXPECT_EQ(link.GetWMModelType(), olInternational);
    EXPECT_TRUE(link.m_ModelProfile.Models().empty());
  }
  CRapiBase::SetModelProfilePathForTesting(u"");
}

}  // namespace
