// Items as a host and a table see them: interfaces, values, conversions to and from field
// maps and reference counts of shared column sets.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "core/Errors.h"
#include "core/ItemWMSIM.h"
#include "core/ItemWMTask.h"
#include "core/Log.h"
#include "core/ModuleCount.h"
#include "tables/files/ItemWMFile.h"
#include "tables/organizer/DataTableWMTask.h"
#include "tests/core/TestEnv.h"
#include "wincompat/testhooks.h"

namespace qwb {
namespace {

ComPtr<CColumnsWM> ThreeColumns() {
  std::vector<ColumnSchemaEntry> schema = {{u"A", VT_I4}, {u"B", VT_BSTR}, {u"C", VT_DATE}};
  return CColumnsWM::Create(schema);
}

TEST(ColumnsTest, RefillingEmptiesTheSetAndARepeatedNameKeepsTheLaterOrdinal) {
  ComPtr<CColumnsWM> set = ThreeColumns();
  const ColumnSchemaEntry twice[] = {{u"X", VT_I4}, {u"Y", VT_BSTR}, {u"X", VT_DATE}};
  set->SetColumns(twice, 3);
  ULONG ordinal = 99;
  ASSERT_EQ(set->GetCount(), 3u);
  EXPECT_TRUE(set->FindOrdinal(u"X", &ordinal));
  EXPECT_EQ(ordinal, 2u);
  EXPECT_FALSE(set->FindOrdinal(u"A", &ordinal));  // the old names are gone
  EXPECT_FALSE(set->FindOrdinal(u"x", &ordinal));  // names match exactly
  for (int count : {0, -1}) {
    set->SetColumns(twice, count);
    EXPECT_EQ(set->GetCount(), 0u);
    EXPECT_FALSE(set->FindOrdinal(u"X", &ordinal));
  }
}

ComPtr<CItemWMTask> TaskItem() {
  ComPtr<CItemWMTask> item = MakeItem<CItemWMTask>();
  item->SetColumns(CItemWMTask::CreateColumns().Get());
  return item;
}

std::u16string Text(const VARIANT& v) {
  return v.vt == VT_BSTR && v.bstrVal ? std::u16string(v.bstrVal, SysStringLen(v.bstrVal))
                                      : std::u16string(u"<not text>");
}

// The item's value at `column`; a failing GetValue fails the test.
Variant Value(IItem* item, ULONG column) {
  Variant v;
  EXPECT_EQ(item->GetValue(column, v.Ptr()), S_OK) << column;
  return v;
}

SUID SuidOf(IItem* item) {
  SUID suid = static_cast<SUID>(-99);
  EXPECT_EQ(item->get_SUID(&suid), S_OK);
  return suid;
}

ULONG Ordinal(IItem* item, const char16_t* name) {
  BStr bname(name);
  ULONG ordinal = 0;
  LONG found = 0;
  EXPECT_EQ(item->GetOrdinal(bname.Get(), &ordinal, &found), S_OK);
  EXPECT_EQ(found, 1) << ToUtf8(name);
  return ordinal;
}

TEST(ItemTest, QueryInterfaceAnswersItemDispatchAndErrorInfoOnly) {
  ComPtr<CItemWMTask> item = TaskItem();
  IItem* pItem = item->AsItem();
  qwbtest::ExpectInterfaceMap(pItem, {&IID_IUnknown, &IID_IDispatch, &IID_IItem}, IID_IItem,
                              {&IID_IDataTable, &IID_IColumnInfo, &IID_IConnectionPointContainer,
                               &IID_IProvideClassInfo, &IID_IErrorInfo});
  EXPECT_EQ(CItemWMBase::FromItem(pItem), item.Get());
}

TEST(ItemTest, ColumnMethodsWithoutASetAndAtTheBounds) {
  ComPtr<CItemWMTask> item = MakeItem<CItemWMTask>();
  IItem* pItem = item->AsItem();
  ULONG n = 7;
  BStr name;
  USHORT vt = 0;
  BStr colName(u"SUBJECT");
  LONG found = 5;
  Variant v;
  EXPECT_EQ(pItem->GetColumnCount(&n), E_POINTER);
  EXPECT_EQ(pItem->GetOrdinal(colName.Get(), &n, &found), E_POINTER);
  EXPECT_EQ(pItem->GetValue(0, v.Ptr()), E_POINTER);
  EXPECT_EQ(pItem->SetValue(0, Variant::I4(1).Get()), E_POINTER);
  EXPECT_EQ(n, 7u);
  EXPECT_EQ(found, 5);

  item->SetColumns(CItemWMTask::CreateColumns().Get());
  ASSERT_EQ(pItem->GetColumnName(19, name.Out()), S_OK);
  EXPECT_EQ(name.Str(), u"CATEGORIES");
  BStr untouched(u"keep");
  BSTR raw = untouched.Get();
  EXPECT_EQ(pItem->GetColumnName(20, &raw), E_FAIL);
  EXPECT_EQ(raw, untouched.Get());
  ASSERT_EQ(pItem->GetColumnType(16, &vt), S_OK);
  EXPECT_EQ(vt, VT_DATE);
  EXPECT_EQ(pItem->GetColumnType(20, &vt), E_FAIL);

  EXPECT_EQ(Ordinal(pItem, u"SUID"), 0u);
  EXPECT_EQ(Ordinal(pItem, u"CATEGORIES"), 19u);
  // Names compare exactly: no case folding, no prefix match, null is the empty name.
  for (const char16_t* missing :
       std::initializer_list<const char16_t*>{u"suid", u"SUBJEC", nullptr}) {
    BStr b(missing);
    ULONG ordinal = 99;
    LONG found = 99;
    ASSERT_EQ(pItem->GetOrdinal(b.Get(), &ordinal, &found), S_OK);
    EXPECT_EQ(ordinal, 0u);
    EXPECT_EQ(found, 0);
  }
}

TEST(ItemTest, ValuesStartEmptyAndOutOfRangeIndexesHitColumnZero) {
  ComPtr<CItemWMSIM> item = MakeItem<CItemWMSIM>();
  item->SetColumns(ThreeColumns().Get());
  IItem* pItem = item->AsItem();

  for (ULONG col : {0u, 1u, 2u, 3u}) {
    Variant v = Variant::I4(-1);
    ASSERT_EQ(pItem->GetValue(col, v.Ptr()), S_OK);
    EXPECT_EQ(v.vt(), VT_EMPTY) << col;
  }

  ASSERT_EQ(pItem->SetValue(5, Variant::I4(77).Get()), S_OK);
  EXPECT_EQ(Value(pItem, 0).vt(), VT_I4);
  EXPECT_EQ(Value(pItem, 0).Get().lVal, 77);
  EXPECT_EQ(Value(pItem, 0xFFFFFFFFu).Get().lVal, 77);
  EXPECT_EQ(Value(pItem, 2).vt(), VT_EMPTY);

  // No type check on SetValue: a text goes into the VT_I4 column as it is.
  ASSERT_EQ(pItem->SetValue(0, Variant::Str(u"twelve").Get()), S_OK);
  EXPECT_EQ(Text(Value(pItem, 0).Get()), u"twelve");
}

TEST(ItemTest, ValuesAreCopiesWithTheirOwnStrings) {
  ComPtr<CItemWMTask> item = TaskItem();
  IItem* pItem = item->AsItem();
  const ULONG subject = Ordinal(pItem, u"SUBJECT");
  {
    Variant in = Variant::Str(u"Buy milk");
    ASSERT_EQ(pItem->SetValue(subject, in.Get()), S_OK);
  }  // the caller's string is gone; the item kept its own copy
  Variant a;
  Variant b;
  ASSERT_EQ(pItem->GetValue(subject, a.Ptr()), S_OK);
  ASSERT_EQ(pItem->GetValue(subject, b.Ptr()), S_OK);
  EXPECT_EQ(Text(a.Get()), u"Buy milk");
  EXPECT_NE(a.Get().bstrVal, b.Get().bstrVal);
  a.Clear();
  EXPECT_EQ(Text(b.Get()), u"Buy milk");
  // GetValue clears what the host's VARIANT held (no leak under ASan).
  ASSERT_EQ(pItem->GetValue(subject, b.Ptr()), S_OK);
  ASSERT_EQ(pItem->SetValue(subject, Variant::Str(u"Sell milk").Get()), S_OK);
  ASSERT_EQ(pItem->GetValue(subject, b.Ptr()), S_OK);
  EXPECT_EQ(Text(b.Get()), u"Sell milk");
}

TEST(ItemTest, ColumnSetsAreSharedByItemsAndOutliveTheirTable) {
  auto refs = [](IUnknown* p) {
    p->AddRef();
    return p->Release();
  };
  const LONG locksBefore = ModuleLockCount();
  IItem* first = nullptr;
  IItem* second = nullptr;
  CColumnsWM* columns = nullptr;
  {
    ComPtr<CDataTableWMTask> table(new CDataTableWMTask());
    ASSERT_EQ(table->NewItem(DCADT_TASK, static_cast<SUID>(5), SUID_NULL, &first), S_OK);
    ASSERT_EQ(table->NewItem(DCADT_TASK, SUID_NULL, SUID_NULL, &second), S_OK);
    columns = table->GetColumns();
    EXPECT_EQ(refs(columns), 3u);                       // the table and two items
    CItemWMBase::FromItem(first)->SetColumns(columns);  // the same set again changes nothing
    EXPECT_EQ(refs(columns), 3u);
  }  // the host released the table; its column set lives on in the items
  EXPECT_EQ(refs(columns), 2u);
  ULONG count = 0;
  ASSERT_EQ(first->GetColumnCount(&count), S_OK);
  EXPECT_EQ(count, 20u);
  ASSERT_EQ(first->SetValue(1, Variant::Str(u"after the table").Get()), S_OK);
  EXPECT_EQ(Text(Value(first, 1).Get()), u"after the table");
  EXPECT_EQ(SuidOf(first), 5);
  EXPECT_EQ(first->Release(), 0u);
  EXPECT_EQ(refs(columns), 1u);
  BStr name;
  ASSERT_EQ(second->GetColumnName(19, name.Out()), S_OK);
  EXPECT_EQ(name.Str(), u"CATEGORIES");

  // Another set replaces the last holder's, which goes away (ASan sees it freed).
  ComPtr<CColumnsWM> other = ThreeColumns();
  CItemWMBase::FromItem(second)->SetColumns(other.Get());
  EXPECT_EQ(refs(other.Get()), 2u);
  EXPECT_EQ(second->Release(), 0u);
  EXPECT_EQ(refs(other.Get()), 1u);
  EXPECT_EQ(ModuleLockCount(), locksBefore);
}

TEST(ItemTest, ItemToMapConvertsToTheColumnTypesInPlace) {
  ComPtr<CItemWMTask> item = TaskItem();
  IItem* pItem = item->AsItem();
  ASSERT_EQ(pItem->SetValue(Ordinal(pItem, u"SUID"), Variant::Str(u"12").Get()), S_OK);
  ASSERT_EQ(pItem->SetValue(Ordinal(pItem, u"ALARM_VALUE"), Variant::Str(u"soon").Get()), S_OK);
  ASSERT_EQ(pItem->SetValue(Ordinal(pItem, u"SUBJECT"), Variant::I4(5).Get()), S_OK);
  ASSERT_EQ(pItem->SetValue(Ordinal(pItem, u"START_DATE"), Variant::R8(45000.5).Get()), S_OK);

  FieldMap map;
  PutField(map, u"SUBJECT", Variant::Str(u"replaced"));
  PutField(map, u"EXTRA", Variant::I4(3));
  ASSERT_EQ(item->SchemaConvertItem2Map(map), S_OK);

  EXPECT_EQ(map.size(), 21u);  // every column, empty ones too, and the extra key
  EXPECT_EQ(FieldAt(map, u"SUID").vt(), VT_I4);
  EXPECT_EQ(FieldAt(map, u"SUID").Get().lVal, 12);
  EXPECT_EQ(Text(FieldAt(map, u"ALARM_VALUE").Get()), u"soon");  // does not convert: kept
  EXPECT_EQ(Text(FieldAt(map, u"SUBJECT").Get()), u"5");
  EXPECT_EQ(FieldAt(map, u"START_DATE").vt(), VT_DATE);
  EXPECT_DOUBLE_EQ(FieldAt(map, u"START_DATE").Get().date, 45000.5);
  EXPECT_EQ(FieldAt(map, u"DETAIL").vt(), VT_EMPTY);
  EXPECT_EQ(FieldAt(map, u"EXTRA").Get().lVal, 3);
  EXPECT_FALSE(HasField(map, u"suid"));

  // The conversion happened in the item too.
  EXPECT_EQ(Value(pItem, 0).vt(), VT_I4);
  EXPECT_EQ(Value(pItem, 0).Get().lVal, 12);
}

TEST(ItemTest, MapToItemCopiesNamedColumnsAndTakesTheSuid) {
  FieldMap map;
  PutField(map, u"SUBJECT", Variant::Str(u"Dentist"));
  PutField(map, u"ALARM_VALUE", Variant::Str(u"not a number"));  // copied as it is
  PutField(map, u"subject", Variant::Str(u"ignored"));
  PutField(map, u"SUID", Variant::Str(u"7"));

  ComPtr<CItemWMTask> item = TaskItem();
  IItem* pItem = item->AsItem();
  ASSERT_EQ(item->SchemaConvertMap2Item(map), S_OK);
  EXPECT_EQ(SuidOf(pItem), 7);

  EXPECT_EQ(Text(Value(pItem, Ordinal(pItem, u"SUBJECT")).Get()), u"Dentist");
  EXPECT_EQ(Text(Value(pItem, Ordinal(pItem, u"ALARM_VALUE")).Get()), u"not a number");
  EXPECT_EQ(Value(pItem, Ordinal(pItem, u"DETAIL")).vt(), VT_EMPTY);
  // The SUID column takes the map's "SUID" entry as it is, unconverted.
  EXPECT_EQ(Text(Value(pItem, 0).Get()), u"7");

  // Without a "SUID" entry the SUID stays; an unconvertible one raises.
  FieldMap noSuid;
  PutField(noSuid, u"SUBJECT", Variant::Str(u"x"));
  ASSERT_EQ(item->SchemaConvertMap2Item(noSuid), S_OK);
  EXPECT_EQ(SuidOf(pItem), 7);
  FieldMap badSuid;
  PutField(badSuid, u"SUID", Variant::Str(u"seven"));
  ComPtr<CItemWMTask> other = TaskItem();
  other->SetSUID(static_cast<SUID>(3));
  EXPECT_THROW(other->SchemaConvertMap2Item(badSuid), _com_error);
  EXPECT_EQ(SuidOf(other->AsItem()), 3);
}

// A map the table is done with may give its values away; a name two columns share still
// fills both, and the "SUID" entry still sets the SUID after filling the SUID column.
TEST(ItemTest, TakingAMapFillsEveryColumnOfARepeatedNameAndTheSuid) {
  const ColumnSchemaEntry schema[] = {{u"SUID", VT_I4},
                                      {u"NAME", VT_BSTR},
                                      {u"NOTE", VT_BSTR},
                                      {u"NAME", VT_BSTR}};
  ComPtr<CColumnsWM> columns = CColumnsWM::Create();
  columns->SetColumns(schema, 4);
  FieldMap map;
  PutField(map, u"SUID", Variant::Str(u"9"));
  PutField(map, u"NAME", Variant::Str(u"\uAE40\uC9C0\uC218 (Kim)"));
  PutField(map, u"NOTE", Variant::Str(u"call back"));

  ComPtr<CItemWMTask> item = TaskItem();
  item->SetColumns(columns.Get());
  ASSERT_EQ(item->SchemaTakeMap2Item(map), S_OK);
  IItem* pItem = item->AsItem();
  EXPECT_EQ(SuidOf(pItem), 9);
  EXPECT_EQ(Text(Value(pItem, 0).Get()), u"9");
  EXPECT_EQ(Text(Value(pItem, 1).Get()), u"\uAE40\uC9C0\uC218 (Kim)");
  EXPECT_EQ(Text(Value(pItem, 3).Get()), u"\uAE40\uC9C0\uC218 (Kim)");
  EXPECT_EQ(Text(Value(pItem, 2).Get()), u"call back");
}

struct RecordingTarget : IProgressTarget {
  std::vector<std::tuple<LONG, LONG, LONG*>> calls;
  void FireProgress(LONG done, LONG total, LONG* pContinue) override {
    calls.emplace_back(done, total, pContinue);
    *pContinue = 0;
  }
};

TEST(ItemTest, FileItemCopiesByNameRetagsDatesAndReportsProgress) {
  FieldMap map;
  PutField(map, u"FolderID", Variant::UI4(4));
  PutField(map, u"Name", Variant::Str(u"a.txt"));
  PutField(map, u"CreateDate", Variant::R8(40000.25));
  PutField(map, u"LastAccessDate", Variant::R8(-1.5));
  PutField(map, u"LastWriteDate", Variant::Str(u"Invalid DateTime"));
  PutField(map, u"StatusIcon", Variant::I4(7));
  PutField(map, u"SUID", Variant::I4(55));  // not read by file items

  ComPtr<CItemWMFile> file = MakeItem<CItemWMFile>();
  file->SetColumns(CItemWMFile::CreateColumns().Get());
  ASSERT_EQ(file->SchemaConvertMap2Item(map), S_OK);
  IItem* pItem = file->AsItem();

  EXPECT_EQ(Value(pItem, 0).vt(), VT_UI4);  // copied, not converted
  EXPECT_EQ(Value(pItem, 0).Get().ulVal, 4u);
  for (ULONG column : {4u, 5u}) {  // VT_R8 dates come out VT_DATE with the same value
    EXPECT_EQ(Value(pItem, column).vt(), VT_DATE);
    EXPECT_DOUBLE_EQ(Value(pItem, column).Get().date, column == 4 ? 40000.25 : -1.5);
  }
  EXPECT_EQ(Text(Value(pItem, 6).Get()), u"Invalid DateTime");  // a text keeps its tag
  EXPECT_EQ(Value(pItem, 8).Get().lVal, 7);
  EXPECT_EQ(Value(pItem, 7).vt(), VT_EMPTY);
  EXPECT_EQ(SuidOf(pItem), SUID_NULL);
  DCADATATYPE type{};
  ASSERT_EQ(pItem->getType(&type), S_OK);
  EXPECT_EQ(type, DCADT_FILE);

  // Progress goes to the owner only when there is one.
  LONG flag = 1;
  EXPECT_EQ(file->NotifyProgress(1, 2, &flag), S_OK);
  EXPECT_EQ(flag, 1);
  RecordingTarget target;
  file->SetDeviceData(&target);
  EXPECT_EQ(*file->ContinueFlag(), 1);
  EXPECT_EQ(file->NotifyProgress(4096, 10000, file->ContinueFlag()), S_OK);
  EXPECT_EQ(target.calls,
            (std::vector<std::tuple<LONG, LONG, LONG*>>{{4096, 10000, file->ContinueFlag()}}));
  EXPECT_EQ(*file->ContinueFlag(), 0);
}

}  // namespace
}  // namespace qwb
