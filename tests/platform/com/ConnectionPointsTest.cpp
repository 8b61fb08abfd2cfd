#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "TestObjects.h"
#include "wincompat/connpoint.h"

namespace {

constexpr IID kEvents = {
    0x36CAB2A3, 0x4937, 0x408C, {0xA1, 0xBE, 0x5A, 0x2F, 0x8B, 0xBD, 0x2D, 0x80}};
constexpr IID kEvents2 = {
    0x65536554, 0x3C1E, 0x4927, {0x8F, 0xCE, 0x17, 0x97, 0x73, 0x08, 0x4E, 0x89}};

class Source final : public wincompat::ConnectionPointContainerImpl {
 public:
  Source() : ConnectionPointContainerImpl({kEvents, kEvents2}) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return wctest::Answer(this, riid, ppv, {&IID_IConnectionPointContainer});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  std::atomic<ULONG> refs{1};
};

// The connected sinks, in slot order.
std::vector<IUnknown*> SinksOf(const wincompat::ConnectionPoint& point) {
  std::vector<IUnknown*> r;
  for (const auto& sink : point.Sinks()) r.push_back(sink.Get());
  return r;
}

TEST(ConnectionPoints, AdviseUnadviseCookiesAndSlots) {
  wctest::Counted byIid(false, &kEvents), byDispatch(true), neither(false);
  {
    Source src;
    ComPtr<IConnectionPoint> cp;
    ASSERT_EQ(src.FindConnectionPoint(kEvents, cp.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(src.refs.load(), 2u);  // the point counts on its container
    IConnectionPoint* none = reinterpret_cast<IConnectionPoint*>(1);
    EXPECT_EQ(src.FindConnectionPoint(IID_IDispatch, &none), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(none, nullptr);
    DWORD c1 = 0, c2 = 0, c3 = 99;
    ASSERT_EQ(cp->Advise(&byIid, &c1), S_OK);
    ASSERT_EQ(cp->Advise(&byDispatch, &c2), S_OK);
    EXPECT_EQ(cp->Advise(&neither, &c3), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(c1, 1u);
    EXPECT_EQ(c2, 2u);
    EXPECT_EQ(c3, 0u);
    EXPECT_EQ(byIid.refs.load(), 2u);
    EXPECT_EQ(neither.refs.load(), 1u);

    EXPECT_EQ(cp->Unadvise(1), S_OK);
    EXPECT_EQ(byIid.refs.load(), 1u);
    for (DWORD gone : {1, 0, 3}) EXPECT_EQ(cp->Unadvise(gone), CONNECT_E_NOCONNECTION) << gone;
    auto& point = *src.ConnectionPoints().Find(kEvents);
    IUnknown *const a = &byIid, *const b = &byDispatch;
    EXPECT_EQ(point.SinkCount(), 1u);
    EXPECT_EQ(SinksOf(point), std::vector<IUnknown*>{b});

    // The emptied first slot is taken again; a third sink grows the array.
    ASSERT_EQ(cp->Advise(&byIid, &c1), S_OK);
    ASSERT_EQ(cp->Advise(&byIid, &c3), S_OK);
    EXPECT_EQ(c1, 1u);
    EXPECT_EQ(c3, 3u);
    EXPECT_EQ(SinksOf(point), (std::vector<IUnknown*>{a, b, a}));
    EXPECT_EQ(src.ConnectionPoints().Point(1).SinkCount(), 0u);  // the other point is separate
    cp = nullptr;
    EXPECT_EQ(src.refs.load(), 1u);
  }
  // The container's end releases every sink still connected.
  EXPECT_EQ(byIid.refs.load(), 1u);
  EXPECT_EQ(byDispatch.refs.load(), 1u);
}

TEST(ConnectionPoints, PointsEnumeratedInOrderHoldTheContainer) {
  Source src;
  ComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(src.EnumConnectionPoints(points.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_GT(src.refs.load(), 1u);
  IConnectionPoint* p[3] = {};
  ULONG got = 0;
  ASSERT_EQ(points->Next(3, p, &got), S_FALSE);
  ASSERT_EQ(got, 2u);
  IID iid[2];
  for (int i = 0; i < 2; ++i) {
    p[i]->GetConnectionInterface(&iid[i]);
    p[i]->Release();
  }
  EXPECT_EQ(iid[0], kEvents);
  EXPECT_EQ(iid[1], kEvents2);
  points = nullptr;
  EXPECT_EQ(src.refs.load(), 1u);
}

TEST(ConnectionPoints, FiringThroughDispatchSinksSeesTheContinueFlag) {
  wctest::Counted first(true), second(true);
  second.flagToStore = 0;  // asks to stop
  Source src;
  auto& point = src.ConnectionPoints().Point(1);
  DWORD c;
  point.Advise(&first, &c);
  point.Advise(&second, &c);
  LONG proceed = 1;
  VARIANT args[3] = {Variant::I4(0).Detach(), Variant::I8(100).Detach(), Variant::I8(10).Detach()};
  args[0].vt = VT_BYREF | VT_I4;
  args[0].plVal = &proceed;
  DISPPARAMS dp{args, nullptr, 3, 0};
  for (const auto& sink : point.DispatchSinks()) {
    sink->Invoke(17, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, nullptr, nullptr,
                 nullptr);
    if (!proceed) break;
  }
  EXPECT_EQ(first.invokes, 1);
  EXPECT_EQ(second.invokes, 1);
  EXPECT_EQ(second.lastDispid, 17);
  EXPECT_EQ(proceed, 0);
}

}  // namespace
