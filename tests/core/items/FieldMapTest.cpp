// Field maps: exact names, replacing entries, and typed reads that fall back to the default
// on a missing key or another VARIANT type instead of converting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// A table fills one map per record: a cleared map must forget every entry (an entry put
// empty is not a missing one), entries must keep their addresses while others are put, and
// iteration follows the order of first puts, erase included.
TEST(FieldMapTest, ClearedAndRefilledMapsForgetTheLastRecordAndKeepOrder) {
  FieldMap map;
  auto name = [](int i) { return u"FIELD_" + std::u16string(1, static_cast<char16_t>(u'A' + i)); };
  PutField(map, name(0), Variant::Str(u"first"));
  const Variant* first = FindField(map, name(0));
  for (int i = 1; i < 40; ++i) PutField(map, name(i), Variant::I4(i));  // grows the index
  ASSERT_EQ(map.size(), 40u);
  EXPECT_EQ(first, FindField(map, name(0)));
  EXPECT_EQ(ReadFieldString(map, name(0)), u"first");
  int expected = 0;
  for (const auto& [key, value] : map) EXPECT_EQ(key, name(expected++));

  EXPECT_EQ(map.erase(name(5)), 1u);
  EXPECT_EQ(map.erase(name(5)), 0u);
  EXPECT_FALSE(HasField(map, name(5)));
  std::vector<std::u16string> order;
  for (const auto& entry : map) order.push_back(entry.first);
  ASSERT_EQ(order.size(), 39u);
  EXPECT_EQ(order[4], name(4));
  EXPECT_EQ(order[5], name(6));
  for (int i = 6; i < 40; ++i) EXPECT_EQ(ReadFieldI4(map, name(i), -1), i) << i;

  map.clear();
  EXPECT_TRUE(map.empty());
  for (int i = 0; i < 40; ++i) EXPECT_EQ(FindField(map, name(i)), nullptr) << i;
  PutField(map, name(7), Variant());
  PutField(map, u"", Variant::I4(1));  // the empty name is a name
  EXPECT_TRUE(HasField(map, name(7)));
  EXPECT_EQ(FieldAt(map, name(7)).vt(), VT_EMPTY);
  EXPECT_EQ(ReadFieldI4(map, u"", 0), 1);
  EXPECT_FALSE(HasField(map, name(0)));
  EXPECT_EQ(map.size(), 2u);
}

}  // namespace
}  // namespace qwb
