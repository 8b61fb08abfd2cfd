#include <gtest/gtest.h>

#include <functional>

#include "TestBytes.h"
#include "core/Errors.h"
#include "core/Log.h"
#include "link/XmlParser.h"

namespace {

using linktest::TempFile;

// A parser whose handler records what the wrapper shows for every node.
class RecordingParser : public XML_PARSER {
 public:
  struct Seen {
    std::u16string tag, name, path, text;
    std::vector<std::u16string> attrNames, attrValues;
  };
  std::vector<Seen> seen;
  std::function<void(RecordingParser&)> onNode;

  void Node_Handler() override {
    seen.push_back({Get_CurrentTag(), Get_CurrentName(), Get_CurrentPath(), Get_CurrentText(),
                    Get_AttributeNames(), Get_AttributeValues()});
    if (onNode) onNode(*this);
  }
};

struct HookReset {
  ~HookReset() { qwb::SetXmlDocumentCreateHookForTesting(nullptr); }
};

TEST(XmlParser, ElementAttributesAndText) {
  RecordingParser p;
  bool checked = false;
  p.onNode = [&](RecordingParser& self) {
    if (!self.Is_Current_Tag(u"<A>")) return;
    checked = true;
    EXPECT_FALSE(self.Is_Current_Tag(u"<a>"));
    EXPECT_FALSE(self.Is_Current_Tag(u"A"));
    EXPECT_TRUE(self.Has_Attribute(u"y"));
    EXPECT_EQ(self.Get_CurrentAttribute(), 1);
    EXPECT_EQ(self.Get_Attribute_Value(), u"2");
    EXPECT_EQ(self.Get_TextValue(), u"t");
    EXPECT_FALSE(self.Has_Attribute(u"Y"));
    EXPECT_EQ(self.Get_CurrentAttribute(), -1);
    EXPECT_EQ(self.Get_Attribute_Value(),
              u"XML_PARSER::Get_Attribute_Value()  : Can't Retrieve an Attribute");
    EXPECT_THROW(self.Has_Attribute(nullptr), qwb::_com_error);
  };
  std::string path = TempFile("<A x=\"1\" y=\"2\">t</A>");
  ASSERT_TRUE(p.Load_Document(qwb::FromUtf8(path)));
  std::remove(path.c_str());
  EXPECT_TRUE(checked);
  // The handler's last failure stays the last message after the walk.
  EXPECT_EQ(p.Get_LastMessage(),
            u"XML_PARSER::Get_Attribute_Value()  : Can't Retrieve an Attribute");
  ASSERT_EQ(p.seen.size(), 2u);
  EXPECT_EQ(p.seen[0].attrNames, (std::vector<std::u16string>{u"x", u"y"}));
  EXPECT_EQ(p.seen[0].attrValues, (std::vector<std::u16string>{u"1", u"2"}));
  const auto& text = p.seen[1];
  EXPECT_EQ((std::vector{text.tag, text.name, text.text, text.path}),
            (std::vector<std::u16string>{u"<#TEXT#>", u"#TEXT#", u"t", u"<A>"}));
}

TEST(XmlParser, PreOrderWalkPathsAndCData) {
  RecordingParser p;
  std::vector<std::u16string> texts;
  p.onNode = [&](RecordingParser& self) { texts.push_back(self.Get_TextValue()); };
  p.Load_Text(u"<?xml version=\"1.0\"?><r><a><b>one</b><![CDATA[<raw>]]></a><d>x<e/>y</d></r>");
  std::vector<std::u16string> tags, paths;
  for (const auto& s : p.seen) {
    tags.push_back(s.tag);
    paths.push_back(s.path);
  }
  EXPECT_EQ(tags, (std::vector<std::u16string>{u"<r>", u"<a>", u"<b>", u"<#TEXT#>", u"<#CDATA#>",
                                               u"<d>", u"<#TEXT#>", u"<e>", u"<#TEXT#>"}));
  EXPECT_EQ(paths, (std::vector<std::u16string>{u"", u"<r>", u"<r><a>", u"<r><a><b>", u"<r><a>",
                                                u"<r>", u"<r><d>", u"<r><d>", u"<r><d>"}));
  // An element's text is its first text child; an element without one gives "".
  EXPECT_EQ(texts, (std::vector<std::u16string>{u"", u"", u"one", u"one", u"<raw>", u"x", u"x", u"",
                                                u"y"}));
}

TEST(XmlParser, CommentsAndProcessingInstructionsAreVisitedToo) {
  // Every node inside the root reaches the handler; a comment or an instruction leaves the
  // current tag and text as the node before set them, and has no text value of its own.
  RecordingParser p;
  std::vector<std::u16string> values;
  p.onNode = [&](RecordingParser& self) { values.push_back(self.Get_TextValue()); };
  std::string path = TempFile("<r><!-- note --><a>x</a><?app do?><b/></r>");
  ASSERT_TRUE(p.Load_Document(qwb::FromUtf8(path)));
  std::remove(path.c_str());
  std::vector<std::u16string> tags;
  for (const auto& s : p.seen) tags.push_back(s.tag);
  EXPECT_EQ(tags, (std::vector<std::u16string>{u"<r>", u"<r>", u"<a>", u"<#TEXT#>", u"<#TEXT#>",
                                               u"<b>"}));
  EXPECT_EQ(values, (std::vector<std::u16string>{u"", u"", u"x", u"x", u"", u""}));
  p.seen.clear();
  p.Load_Text(u"<r><?pi?><!--c--></r>");
  EXPECT_EQ(p.seen.size(), 3u);
}

TEST(XmlParser, FailuresAndMessages) {
  RecordingParser p;
  EXPECT_EQ(p.Get_TextValue(), u"");
  EXPECT_EQ(p.Get_LastMessage(), u"XML_PARSER::Get_TextValue() Can't set text on NULL node");
  // A missing file and one that is not well-formed: the same message, nothing walked.
  std::string path = TempFile("<open><unclosed></open>");
  for (const std::string& file : {std::string("/nonexistent/dir/none.xml"), path}) {
    EXPECT_FALSE(p.Load_Document(qwb::FromUtf8(file)));
    EXPECT_EQ(p.Get_LastMessage(), u"XML Document FAILED to load");
  }
  std::remove(path.c_str());
  // A text that is not well-formed walks nothing and raises nothing.
  p.Load_Text(u"<a><b></a>");
  p.Load_Text(u"");
  EXPECT_TRUE(p.seen.empty());
}

TEST(XmlParser, DocumentCreationFallsBackThroughTheVersions) {
  HookReset reset;
  std::vector<std::u16string> tried;
  int failing = 2;  // how many of the names, from the first, are missing
  qwb::SetXmlDocumentCreateHookForTesting([&](std::u16string_view progId) -> HRESULT {
    tried.emplace_back(progId);
    int index = progId[progId.size() - 3] - u'4';  // "...4.0" is the first
    return index < failing ? static_cast<HRESULT>(0x80040154u) : S_OK;
  });
  // Only the third version is there: the document is still created and used.
  RecordingParser p;
  p.Load_Text(u"<only6/>");
  EXPECT_EQ(tried,
            (std::vector<std::u16string>{u"Msxml2.DOMDocument.4.0", u"Msxml2.DOMDocument.5.0",
                                         u"Msxml2.DOMDocument.6.0"}));
  ASSERT_EQ(p.seen.size(), 1u);
  // None of them: the reset fails with the system text of the last HRESULT, and loading
  // without a document object raises E_POINTER.
  failing = 3;
  EXPECT_FALSE(p.Reset_Document());
  EXPECT_EQ(p.Get_LastMessage(), u"Class not registered");
  try {
    p.Load_Document(u"/nonexistent/whatever.xml");
    ADD_FAILURE() << "no exception";
  } catch (const qwb::_com_error& e) {
    EXPECT_EQ(e.Error(), E_POINTER);
  }
}

}  // namespace
