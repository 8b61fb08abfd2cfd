#include "link/XmlParser.h"

#include <cstdio>
#include <pugixml.hpp>

#include "core/Errors.h"
#include "core/Log.h"

namespace qwb {
namespace {

XmlDocumentCreateHook& CreateHook() {
  static XmlDocumentCreateHook hook;
  return hook;
}

}  // namespace

// Stands in for CoCreateInstance of the DOM document class named progId.
static HRESULT CreateDomDocument(const char16_t* progId) {
  return CreateHook() ? CreateHook()(progId) : S_OK;
}

void SetXmlDocumentCreateHookForTesting(XmlDocumentCreateHook hook) {
  CreateHook() = std::move(hook);
}

std::u16string ComErrorMessage(HRESULT hr) {
  uint32_t u = static_cast<uint32_t>(hr);
  char buf[64];
  if (u >= 0x80040200u && u <= 0x8004FFFFu) {
    std::snprintf(buf, sizeof buf, "IDispatch error #%d", static_cast<int>(u - 0x80040200u));
    return FromUtf8(buf);
  }
  switch (u) {
    case 0x80040154u:
      return u"Class not registered";
    case 0x80004005u:
      return u"Unspecified error";
    case 0x80004002u:
      return u"No such interface supported";
    case 0x80004003u:
      return u"Invalid pointer";
    case 0x8007000Eu:
      return u"Not enough memory resources are available to complete this operation.";
    case 0x80070057u:
      return u"The parameter is incorrect.";
    default:
      break;
  }
  std::snprintf(buf, sizeof buf, "Unknown error 0x%0lX", static_cast<unsigned long>(u));
  return FromUtf8(buf);
}

}  // namespace qwb

using qwb::FromUtf8;
using qwb::ToUtf8;

namespace {

constexpr char16_t kFailedToLoad[] = u"XML Document FAILED to load";
constexpr char16_t kNullNode[] = u"XML_PARSER::Get_TextValue() Can't set text on NULL node";
constexpr char16_t kNoAttribute[] =
    u"XML_PARSER::Get_Attribute_Value()  : Can't Retrieve an Attribute";
constexpr char16_t kCantCreatePi[] = u"PARSER_XML::SetHeader() : Can't create new Processing node";
constexpr char16_t kCantInsertEmpty[] =
    u"PARSER_XML::SetHeader() : Can't insert Processing node in the empty document";
constexpr char16_t kCantInsertAfterRoot[] =
    u"PARSER_XML::SetHeader() : Can't insert Processing node after the root document";
constexpr char16_t kBadValue[] = u"XML_PARSER::Set_Header() : bad value structure";
constexpr char16_t kCantCreateNewPi[] =
    u"XML_PARSER::Set_Header() : Can't create the new processing instruction node";

// The document keeps comments and processing instructions, so the walk visits them as it
// visits every other node (the handler is called; the current tag, name and text stay those
// of the node before, since only elements, text and CDATA sections update them).
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_comments | pugi::parse_pi;

bool IsText(const pugi::xml_node& n) { return n.type() == pugi::node_pcdata; }
bool IsCData(const pugi::xml_node& n) { return n.type() == pugi::node_cdata; }

}  // namespace

XML_PARSER::XML_PARSER() : m_strLastMessage(u"Success"), m_strSuccess(u"Success") {}

XML_PARSER::~XML_PARSER() = default;

void XML_PARSER::Node_Handler() {}

bool XML_PARSER::CreateDocument() {
  m_strLastMessage = m_strSuccess;
  m_pDocument.reset();
  m_pRoot = nullptr;
  m_pCurrentNode = nullptr;
  HRESULT hr = S_OK;
  for (const char16_t* progId : qwb::kXmlDocumentProgIds) {
    hr = qwb::CreateDomDocument(progId);
    if (SUCCEEDED(hr)) {
      m_pDocument = std::make_unique<pugi::xml_document>();
      return true;
    }
  }
  m_strLastMessage = qwb::ComErrorMessage(hr);
  return false;
}

pugi::xml_node_struct* XML_PARSER::RequireDocument() {
  if (!m_pDocument) throw qwb::_com_error(E_POINTER);
  return m_pDocument->internal_object();
}

void XML_PARSER::ClearCurrent() {
  m_pCurrentNode = nullptr;
  m_vAttributeNames.clear();
  m_vAttributeValues.clear();
  m_strCurrentTag.clear();
  m_strCurrentName.clear();
  m_strCurrentPath.clear();
  m_strCurrentText.clear();
  m_nCurrentAttribute = -1;
}

bool XML_PARSER::Reset_Document() {
  bool created = CreateDocument();
  if (created) {
    m_pDocument->load_string("");  // an empty text: no document element
    m_pRoot = m_pDocument->document_element().internal_object();
  }
  ClearCurrent();
  return created;
}

bool XML_PARSER::Load_Document(std::u16string_view path) {
  m_strLastMessage = m_strSuccess;
  Reset_Document();
  // The empty document gets its header before the file replaces it, as it always has.
  if (m_pDocument) Set_Header(u"xml", u"encoding", u"UTF-");
  RequireDocument();
  std::string file = ToUtf8(path);
  pugi::xml_parse_result result = m_pDocument->load_file(file.c_str(), kParseOptions);
  if (!result) {
    m_pDocument->reset();
    m_strLastMessage = kFailedToLoad;
    return false;
  }
  pugi::xml_node root = m_pDocument->document_element();
  m_pRoot = root.internal_object();
  if (m_pDocument->first_child() && root) Walk(root);
  return true;
}

void XML_PARSER::Load_Text(std::u16string_view text) {
  Reset_Document();
  RequireDocument();
  std::string utf8 = ToUtf8(text);
  // A text that is not well-formed leaves an empty document, whose walk calls no handler.
  if (!m_pDocument->load_buffer(utf8.data(), utf8.size(), kParseOptions)) m_pDocument->reset();
  pugi::xml_node root = m_pDocument->document_element();
  m_pRoot = root.internal_object();
  if (root) Walk(root);
}

bool XML_PARSER::Set_Header(std::u16string_view target, std::u16string_view name,
                            std::u16string_view value) {
  if (!m_pDocument) {
    m_strLastMessage = kCantCreateNewPi;
    return false;
  }
  std::u16string v(value);
  if (v.find(u'"') != std::u16string::npos || v.find(u'<') != std::u16string::npos) {
    m_strLastMessage = kBadValue;
    return false;
  }
  std::string t = ToUtf8(target);
  bool isDeclaration = t == "xml";
  pugi::xml_node pi;
  for (pugi::xml_node n = m_pDocument->first_child(); n; n = n.next_sibling()) {
    if (isDeclaration ? n.type() == pugi::node_declaration
                      : n.type() == pugi::node_pi && t == n.name()) {
      pi = n;
      break;
    }
  }
  if (!pi) {
    pugi::xml_node_type type = isDeclaration ? pugi::node_declaration : pugi::node_pi;
    if (t.empty()) {
      m_strLastMessage = kCantCreatePi;
      return false;
    }
    pugi::xml_node root = m_pDocument->document_element();
    if (!root) {
      pi = m_pDocument->append_child(type);
      if (!pi) {
        m_strLastMessage = kCantInsertEmpty;
        return false;
      }
    } else {
      pi = m_pDocument->insert_child_before(type, m_pDocument->first_child());
      if (!pi) {
        m_strLastMessage = kCantInsertAfterRoot;
        return false;
      }
    }
    if (!isDeclaration) pi.set_name(t.c_str());
  }
  if (isDeclaration) {
    if (!pi.attribute("version")) {
      pugi::xml_attribute a = pi.prepend_attribute("version");
      a.set_value("1.0");
    }
  }
  std::string n = ToUtf8(name);
  pugi::xml_attribute a = pi.attribute(n.c_str());
  if (!a) a = pi.append_attribute(n.c_str());
  if (!a || !a.set_value(ToUtf8(v).c_str())) {
    m_strLastMessage = kBadValue;
    return false;
  }
  return true;
}

void XML_PARSER::UpdateCurrent(pugi::xml_node node) {
  if (node.type() == pugi::node_element) {
    m_strCurrentName = FromUtf8(node.name());
    m_strCurrentTag = u"<" + m_strCurrentName + u">";
    m_vAttributeNames.clear();
    m_vAttributeValues.clear();
    for (pugi::xml_attribute a : node.attributes()) {
      m_vAttributeNames.push_back(FromUtf8(a.name()));
      m_vAttributeValues.push_back(FromUtf8(a.value()));
    }
  } else if (IsText(node)) {
    m_strCurrentTag = u"<#TEXT#>";
    m_strCurrentName = u"#TEXT#";
    m_strCurrentText = FromUtf8(node.value());
  } else if (IsCData(node)) {
    m_strCurrentTag = u"<#CDATA#>";
    m_strCurrentName = u"#CDATA#";
    m_strCurrentText = FromUtf8(node.value());
  }
}

void XML_PARSER::Walk(pugi::xml_node node) {
  UpdateCurrent(node);
  m_pCurrentNode = node.internal_object();
  Node_Handler();
  if (node.type() != pugi::node_element) return;
  m_strCurrentPath += u"<" + FromUtf8(node.name()) + u">";
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) Walk(child);
  size_t cut = m_strCurrentPath.rfind(u'<');
  if (cut != std::u16string::npos) m_strCurrentPath.resize(cut);
}

bool XML_PARSER::Is_Current_Tag(std::u16string_view tag) const { return m_strCurrentTag == tag; }

std::u16string XML_PARSER::Get_TextValue() {
  pugi::xml_node node(m_pCurrentNode ? m_pCurrentNode : m_pRoot);
  if (!node) {
    m_strLastMessage = kNullNode;
    return {};
  }
  if (IsText(node) || IsCData(node)) return FromUtf8(node.value());
  if (node.type() == pugi::node_element) {
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
      if (IsText(child)) return FromUtf8(child.value());
    }
  }
  return {};
}

bool XML_PARSER::Has_Attribute(const char16_t* name) {
  if (!name) throw qwb::_com_error(E_FAIL);
  for (size_t i = 0; i < m_vAttributeNames.size(); ++i) {
    if (m_vAttributeNames[i] == name) {
      m_nCurrentAttribute = static_cast<int>(i);
      return true;
    }
  }
  m_nCurrentAttribute = -1;
  return false;
}

std::u16string XML_PARSER::Get_Attribute_Value() {
  if (m_nCurrentAttribute < 0 ||
      static_cast<size_t>(m_nCurrentAttribute) >= m_vAttributeValues.size()) {
    m_strLastMessage = kNoAttribute;
    return m_strLastMessage;
  }
  m_strLastMessage = m_strSuccess;
  return m_vAttributeValues[static_cast<size_t>(m_nCurrentAttribute)];
}

std::u16string XML_PARSER::Get_Xml() const {
  if (!m_pDocument) return {};
  struct Sink : pugi::xml_writer {
    std::string text;
    void write(const void* data, size_t size) override {
      text.append(static_cast<const char*>(data), size);
    }
  } sink;
  m_pDocument->save(sink, "", pugi::format_raw | pugi::format_no_declaration);
  return FromUtf8(sink.text);
}
