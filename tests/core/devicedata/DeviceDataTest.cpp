// The device data object: interface map, aggregation and module count, table creation, the
// host objects it keeps, the lazily created device link and the Progress event.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/DataTableWMBase.h"
#include "core/DeviceDataWM.h"
#include "core/ModuleCount.h"
#include "tests/support/EmulatedPhone.h"
#include "host/HostObjects.h"
#include "link/RapiBase.h"
#include "tables/TableRegistry.h"
#include "module/ClassFactory.h"
#include "tests/core/TestEnv.h"
#include "tests/link/FakeRapiStream.h"
#include "wincompat/rapi_testhooks.h"

namespace {

using qwb::CDeviceDataWM;
using qwbhost::HostConnection;
using qwbhost::HostModelDB;
using qwbhost::ProgressCall;
using qwbhost::ProgressSink;
using qwbtest::DebugLines;

::testing::Environment* const kRegistry =
    ::testing::AddGlobalTestEnvironment(new qwbtest::TempRegistry);

ComPtr<IDeviceData> NewDeviceData() {
  ComPtr<IDeviceData> dd;
  EXPECT_EQ(S_OK,
            CDeviceDataWM::CreateInstance(nullptr, IID_IDeviceData,
                                          reinterpret_cast<void**>(dd.ReleaseAndGetAddressOf()),
                                          qwb::ServedTables()));
  return dd;
}

CDeviceDataWM* Impl(const ComPtr<IDeviceData>& dd) { return static_cast<CDeviceDataWM*>(dd.Get()); }

template <class T>
ComPtr<T> Query(IUnknown* p, const IID& iid, HRESULT expect = S_OK) {
  ComPtr<T> out;
  EXPECT_EQ(expect, p->QueryInterface(iid, reinterpret_cast<void**>(out.ReleaseAndGetAddressOf())));
  return out;
}

// Answers IUnknown itself; hands other interfaces to `inner` (as an outer object) or fails them.
class PlainObject : public IUnknown {
 public:
  explicit PlainObject(HRESULT answer = E_NOINTERFACE) : answer_(answer) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid != IID_IUnknown)
      return inner ? inner->QueryInterface(riid, ppv) : (*ppv = nullptr, answer_);
    *ppv = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 1;
  IUnknown* inner = nullptr;

 private:
  HRESULT answer_;
};

class DeviceDataOnPhone : public ::testing::Test {
 protected:
  qwbhost::EmulatedPhone phone_;
};

TEST(DeviceData, AnswersItsInterfaceMapAndRefusesTheRest) {
  ComPtr<IDeviceData> dd = NewDeviceData();
  qwbtest::ExpectInterfaceMap(dd.Get(), {&IID_IUnknown, &IID_IDispatch, &IID_IDeviceData},
                              IID_IDeviceData,
                              {&IID_IDeviceDataWM, &IID_IProvideClassInfo, &IID_IProvideClassInfo2,
                               &IID_IDataTable, &IID_IItem, &IID_IClassFactory});
  // The connection point container and the protocol lead back to the same identity.
  void* const self = dd.Get();
  auto cpc = Query<IConnectionPointContainer>(dd.Get(), IID_IConnectionPointContainer);
  auto protocol = Query<IDeviceProtocol>(dd.Get(), IID_IDeviceProtocol);
  ASSERT_TRUE(cpc && protocol);
  EXPECT_EQ(self, static_cast<void*>(Query<IUnknown>(protocol.Get(), IID_IUnknown).Get()));
  EXPECT_EQ(self, static_cast<void*>(Query<IUnknown>(cpc.Get(), IID_IUnknown).Get()));
  EXPECT_EQ(self, static_cast<void*>(Query<IDeviceData>(protocol.Get(), IID_IDeviceData).Get()));
}

TEST(DeviceData, AggregationKeepsTheModuleCount) {
  const LONG base = qwb::ModuleLockCount();
  PlainObject outer;
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_NOAGGREGATION,
            CDeviceDataWM::CreateInstance(&outer, IID_IDeviceData, &p, qwb::ServedTables()));
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(base, qwb::ModuleLockCount());

  ASSERT_EQ(S_OK, CDeviceDataWM::CreateInstance(&outer, IID_IUnknown, &p, qwb::ServedTables()));
  outer.inner = static_cast<IUnknown*>(p);
  EXPECT_EQ(base + 1, qwb::ModuleLockCount());
  // Interfaces of the inner object count on the outer one and answer its identity.
  ComPtr<IDeviceData> dd = Query<IDeviceData>(outer.inner, IID_IDeviceData);
  EXPECT_EQ(2u, outer.refs);
  EXPECT_EQ(static_cast<IUnknown*>(&outer), Query<IUnknown>(dd.Get(), IID_IUnknown).Get());
  dd.Reset();
  EXPECT_EQ(0u, outer.inner->Release());
  EXPECT_EQ(base, qwb::ModuleLockCount());

  // The class factory refuses aggregation too.
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, qwb::GetClassObject(CLSID_DeviceDataWM, IID_IClassFactory,
                                      reinterpret_cast<void**>(factory.ReleaseAndGetAddressOf())));
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IDeviceData, &p));
}

TEST_F(DeviceDataOnPhone, ListDataTableCreatesNineTablesOnceAndKeepsThoseBeforeAFailure) {
  ComPtr<IDeviceData> dd = NewDeviceData();
  auto connection = HostConnection::Create(u"C:");
  auto modelDB = HostModelDB::Create();
  const ULONG modelRefs = modelDB->RefCount();
  const LONG base = qwb::ModuleLockCount();
  ASSERT_EQ(S_OK, dd->SetConneciton(connection.Get(), modelDB->AsUnknown()));
  // The model database is kept once as IHostModelDB.
  EXPECT_EQ(modelRefs + 1, modelDB->RefCount());

  // The sixth table's "DRIVE" query fails: the five created before it, in their order, stay.
  connection->FailWith(E_ACCESSDENIED, 5);
  EXPECT_EQ(E_FAIL, dd->ListDataTable());
  EXPECT_EQ(6u, connection->Requests().size());
  EXPECT_EQ(base + 5, qwb::ModuleLockCount());
  for (DATATABLE_SUID id : {DTID_METADATA, DTID_SIM}) {
    ComPtr<IDataTable> t;
    EXPECT_EQ(S_OK, dd->GetDataTable(id, t.ReleaseAndGetAddressOf()));
    EXPECT_EQ(id == DTID_METADATA, static_cast<bool>(t)) << id;
  }

  connection->FailWith(S_OK);
  EXPECT_EQ(S_OK, dd->ListDataTable());
  EXPECT_EQ(10u, connection->Requests().size());
  EXPECT_EQ(base + 9, qwb::ModuleLockCount());
  for (const auto& name : connection->Requests()) EXPECT_EQ(name, u"DRIVE");
  // The file table keeps the model database's IHostModelDBFiles.
  EXPECT_EQ(modelRefs + 2, modelDB->RefCount());

  // A second call does nothing.
  EXPECT_EQ(S_OK, dd->ListDataTable());
  EXPECT_EQ(10u, connection->Requests().size());
  EXPECT_EQ(base + 9, qwb::ModuleLockCount());

  dd.Reset();
  EXPECT_EQ(base - 1, qwb::ModuleLockCount());
  EXPECT_EQ(modelRefs, modelDB->RefCount());
}

TEST(DeviceData, SetConnecitonAcceptsRefusalsButNotOtherFailures) {
  ComPtr<IDeviceData> dd = NewDeviceData();
  PlainObject refusing;
  DebugLines debug;
  EXPECT_EQ(S_OK, dd->SetConneciton(&refusing, &refusing));
  EXPECT_EQ(std::vector<std::string>{"[QWBDCAWM]CDeviceDataWM::SetConneciton\n"}, debug.Take());
  EXPECT_EQ(S_OK, dd->SetConneciton(nullptr, nullptr));
  // Without a connection the tables get no drive letter and nothing fails.
  EXPECT_EQ(S_OK, dd->ListDataTable());
  EXPECT_EQ(nullptr, Impl(dd)->GetConnection());

  PlainObject failing(E_ACCESSDENIED);
  EXPECT_EQ(E_ACCESSDENIED, dd->SetConneciton(&failing, nullptr));
  auto connection = HostConnection::Create();
  EXPECT_EQ(S_OK, dd->SetConneciton(connection.Get(), nullptr));
  EXPECT_EQ(static_cast<IHostConnection*>(connection.Get()), Impl(dd)->GetConnection());
  // The connection is stored before the model database is asked.
  EXPECT_EQ(E_ACCESSDENIED, dd->SetConneciton(connection.Get(), &failing));
  EXPECT_EQ(static_cast<IHostConnection*>(connection.Get()), Impl(dd)->GetConnection());
  EXPECT_EQ(1u, refusing.refs);
  EXPECT_EQ(1u, failing.refs);
}

TEST(DeviceData, ProgressReachesEverySinkOfBothPointsInOrder) {
  ComPtr<IDeviceData> dd = NewDeviceData();
  auto cpc = Query<IConnectionPointContainer>(dd.Get(), IID_IConnectionPointContainer);
  ComPtr<IConnectionPoint> first, second, none;
  ASSERT_EQ(S_OK, cpc->FindConnectionPoint(DIID_IDeviceDataEvents, first.ReleaseAndGetAddressOf()));
  ASSERT_EQ(S_OK,
            cpc->FindConnectionPoint(DIID__IDeviceDataEvents, second.ReleaseAndGetAddressOf()));
  EXPECT_NE(S_OK, cpc->FindConnectionPoint(IID_IDispatch, none.ReleaseAndGetAddressOf()));

  auto log = std::make_shared<std::vector<ProgressCall>>();
  auto a = ProgressSink::Create("a", DIID_IDeviceDataEvents, log);
  auto b = ProgressSink::Create("b", DIID_IDeviceDataEvents, log);
  auto c = ProgressSink::Create("c", DIID__IDeviceDataEvents, log);
  b->StopAt(-2);
  // c goes first in time to show that the points, not the advise order, decide.
  DWORD cookieC = 0, cookieA = 0, cookieB = 0;
  ASSERT_EQ(S_OK, second->Advise(c.Get(), &cookieC));
  ASSERT_EQ(S_OK, first->Advise(a.Get(), &cookieA));
  ASSERT_EQ(S_OK, first->Advise(b.Get(), &cookieB));
  EXPECT_EQ((std::vector<DWORD>{1, 1, 2}), (std::vector<DWORD>{cookieC, cookieA, cookieB}));
  const ULONG idleRefs = a->RefCount();

  LONG keepGoing = 1;
  Impl(dd)->FireProgress(-2, 0x7FFFFFFF, &keepGoing);
  auto order = [&] {
    std::string s;
    for (const ProgressCall& call : *log) s += call.sink + std::to_string(call.continueOnEntry);
    return s;
  };
  // b stopped the transfer; c, called after it, saw the flag already cleared.
  EXPECT_EQ("a1b1c0", order());
  EXPECT_EQ(0, keepGoing);
  for (const ProgressCall& call : *log) {
    EXPECT_EQ(17, call.dispid);
    EXPECT_EQ(DISPATCH_METHOD, call.flags);
    EXPECT_EQ((std::vector<VARTYPE>{VT_BYREF | VT_I4, VT_I8, VT_I8}), call.types);
    EXPECT_EQ(-2, call.done);  // sign-extended
    EXPECT_EQ(0x7FFFFFFF, call.total);
    EXPECT_EQ(&keepGoing, call.pContinue);
    EXPECT_GT(call.refsDuringCall, idleRefs);  // held for the call
  }
  EXPECT_EQ(idleRefs, a->RefCount());

  // An emptied slot is skipped; unknown cookies are refused.
  EXPECT_EQ(S_OK, first->Unadvise(cookieA));
  EXPECT_EQ(CONNECT_E_NOCONNECTION, first->Unadvise(cookieA));
  EXPECT_EQ(CONNECT_E_NOCONNECTION, second->Unadvise(0));
  log->clear();
  keepGoing = 1;
  Impl(dd)->FireProgress(5, 10, &keepGoing);
  EXPECT_EQ("b1c0", order());  // b still stops everything from -2 on
}

TEST(DeviceData, ProgressHoldsEachSinkForItsOwnCallOnly) {
  ComPtr<IDeviceData> dd = NewDeviceData();
  auto cpc = Query<IConnectionPointContainer>(dd.Get(), IID_IConnectionPointContainer);
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(S_OK, cpc->FindConnectionPoint(DIID_IDeviceDataEvents, point.ReleaseAndGetAddressOf()));
  auto log = std::make_shared<std::vector<ProgressCall>>();
  auto a = ProgressSink::Create("a", DIID_IDeviceDataEvents, log);
  auto b = ProgressSink::Create("b", DIID_IDeviceDataEvents, log);
  auto c = ProgressSink::Create("c", DIID_IDeviceDataEvents, log);
  DWORD cookieA = 0, cookieB = 0, cookieC = 0;
  ASSERT_EQ(S_OK, point->Advise(a.Get(), &cookieA));
  ASSERT_EQ(S_OK, point->Advise(b.Get(), &cookieB));
  ASSERT_EQ(S_OK, point->Advise(c.Get(), &cookieC));
  const ULONG idleRefs = c->RefCount();
  // a's handler unadvises b: b is not called any more, c still is; while a runs, c is not
  // held yet.
  ULONG cRefsWhileARuns = 0;
  a->OnCall([&] {
    cRefsWhileARuns = c->RefCount();
    point->Unadvise(cookieB);
  });
  LONG keepGoing = 1;
  Impl(dd)->FireProgress(1, 2, &keepGoing);
  std::string order;
  for (const ProgressCall& call : *log) order += call.sink;
  EXPECT_EQ("ac", order);
  EXPECT_EQ(idleRefs, cRefsWhileARuns);
  EXPECT_EQ(idleRefs, c->RefCount());
  a->OnCall(nullptr);
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST_F(DeviceDataOnPhone, GetDataTableRefusesUnservedIdentifiersAndCreatesTheLinkOnce) {
  ComPtr<IDeviceData> dd = NewDeviceData();
  auto connection = HostConnection::Create();
  ASSERT_EQ(S_OK, dd->SetConneciton(connection.Get(), nullptr));

  DebugLines debug;
  // Before ListDataTable: S_OK with no table.
  IDataTable* table = reinterpret_cast<IDataTable*>(1);
  EXPECT_EQ(S_OK, dd->GetDataTable(DTID_TASK, &table));
  EXPECT_EQ(nullptr, table);
  std::vector<std::string> lines = debug.Take();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ("[QWBDCAWM]CDeviceDataWM::GetDataTable\n", lines[0]);
  EXPECT_EQ("[CDeviceDataWM::GetDataTable]WM>> new CRapiBase \n", lines[1]);
  ASSERT_NE(nullptr, Impl(dd)->GetRapiBase());
  CRapiBase* link = Impl(dd)->GetRapiBase();

  // Identifiers that are not served: E_NOTIMPL, the out-pointer untouched.
  for (int id : {5, 8, 10, 12, 18, 1000, -1, -100}) {
    IDataTable* untouched = reinterpret_cast<IDataTable*>(0x1234);
    EXPECT_EQ(E_NOTIMPL, dd->GetDataTable(static_cast<DATATABLE_SUID>(id), &untouched)) << id;
    EXPECT_EQ(reinterpret_cast<IDataTable*>(0x1234), untouched) << id;
  }
  EXPECT_FALSE(Contains(debug.Take(), "[CDeviceDataWM::GetDataTable]WM>> new CRapiBase \n"));
  EXPECT_EQ(link, Impl(dd)->GetRapiBase());
  EXPECT_EQ(E_POINTER, dd->GetDataTable(DTID_TASK, nullptr));
}

TEST_F(DeviceDataOnPhone, OnlyThePhonebookStartsTheStreamAndOnlyOnce) {
  qwbtest::FakeRapiStream stream;  // only its count matters
  std::vector<std::u16string> invoked;
  CRapiBase::SetInvokeForTesting([&](LPCWSTR, LPCWSTR function, DWORD, BYTE*, DWORD*, BYTE**,
                                     IRAPIStream** ppStream, DWORD) -> HRESULT {
    invoked.emplace_back(function);
    if (!ppStream) return E_FAIL;
    stream.AddRef();
    *ppStream = &stream;
    return S_OK;
  });
  {
    ComPtr<IDeviceData> dd = NewDeviceData();
    ComPtr<IDataTable> t;
    DebugLines debug;
    for (DATATABLE_SUID id : {DTID_CALENDAR, DTID_MESSAGE, DTID_FILE, DTID_TASK, DTID_METADATA,
                              DTID_SIM, DTID_MMS, DTID_VOICEMEMO, DTID_MEMO, DTID_SIM2}) {
      dd->GetDataTable(id, t.ReleaseAndGetAddressOf());
    }
    EXPECT_TRUE(invoked.empty());
    EXPECT_FALSE(Impl(dd)->GetRapiBase()->HasStream());
    EXPECT_FALSE(Contains(debug.Take(), "WM>> StartApplyAllData()"));

    EXPECT_EQ(S_OK, dd->GetDataTable(DTID_PHONEBOOK, t.ReleaseAndGetAddressOf()));
    EXPECT_EQ(std::vector<std::u16string>{u"DevCeApplyAllData"}, invoked);
    EXPECT_EQ(&stream, Impl(dd)->GetRapiBase()->StreamForTesting());
    EXPECT_TRUE(Contains(debug.Take(), "WM>> StartApplyAllData()"));

    // The stream is open: no second start.
    EXPECT_EQ(S_OK, dd->GetDataTable(DTID_PHONEBOOK, t.ReleaseAndGetAddressOf()));
    EXPECT_EQ(1u, invoked.size());
    EXPECT_FALSE(Contains(debug.Take(), "WM>> StartApplyAllData()"));

    // A released stream (as the phonebook does after a failed write) is started again.
    Impl(dd)->GetRapiBase()->ReleaseStream();
    EXPECT_EQ(S_OK, dd->GetDataTable(DTID_PHONEBOOK, t.ReleaseAndGetAddressOf()));
    EXPECT_EQ(2u, invoked.size());
  }
  CRapiBase::SetInvokeForTesting(nullptr);
  // Destroying the device data object closed the stream.
  EXPECT_EQ(0u, stream.refs);
}

TEST_F(DeviceDataOnPhone, ModelTypeIsAskedOnceAndCached) {
  ComPtr<IDeviceData> dd = NewDeviceData();
  DebugLines debug;
  // "Hanul HD-100" is a domestic model (0).
  EXPECT_EQ(0, Impl(dd)->GetWMModelType());
  EXPECT_TRUE(Contains(debug.Take(), "[CDeviceDataWM::GetWMModelType]WM>> new CRapiBase \n"));
  // Another model on the same phone would answer 1; the cache keeps the first answer.
  phone_.emulator().registry().SetString(0x80000002u, u"Ident", u"OrigName", u"Aster W1");
  CRapiBase probe;
  EXPECT_EQ(1, probe.GetWMModelType());
  EXPECT_EQ(0, Impl(dd)->GetWMModelType());
}

}  // namespace
