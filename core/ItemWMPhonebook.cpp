#include "core/ItemWMPhonebook.h"

#include <string>

namespace qwb {
namespace {

std::u16string Numbered(const char16_t* prefix, int n) {
  std::u16string name(prefix);
  for (char c : std::to_string(n)) name.push_back(static_cast<char16_t>(c));
  return name;
}

std::vector<ColumnSchemaEntry> BuildPhonebookSchema() {
  std::vector<ColumnSchemaEntry> s;
  s.reserve(168);
  auto add = [&s](std::u16string name, VARTYPE vt) { s.push_back({std::move(name), vt}); };

  add(u"ID", VT_I4);
  add(u"LUID", VT_I4);
  add(u"SUID", VT_I4);
  for (const char16_t* name : {u"DISPLAY_NAME", u"LAST_NAME", u"MIDDLE_NAME", u"FIRST_NAME",
                               u"NICK_NAME", u"JOBTITLE", u"COMPANY"})
    add(name, VT_BSTR);

  add(u"TEL_COUNT", VT_I4);
  for (int n = 0; n < 14; ++n) {
    add(Numbered(u"TEL_TYPE_", n), VT_BSTR);
    add(Numbered(u"TEL_NUM_", n), VT_BSTR);
  }
  add(u"EMAIL_COUNT", VT_I4);
  for (int n = 0; n < 3; ++n) {
    add(Numbered(u"EMAIL_TYPE_", n), VT_BSTR);
    add(Numbered(u"EMAIL_ADDR_", n), VT_BSTR);
  }
  add(u"URL_COUNT", VT_I4);
  add(u"URL_TYPE_0", VT_BSTR);
  add(u"URL_ADDR_0", VT_BSTR);
  add(u"ADDR_COUNT", VT_I4);
  for (int n = 0; n < 3; ++n) {
    for (const char16_t* part :
         {u"ADDR_EXTADDR_", u"ADDR_STREET_", u"ADDR_LOCALITY_", u"ADDR_REGION_",
          u"ADDR_POSTALCODE_", u"ADDR_COUNTRY_", u"ADDR_TYPE_"})
      add(Numbered(part, n), VT_BSTR);
  }

  add(u"BIRTHDAY", VT_DATE);
  add(u"BIRTHDAY_LUNAR", VT_I4);
  add(u"NOTES", VT_BSTR);
  add(u"PHOTO_TYPE", VT_BSTR);
  add(u"PHOTO", VT_BSTR);
  add(u"PHOTO_LOCAL_PATH", VT_BSTR);

  add(u"ANNIVERSARY_COUNT", VT_I4);
  add(u"ANNIVERSARY_TYPE_0", VT_BSTR);
  add(u"ANNIVERSARY_DATE_0", VT_DATE);
  add(u"ANNIVERSARY_LUNAR_0", VT_I4);

  for (int n = 0; n < 50; ++n) add(Numbered(u"GROUP_ID_", n), VT_I4);

  add(u"MESSENGER_COUNT", VT_I4);
  for (int n = 0; n < 3; ++n) {
    add(Numbered(u"MESSENGER_TYPE_", n), VT_BSTR);
    add(Numbered(u"MESSENGER_ID_", n), VT_BSTR);
  }

  for (const char16_t* name :
       {u"TITLE_NAME", u"SUFFIX_NAME", u"DEPARTMENT", u"ASSISTANT", u"ASSISTANT_TEL", u"MANAGER",
        u"GOVTID", u"ACCOUNT", u"CUSTOMERID", u"OFFICE_LOCATION", u"SPOUSE", u"CHILDREN",
        u"CATEGORIES", u"RINGTON", u"RINGTON_TYPE", u"ADD_INFOS"})
    add(name, VT_BSTR);

  for (int n = 0; n < 14; ++n) add(Numbered(u"TEL_DIAL_", n), VT_BSTR);
  return s;
}

}  // namespace

const std::vector<ColumnSchemaEntry>& CItemWMPhonebook::Schema() {
  // 168 columns; repeated fields carry numeric suffixes.
  static const std::vector<ColumnSchemaEntry> schema = BuildPhonebookSchema();
  return schema;
}

ComPtr<CColumnsWM> CItemWMPhonebook::CreateColumns() { return CColumnsWM::Create(Schema()); }

}  // namespace qwb
