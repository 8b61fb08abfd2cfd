// Connection points for COM objects that fire events.
//
// A container object derives from ConnectionPointContainerImpl (which implements
// IConnectionPointContainer; the object's own QueryInterface/AddRef/Release serve it) or
// embeds a ConnectionPointSet and forwards to it. Each point keeps a growing array of sinks;
// a cookie is the 1-based slot number, an unadvised slot becomes empty and is skipped, and a
// later Advise takes the first empty slot.
#pragma once

#include <initializer_list>
#include <mutex>
#include <vector>

#include "wincompat/comptr.h"

namespace wincompat {

class ConnectionPointSet;

class ConnectionPoint final : public IConnectionPoint {
 public:
  ConnectionPoint(ConnectionPointSet* owner, const IID& iid) : owner_(owner), iid_(iid) {}
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;
  ~ConnectionPoint();

  // IUnknown: counted on the container.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IConnectionPoint
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** pp) override;
  // Asks the sink for the connection's IID, else IDispatch; CONNECT_E_CANNOTCONNECT when
  // it answers neither.
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override;

  const IID& Iid() const { return iid_; }
  // The connected sinks in slot order: each pointer is the sink's answer for the
  // connection's IID (or for IDispatch). A snapshot, so a sink may unadvise while events
  // are fired.
  std::vector<ComPtr<IUnknown>> Sinks() const;
  // The same, as IDispatch: for connections whose IID is a dispinterface.
  std::vector<ComPtr<IDispatch>> DispatchSinks() const;
  size_t SinkCount() const;
  // The number of slots, empty ones included, and the sink in one slot as IDispatch (null
  // for an empty slot or one past the end). Firing slot by slot with these holds each sink
  // for its own call only: a sink unadvised by an earlier sink's handler is not called.
  size_t SlotCount() const;
  ComPtr<IDispatch> DispatchSinkAt(size_t slot) const;

 private:
  ConnectionPointSet* owner_;
  IID iid_;
  mutable std::mutex mu_;
  std::vector<IUnknown*> slots_;  // owned references; null for an empty slot
};

class ConnectionPointSet {
 public:
  // outer: the container's controlling IUnknown. It is not referenced (the set lives inside
  // the container); the points and enumerators count on it.
  ConnectionPointSet(IUnknown* outer, std::initializer_list<IID> iids);
  ConnectionPointSet(const ConnectionPointSet&) = delete;
  ConnectionPointSet& operator=(const ConnectionPointSet&) = delete;
  ~ConnectionPointSet();

  HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum);
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP);

  size_t Count() const { return points_.size(); }
  ConnectionPoint& Point(size_t index) { return *points_[index]; }
  ConnectionPoint* Find(REFIID riid);
  IUnknown* Outer() const { return outer_; }

 private:
  IUnknown* outer_;
  std::vector<ConnectionPoint*> points_;
};

// IConnectionPointContainer for an object that fires events on the given IIDs, in order.
class ConnectionPointContainerImpl : public IConnectionPointContainer {
 public:
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override {
    return points_.EnumConnectionPoints(ppEnum);
  }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override {
    return points_.FindConnectionPoint(riid, ppCP);
  }
  ConnectionPointSet& ConnectionPoints() { return points_; }

 protected:
  explicit ConnectionPointContainerImpl(std::initializer_list<IID> iids) : points_(this, iids) {}

 private:
  ConnectionPointSet points_;
};

}  // namespace wincompat
