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

std::string Model(const std::string& name, const std::string& type,
                  const std::string& nameTag = "ModelName") {
  return "<Model><" + nameTag + ">" + name + "</" + nameTag + "><ModelTypeName>" + type +
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
  const std::string dup =
      Profile(Model("X", "olMID") + Model("Y", "olDomestic") + Model("x", "olDomesticKTF"));
  struct {
    std::string profile;
    const char16_t* phone;
    int type;
  } cases[] = {
      {one, u"abc-1", olDomesticLGT},
      {one, u"ABC-1", olDomesticLGT},
      {one, u"ABC-2", olInternational},
      {Profile(Model("ABC-1", "oldomesticskt")), u"ABC-1", olDomesticSKT},
      {Profile(Model("ABC-1", "OLMID")), u"ABC-1", olMID},
      {Profile(Model("ABC-1", "olSomethingElse")), u"ABC-1", olInternational},
      {dup, u"X", olMID},  // duplicates: the first entry's type wins
      {dup, u"y", olDomestic},
      // Element names are compared with their case: a lower-case ModelName is no model.
      {Profile(Model("ABC-1", "olMID", "modelname")), u"ABC-1", olInternational},
  };
  for (const auto& c : cases) EXPECT_EQ(TypeOf(c.profile, c.phone), c.type) << qwb::ToUtf8(c.phone);
  EXPECT_EQ(qwb::ModelTypeFromName(u"olInternational_S"), olInternational);
  EXPECT_EQ(qwb::ModelTypeFromName(u"olDomestic "), olInternational);
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
  // Defaults: no overwrite, the real name is the file name, no path; only "y" overwrites.
  std::vector<std::u16string> got;
  for (const auto& f : types[0].downloadFiles) {
    got.insert(got.end(), {f.fileName, f.realDownName, f.downPath, f.overwrite ? u"Y" : u"N"});
  }
  EXPECT_EQ(got, (std::vector<std::u16string>{u"plain.dll", u"plain.dll", u"", u"N", u"src.dll",
                                              u"Real.dll", u"\\Windows", u"Y", u"other.dat",
                                              u"other.dat", u"", u"N"}));
  EXPECT_EQ(types[1].serviceName, u"Lgt.dll");
  EXPECT_EQ(types[1].downloadCount, 0);
  const auto& models = parser.Models();
  ASSERT_EQ(models.size(), 2u);
  EXPECT_EQ(models[1].modelName, u"B");
  EXPECT_EQ(models[1].modelTypeName, u"olDomesticLGT");

  // A ModelName outside ModelLists is no model.
  parser.Clear();
  parser.Load_Text(
      u"<WMModelProfile><ModelTypeLists><ModelType><ModelName>Q</ModelName>"
      u"</ModelType></ModelTypeLists></WMModelProfile>");
  EXPECT_TRUE(parser.Models().empty());
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
