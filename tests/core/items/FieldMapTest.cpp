// Field maps: exact names, replacing entries, and typed reads that fall back to the default
// on a missing key or another VARIANT type instead of converting.
#include <gtest/gtest.h>

#include "core/ColumnsWM.h"
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
  EXPECT_EQ(ReadFieldI4(map, u"BOOL", 9), 9);
  EXPECT_EQ(ReadFieldI4(map, u"i4", 9), 9);  // names are case-sensitive
  EXPECT_EQ(ReadFieldI4(map, u"MISSING", 9), 9);

  EXPECT_EQ(ReadFieldUI4(map, u"UI4", 1), 0xFFFFFFF0u);
  EXPECT_EQ(ReadFieldUI4(map, u"I4", 1), 1u);
  EXPECT_EQ(ReadFieldUI4(map, u"INT", 1), 1u);
  EXPECT_EQ(ReadFieldUI4(map, u"MISSING", 1), 1u);

  EXPECT_EQ(ReadFieldString(map, u"TEXT", u"d"), u"42");
  EXPECT_EQ(ReadFieldString(map, u"NULLTEXT", u"d"), u"");
  EXPECT_EQ(ReadFieldString(map, u"I4", u"d"), u"d");
  EXPECT_EQ(ReadFieldString(map, u"MISSING"), u"");

  EXPECT_DOUBLE_EQ(ReadFieldDate(map, u"DATE", 1.0), 45123.75);
  EXPECT_DOUBLE_EQ(ReadFieldDate(map, u"R8", 1.0), 1.0);
  EXPECT_EQ(ReadFieldBool(map, u"BOOL", VARIANT_FALSE), VARIANT_TRUE);
  EXPECT_EQ(ReadFieldBool(map, u"I4", VARIANT_FALSE), VARIANT_FALSE);

  EXPECT_THROW(FieldAt(map, u"MISSING"), _map_not_found_error);
  EXPECT_EQ(FindField(map, u"Missing"), nullptr);
  ASSERT_NE(FindField(map, u"I4"), nullptr);
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

  VARIANT bad;
  VariantInit(&bad);
  bad.vt = 0x7FF;
  EXPECT_THROW(PutField(map, u"BAD", bad), CAtlException);

  FieldMap copy = map;  // deep copies
  map.clear();
  EXPECT_EQ(ReadFieldI4(copy, u"K", 0), 3);
}

TEST(ColumnsTest, SetColumnsRebuildsInOrderAndKeepsTheLaterOrdinalOfARepeatedName) {
  ComPtr<CColumnsWM> columns = CColumnsWM::Create();
  EXPECT_EQ(columns->GetCount(), 0u);

  std::vector<ColumnSchemaEntry> schema = {
      {u"NAME", VT_BSTR}, {u"ID", VT_I4}, {u"NAME", VT_DATE}, {u"When", VT_DATE}};
  columns->SetColumns(schema.data(), 4);
  ASSERT_EQ(columns->GetCount(), 4u);
  ULONG ordinal = 0;
  ASSERT_TRUE(columns->FindOrdinal(u"NAME", &ordinal));
  EXPECT_EQ(ordinal, 2u);
  EXPECT_EQ(columns->GetColumn(0).name, u"NAME");  // both descriptors stay
  EXPECT_EQ(columns->GetColumn(0).vt, VT_BSTR);
  EXPECT_FALSE(columns->FindOrdinal(u"WHEN", &ordinal));
  ASSERT_TRUE(columns->FindOrdinal(u"When", &ordinal));
  EXPECT_EQ(ordinal, 3u);

  // A shorter schema replaces everything, names included.
  columns->SetColumns(schema.data() + 1, 1);
  ASSERT_EQ(columns->GetCount(), 1u);
  EXPECT_FALSE(columns->FindOrdinal(u"NAME", &ordinal));
  ASSERT_TRUE(columns->FindOrdinal(u"ID", &ordinal));
  EXPECT_EQ(ordinal, 0u);

  for (int length : {0, -1}) {
    columns->SetColumns(schema.data(), 4);
    columns->SetColumns(schema.data(), length);
    EXPECT_EQ(columns->GetCount(), 0u) << length;
    EXPECT_FALSE(columns->FindOrdinal(u"ID", &ordinal)) << length;
  }
}

}  // namespace
}  // namespace qwb
