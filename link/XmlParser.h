// XML_PARSER: the XML document wrapper of the model profile and of the reading-name document.
// It loads a document, walks every node in document order and calls the derived class's
// per-node handler, exposing the current node's tag, text and attributes meanwhile. Failures
// are recorded as the last message rather than thrown. The DOM document behind it is a
// pugixml document; nothing outside this class sees it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "wincompat/wintypes.h"

namespace pugi {
class xml_document;
class xml_node;
struct xml_node_struct;
}  // namespace pugi

class XML_PARSER {
 public:
  XML_PARSER();
  virtual ~XML_PARSER();
  XML_PARSER(const XML_PARSER&) = delete;
  XML_PARSER& operator=(const XML_PARSER&) = delete;

  // The per-node handler, called once for every node of the walk. Does nothing here.
  virtual void Node_Handler();

  // A fresh, empty document; the current node, the attribute lists and the current strings
  // are cleared. False when no DOM document could be created.
  bool Reset_Document();
  // Loads the file at `path` and walks it. False (last message "XML Document FAILED to load")
  // when it cannot be loaded. Raises _com_error(E_POINTER) when there is no document object.
  bool Load_Document(std::u16string_view path);
  // Loads an XML text held in memory and walks it; a text that is not well-formed walks
  // nothing. Raises _com_error(E_POINTER) when there is no document object.
  void Load_Text(std::u16string_view text);
  // Sets one pseudo-attribute of the processing instruction `target` ("xml"), creating the
  // instruction when it is missing; version="1.0" stays first.
  bool Set_Header(std::u16string_view target, std::u16string_view name, std::u16string_view value);

  // True when the current tag is exactly `tag` ("<ModelName>"), case-sensitively.
  bool Is_Current_Tag(std::u16string_view tag) const;
  // The text of the current text node, or of the current element's first text child.
  std::u16string Get_TextValue();
  // Selects the current element's attribute of exactly that name; false (and no current
  // attribute) when it has none. A null name raises _com_error(E_FAIL).
  bool Has_Attribute(const char16_t* name);
  // The value of the attribute selected by Has_Attribute.
  std::u16string Get_Attribute_Value();

  // The document as XML text (empty without a document).
  std::u16string Get_Xml() const;

  const std::u16string& Get_CurrentTag() const { return m_strCurrentTag; }
  const std::u16string& Get_CurrentName() const { return m_strCurrentName; }
  const std::u16string& Get_CurrentPath() const { return m_strCurrentPath; }
  const std::u16string& Get_CurrentText() const { return m_strCurrentText; }
  const std::u16string& Get_LastMessage() const { return m_strLastMessage; }
  const std::vector<std::u16string>& Get_AttributeNames() const { return m_vAttributeNames; }
  const std::vector<std::u16string>& Get_AttributeValues() const { return m_vAttributeValues; }
  int Get_CurrentAttribute() const { return m_nCurrentAttribute; }

 private:
  bool CreateDocument();
  void Walk(pugi::xml_node node);
  void UpdateCurrent(pugi::xml_node node);
  void ClearCurrent();
  pugi::xml_node_struct* RequireDocument();

  std::u16string m_strCurrentTag;
  std::u16string m_strCurrentName;
  std::u16string m_strCurrentPath;
  std::u16string m_strCurrentText;
  std::unique_ptr<pugi::xml_document> m_pDocument;
  pugi::xml_node_struct* m_pRoot = nullptr;
  pugi::xml_node_struct* m_pCurrentNode = nullptr;
  std::u16string m_strLastMessage;
  const std::u16string m_strSuccess;
  std::u16string m_strSpare;
  std::vector<std::u16string> m_vAttributeNames;
  std::vector<std::u16string> m_vAttributeValues;
  int m_nCurrentAttribute = -1;
};

namespace qwb {

// The names the document creation tries, in order.
inline constexpr const char16_t* kXmlDocumentProgIds[] = {
    u"Msxml2.DOMDocument.4.0", u"Msxml2.DOMDocument.5.0", u"Msxml2.DOMDocument.6.0"};

// Test seam: called with each name the document creation tries; a failing HRESULT makes that
// attempt fail. Null (the default) lets the first name succeed.
using XmlDocumentCreateHook = std::function<HRESULT(std::u16string_view progId)>;
void SetXmlDocumentCreateHookForTesting(XmlDocumentCreateHook hook);

// The system text of an HRESULT as COM errors word it: "IDispatch error #%d" for dispatch
// error codes, "Unknown error 0x%0lX" when there is no text for it.
std::u16string ComErrorMessage(HRESULT hr);

}  // namespace qwb
