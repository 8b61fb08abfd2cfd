// What a host compiles on its own, checked against the component it talks to. Every
// identifier, dispid, enumeration value and error code below is typed by hand, as an outside
// host author would copy it; none is taken from our headers. Each one is compared with what
// the running component answers (activation, QueryInterface, GetIDsOfNames, connection
// points, results of calls) and with the header a host compiles against, so a typo in either
// place fails here. The registry texts are compared key by key in RegistrationTest.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/Component.h"
#include "qwbdcawm/qwbdcawm.h"
#include "tests/core/TestEnv.h"
#include "tests/module/HandDeclaredHost.h"
#include "wincompat/comptr.h"

namespace {

::testing::Environment* const kRegistry =
    ::testing::AddGlobalTestEnvironment(new qwbtest::TempRegistry);

GUID Parse(const char16_t* text) {
  GUID g{};
  EXPECT_EQ(S_OK, CLSIDFromString(text, &g)) << std::string(text, text + 38);
  return g;
}

std::string Narrow(std::u16string_view s) { return std::string(s.begin(), s.end()); }

std::string Text(const GUID& g) {
  char16_t buffer[40] = {};
  StringFromGUID2(g, buffer, 40);
  return Narrow(buffer);
}

TEST(HostConstants, HeaderIdentifiersAreTheHostsOnes) {
  struct Row {
    const char* name;
    const char16_t* hand;
    const GUID& header;
  };
  const Row rows[] = {
      {"LIBID QWBDCAWMLib", u"{A9E7204F-93EC-413E-B3A7-8AB180529C20}", LIBID_QWBDCAWMLib},
      {"CLSID DeviceDataWM", u"{6FA1E685-F669-48B8-83B7-84FFB52677CB}", CLSID_DeviceDataWM},
      {"APPID QWBDCAWM", u"{EB78A53E-B425-4935-B722-245A977D6F01}", APPID_QWBDCAWM},
      {"IDeviceData", u"{77084905-DF94-45A6-90DC-C1DA1F58EF64}", IID_IDeviceData},
      {"IDeviceDataWM", u"{DC9B2A15-A418-458D-8810-1F3FF4B52185}", IID_IDeviceDataWM},
      {"IDataTable", u"{1AAA0702-6B57-4600-A90B-B325619840DE}", IID_IDataTable},
      {"IItem", u"{1738DA9E-76C3-4B87-BDC4-94FB92CB9D18}", IID_IItem},
      {"IColumnInfo", u"{FDC8BD3A-F44C-4C63-A057-B08DA4EAE682}", IID_IColumnInfo},
      {"IDeviceProtocol", u"{7E7E9444-2F1A-483C-805C-2A6A615D8598}", IID_IDeviceProtocol},
      {"IDeviceDataEvents", u"{36CAB2A3-4937-408C-A1BE-5A2F8BBD2D80}", DIID_IDeviceDataEvents},
      {"_IDeviceDataEvents", u"{65536554-3C1E-4927-8FCE-179773084E89}", DIID__IDeviceDataEvents},
      {"SUID alias", u"{FDB77DE4-973F-4A85-832A-AC7C33FEC18B}", GUID_SUID},
      {"TESTRESULT alias", u"{AE12AB0A-75B1-456D-8120-362BDF261C59}", GUID_TESTRESULT},
      {"IHostConnection", u"{2EF07E0F-30A9-457A-BCA8-2BFC40D0725F}", IID_IHostConnection},
      {"IHostModelDB", u"{02090516-1271-4449-A9AB-AC007E590738}", IID_IHostModelDB},
      {"IHostModelDBFiles", u"{FCDDE44D-3C5B-4B3D-9F8E-8120AB2CDD2F}", IID_IHostModelDBFiles},
      {"CLSID error reporter", u"{96491E7B-098B-4D03-B0DA-DBE2B46A1F55}", CLSID_ErrorReport},
      {"IErrorReport", u"{6F5C8C8B-C754-4B8D-B9B0-84C5CEFB716F}", IID_IErrorReport},
  };
  for (const Row& row : rows) EXPECT_EQ(Text(Parse(row.hand)), Text(row.header)) << row.name;
  EXPECT_EQ(qwbtest::kHandIHostConnection, IID_IHostConnection);
  EXPECT_EQ(u"QWBDCAWM.DeviceDataWM.1", std::u16string(QWBDCAWM_PROGID));
  EXPECT_EQ(u"QWBDCAWM.DeviceDataWM", std::u16string(QWBDCAWM_VERSION_INDEPENDENT_PROGID));
  EXPECT_EQ(17, DISPID_PROGRESS);
}

TEST(HostConstants, HeaderEnumerationsAndErrorCodesAreTheHostsOnes) {
  const std::vector<int> dtid = {DTID_PHONEBOOK, DTID_CALENDAR, DTID_MESSAGE, DTID_FILE,
                                 DTID_TASK, DTID_MEMO, DTID_METADATA, DTID_SIM, DTID_DDAY,
                                 DTID_MMS, DTID_SIM2, DTID_VOICEMEMO, DTID_TIMETABLE,
                                 DTID_MYDIARY_SCHEDULEDECO, DTID_MYDIARY_MISSION,
                                 DTID_MYDIARY_DIARY, DTID_MYDIARY_ANYLOG, DTID_MAX};
  EXPECT_EQ(dtid, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}));
  const std::vector<int> dcadt = {
      DCADT_PHONEBOOK, DCADT_PHONEBOOK_SIM, DCADT_PHONEBOOK_USIM, DCADT_GROUP, DCADT_GROUP_JOIN,
      DCADT_SCHEDULE, DCADT_ANNIVERSARY, DCADT_DDAY, DCADT_TASK, DCADT_MEMO, DCADT_SMS,
      DCADT_MMS, DCADT_EMAIL, DCADT_FILE_INFO, DCADT_FOLDER, DCADT_FILE, DCADT_FILE_TYPE,
      DCADT_METADATA, DCADT_SECURITY, DCADT_VOICEMEMO, DCADT_TIMETABLE, DCADT_TIMETABLE_INFO,
      DCADT_MYDIARY_SCHEDULEDECO, DCADT_MYDIARY_MISSION, DCADT_MYDIARY_DIARY,
      DCADT_MYDIARY_DIARYDECO, DCADT_MYDIARY_ANYLOG, DCADT_ETC, DCADT_ALL};
  EXPECT_EQ(dcadt, (std::vector<int>{0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
                                     15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, -3, -2}));
  EXPECT_EQ((std::vector<int>{SUID_UNKNOWN, SUID_NULL}), (std::vector<int>{-2, -1}));
  const std::vector<int> test = {
      TEST_SUCCESS, TEST_CANNOT_TEST, TEST_INVALID_TYPE, TEST_STR_TOO_LONG,
      TEST_STR_IS_ESSENTIAL, TEST_STR_INCLUDE_INVALID_CHAR, TEST_NUM_MORE_THAN_MAX,
      TEST_NUM_LESS_THAN_MIN, TEST_TIME_MORE_THAN_MAX, TEST_TIME_LESS_THAN_MIN,
      TEST_TIME_LOSS_BY_UNDERFLOW, TEST_TIMESPAN_MORE_THAN_MAX, TEST_TIMESPAN_LESS_THAN_MIN,
      TEST_TIMESPAN_LOSS_BY_UNDERFLOW, TEST_ENUM_INVALID_VALUE, TEST_NOT_IMPL};
  EXPECT_EQ(test, (std::vector<int>{0, 2, 3, 16, 17, 18, 32, 33, 48, 49, 50, 64, 65, 66, 80, -1}));
  EXPECT_EQ((std::vector<int>{DCASS_START, DCASS_STOP, DCASS_END}), (std::vector<int>{0, 1, 2}));
  const std::vector<HRESULT> codes = {E_NOTIMPL,     E_NOINTERFACE, E_POINTER,
                                      E_FAIL,        E_OUTOFMEMORY, E_INVALIDARG,
                                      CONNECT_E_NOCONNECTION};
  EXPECT_EQ(codes, (std::vector<HRESULT>{HRESULT(0x80004001), HRESULT(0x80004002),
                                         HRESULT(0x80004003), HRESULT(0x80004005),
                                         HRESULT(0x8007000E), HRESULT(0x80070057),
                                         HRESULT(0x80040200)}));
}

// The running component, reached only through hand-typed identifiers.
class HostConstantsOnComponent : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, CoInitialize(nullptr));
    ASSERT_TRUE(SUCCEEDED(qwbhost::EnsureComponentRegistered()));
    ASSERT_TRUE(SUCCEEDED(
        qwbhost::RegisterServerLibrary(qwbhost::ExecutableFolder() + "/libErrorReport.so")));
  }
  void TearDown() override { CoUninitialize(); }

  template <class T>
  ComPtr<T> Query(IUnknown* p, const char16_t* iid, HRESULT expect = S_OK) {
    ComPtr<T> out;
    EXPECT_EQ(expect, p->QueryInterface(Parse(iid),
                                        reinterpret_cast<void**>(out.ReleaseAndGetAddressOf())))
        << Narrow(iid);
    return out;
  }

  // The dispid of every name, looked up through the object's IDispatch.
  static void ExpectDispids(IDispatch* object, const std::vector<std::pair<const char16_t*, DISPID>>& want) {
    for (const auto& [name, dispid] : want) {
      LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
      DISPID got = -12345;
      EXPECT_EQ(S_OK, object->GetIDsOfNames(IID_NULL, names, 1, 0, &got)) << Narrow(name);
      EXPECT_EQ(dispid, got) << Narrow(name);
    }
  }
};

TEST_F(HostConstantsOnComponent, ObjectsAnswerTheHostsIdentifiersAndDispids) {
  const char16_t* kClsid = u"{6FA1E685-F669-48B8-83B7-84FFB52677CB}";
  const char16_t* kIDeviceData = u"{77084905-DF94-45A6-90DC-C1DA1F58EF64}";
  const char16_t* kIDataTable = u"{1AAA0702-6B57-4600-A90B-B325619840DE}";
  const char16_t* kIItem = u"{1738DA9E-76C3-4B87-BDC4-94FB92CB9D18}";
  const char16_t* kEvents = u"{36CAB2A3-4937-408C-A1BE-5A2F8BBD2D80}";
  const char16_t* kEventsDefault = u"{65536554-3C1E-4927-8FCE-179773084E89}";

  // Activation by the class id and by both ProgIDs.
  CLSID byProgId{};
  ASSERT_EQ(S_OK, CLSIDFromProgID(u"QWBDCAWM.DeviceDataWM.1", &byProgId));
  EXPECT_EQ(Parse(kClsid), byProgId);
  ASSERT_EQ(S_OK, CLSIDFromProgID(u"QWBDCAWM.DeviceDataWM", &byProgId));
  EXPECT_EQ(Parse(kClsid), byProgId);
  ComPtr<IUnknown> object;
  ASSERT_EQ(S_OK, CoCreateInstance(Parse(kClsid), nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(object.ReleaseAndGetAddressOf())));

  // The device data object's interface map.
  auto device = Query<IDeviceData>(object.Get(), kIDeviceData);
  Query<IUnknown>(object.Get(), u"{7E7E9444-2F1A-483C-805C-2A6A615D8598}");  // IDeviceProtocol
  Query<IUnknown>(object.Get(), u"{DC9B2A15-A418-458D-8810-1F3FF4B52185}",
                  HRESULT(0x80004002));  // IDeviceDataWM: declared, never answered
  auto errorInfo = Query<ISupportErrorInfo>(object.Get(), u"{DF0B3D60-548F-101B-8E65-08002B2BD119}");
  ASSERT_TRUE(errorInfo);
  EXPECT_EQ(S_OK, errorInfo->InterfaceSupportsErrorInfo(Parse(kIDeviceData)));
  EXPECT_EQ(S_FALSE, errorInfo->InterfaceSupportsErrorInfo(Parse(kIDataTable)));
  ExpectDispids(device.Get(), {{u"ListDataTable", 1}, {u"GetDataTable", 2},
                               {u"SetConneciton", 5}, {u"SetProperty", 6}});
  EXPECT_EQ(HRESULT(0x80004001), device->SetProperty(nullptr, nullptr));

  // The two event interfaces, in this order, and the cookie error.
  auto container =
      Query<IConnectionPointContainer>(object.Get(), u"{B196B284-BAB4-101A-B69C-00AA00341D07}");
  ASSERT_TRUE(container);
  ComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(S_OK, container->EnumConnectionPoints(points.ReleaseAndGetAddressOf()));
  std::vector<std::string> order;
  for (;;) {
    ComPtr<IConnectionPoint> point;
    if (points->Next(1, point.ReleaseAndGetAddressOf(), nullptr) != S_OK) break;
    IID iid{};
    point->GetConnectionInterface(&iid);
    order.push_back(Text(iid));
  }
  EXPECT_EQ(order, (std::vector<std::string>{Text(Parse(kEvents)), Text(Parse(kEventsDefault))}));
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(S_OK, container->FindConnectionPoint(Parse(kEventsDefault),
                                                 point.ReleaseAndGetAddressOf()));
  EXPECT_EQ(HRESULT(0x80040200), point->Unadvise(7));

  // A host connection declared from the slot layout and the hand-typed id is asked for
  // "DRIVE" once by each of the nine tables, and only through slot 26.
  qwbtest::HandHostConnection connection(u"E:");
  ASSERT_EQ(S_OK, device->SetConneciton(&connection, nullptr));
  EXPECT_GT(connection.Refs(), 1u);  // kept
  ASSERT_EQ(S_OK, device->ListDataTable());
  EXPECT_EQ(connection.asked, std::vector<std::u16string>(9, u"DRIVE"));
  EXPECT_TRUE(connection.wrongSlots.empty());

  // Served and refused table identifiers, typed by value.
  for (int id : {5, 8, 10, 12, 13, 14, 15, 16, 17, 18, -1}) {
    IDataTable* untouched = reinterpret_cast<IDataTable*>(0x1);
    EXPECT_EQ(HRESULT(0x80004001), device->GetDataTable(DATATABLE_SUID(id), &untouched)) << id;
    EXPECT_EQ(reinterpret_cast<IDataTable*>(0x1), untouched) << id;
  }
  ComPtr<IDataTable> task;
  for (int id : {0, 1, 2, 3, 4, 6, 7, 9, 11}) {
    ComPtr<IDataTable> table;
    EXPECT_EQ(S_OK, device->GetDataTable(DATATABLE_SUID(id), table.ReleaseAndGetAddressOf())) << id;
    ASSERT_TRUE(table) << id;
    Query<IDataTable>(table.Get(), kIDataTable);
    if (id == 4) task = table;
  }

  // The table's dispids, and an item's.
  ExpectDispids(task.Get(), {{u"ListItemsAllBegin", 12}, {u"ListChildItemsBegin", 18},
                             {u"NextItem", 19},          {u"ListItemsEnd", 20},
                             {u"GetItemCount", 21},      {u"NewItem", 11},
                             {u"CreateItem", 13},        {u"UpdateItem", 14},
                             {u"DeleteItem", 15},        {u"ReadItem", 16},
                             {u"MoveItem", 17},          {u"GetItem", 22},
                             {u"PutItem", 23},           {u"Execute", 24},
                             {u"GetProperty", 25},       {u"SetSyncStatus", 26},
                             {u"ListItemsAllBegin2", 27}, {u"ExecuteMMSCancel", 28}});
  ComPtr<IItem> item;
  ASSERT_EQ(S_OK, task->NewItem(DCADATATYPE(8), SUID(-1), SUID(-1), item.ReleaseAndGetAddressOf()));
  Query<IItem>(item.Get(), kIItem);
  ExpectDispids(item.Get(), {{u"SUID", 1},           {u"parent", 2},        {u"getType", 5},
                             {u"GetColumnCount", 6}, {u"GetColumnInfo", 7}, {u"GetColumnFlags", 8},
                             {u"GetColumnName", 9},  {u"GetColumnType", 10}, {u"GetLength", 11},
                             {u"GetOrdinal", 12},    {u"GetStatus", 13},    {u"SetStatus", 14},
                             {u"GetValue", 15},      {u"SetValue", 16},     {u"ReadBlobTo", 18},
                             {u"WriteBlobFrom", 19}});
  DCADATATYPE type = DCADATATYPE(-100);
  EXPECT_EQ(S_OK, item->getType(&type));
  EXPECT_EQ(8, type);
  BSTR name = nullptr;
  EXPECT_EQ(HRESULT(0x80004005), item->GetColumnName(20, &name));
  SUID parent = SUID(0);
  EXPECT_EQ(HRESULT(0x80004001), item->get_parent(&parent));
  EXPECT_EQ(HRESULT(0x80004001), task->MoveItem(item.Get(), nullptr));
}

TEST_F(HostConstantsOnComponent, TheErrorReporterAnswersItsIdentifiers) {
  ComPtr<IUnknown> reporter;
  ASSERT_EQ(S_OK, CoCreateInstance(Parse(u"{96491E7B-098B-4D03-B0DA-DBE2B46A1F55}"), nullptr,
                                   CLSCTX_ALL, IID_IUnknown,
                                   reinterpret_cast<void**>(reporter.ReleaseAndGetAddressOf())));
  Query<IUnknown>(reporter.Get(), u"{6F5C8C8B-C754-4B8D-B9B0-84C5CEFB716F}");
  Query<IUnknown>(reporter.Get(), u"{1CF2B120-547D-101B-8E65-08002B2BD119}");  // IErrorInfo
}

}  // namespace
