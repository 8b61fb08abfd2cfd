// Field maps: exact names, replacing entries, and typed reads that fall back to the default
// on a missing key or another VARIANT type instead of converting.
#include <gtest/gtest.h>

#include "core/Errors.h"
#include "core/FieldMap.h"
#include "qwbdcawm/qwbdcawm.h"

namespace qwb {
namespace {

VARIANT IntVariant(INT i) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_INT;
  v.intVal = i;
  return v;
}

TEST(FieldMapTest, TypedReadsTakeOnlyTheirTypesAndOtherwiseTheDefault) {
  FieldMap map;
  PutField(map, u"I4", Variant::I4(-5));
  PutField(map, u"INT", IntVariant(17));
  PutField(map, u"UI4", Variant::UI4(0xFFFFFFF0u));
  PutField(map, u"TEXT", Variant::Str(u"42"));
  PutField(map, u"DATE", Variant::Date(45123.75));
  PutField(map, u"R8", Variant::R8(45123.75));
  PutField(map, u"BOOL", Variant::Bool(true));
  VARIANT nullText;
  VariantInit(&nullText);
  nullText.vt = VT_BSTR;
  nullText.bstrVal = nullptr;
  PutField(map, u"NULLTEXT", nullText);

  EXPECT_EQ(ReadFieldI4(map, u"I4", 9), -5);
  EXPECT_EQ(ReadFieldI4(map, u"INT", 9), 17);
  EXPECT_EQ(ReadFieldI4(map, u"UI4", 9), 9);
  EXPECT_EQ(ReadFieldI4(map, u"TEXT", 9), 9);  // no conversion from text
  EXPECT_EQ(ReadFieldI4(map, u"i4", 9), 9);    // names are case-sensitive

  EXPECT_EQ(ReadFieldUI4(map, u"UI4", 1), 0xFFFFFFF0u);
  EXPECT_EQ(ReadFieldUI4(map, u"I4", 1), 1u);

  EXPECT_EQ(ReadFieldString(map, u"TEXT", u"d"), u"42");
  EXPECT_EQ(ReadFieldString(map, u"NULLTEXT", u"d"), u"");
  EXPECT_EQ(ReadFieldString(map, u"MISSING", u"d"), u"d");

  EXPECT_DOUBLE_EQ(ReadFieldDate(map, u"DATE", 1.0), 45123.75);
  EXPECT_DOUBLE_EQ(ReadFieldDate(map, u"R8", 1.0), 1.0);
  EXPECT_EQ(ReadFieldBool(map, u"BOOL", VARIANT_FALSE), VARIANT_TRUE);
  EXPECT_EQ(ReadFieldBool(map, u"I4", VARIANT_FALSE), VARIANT_FALSE);

  EXPECT_THROW(FieldAt(map, u"MISSING"), _map_not_found_error);
  EXPECT_EQ(FindField(map, u"Missing"), nullptr);
}

TEST(FieldMapTest, PutReplacesAndOwnsItsCopies) {
  FieldMap map;
  {
    Variant text = Variant::Str(u"first");
    PutField(map, u"K", text);
  }
  EXPECT_EQ(ReadFieldString(map, u"K"), u"first");
  PutField(map, u"K", Variant::I4(3));  // replaces the string (freed: clean under ASan)
  EXPECT_EQ(map.size(), 1u);
  EXPECT_EQ(ReadFieldI4(map, u"K", 0), 3);
  PutField(map, u"k", Variant::I4(4));
  EXPECT_EQ(map.size(), 2u);

  FieldMap copy = map;  // deep copies
  map.clear();
  EXPECT_EQ(ReadFieldI4(copy, u"K", 0), 3);
}

}  // namespace
}  // namespace qwb
