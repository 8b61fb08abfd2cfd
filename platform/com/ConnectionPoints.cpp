// Connection points and their enumerators.

#include "platform/com/SingleInterfaceObject.h"
#include "wincompat/connpoint.h"

namespace wincompat {

namespace {

IUnknown* Referenced(const CONNECTDATA& c) { return c.pUnk; }
IUnknown* Referenced(IConnectionPoint* p) { return p; }

// Enumerates a snapshot. Every item it holds is referenced, and the container behind it
// (`outer`) is kept alive as long as the enumerator is.
template <class IEnum, class Item>
class Enumerator final : public detail::SingleInterfaceObject<IEnum> {
 public:
  Enumerator(IUnknown* outer, std::vector<Item> items, size_t pos)
      : outer_(outer), items_(std::move(items)), pos_(pos) {
    for (auto& i : items_) Referenced(i)->AddRef();
  }
  ~Enumerator() {
    for (auto& i : items_) Referenced(i)->Release();
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG c, Item* out, ULONG* fetched) override {
    if (!out || (!fetched && c != 1)) return E_POINTER;
    ULONG n = 0;
    while (n < c && pos_ < items_.size()) {
      out[n] = items_[pos_++];
      Referenced(out[n])->AddRef();  // the caller releases what it was given
      ++n;
    }
    if (fetched) *fetched = n;
    return n == c ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG c) override {
    const size_t left = items_.size() - pos_;
    pos_ += std::min<size_t>(c, left);
    return c <= left ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    pos_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnum** pp) override {
    if (!pp) return E_POINTER;
    *pp = new Enumerator(outer_.Get(), items_, pos_);
    return S_OK;
  }

 private:
  ComPtr<IUnknown> outer_;
  std::vector<Item> items_;
  size_t pos_;
};

using ConnectionEnumerator = Enumerator<IEnumConnections, CONNECTDATA>;
using PointEnumerator = Enumerator<IEnumConnectionPoints, IConnectionPoint*>;

}  // namespace

// ---- ConnectionPoint ---------------------------------------------------------------

ConnectionPoint::~ConnectionPoint() {
  for (IUnknown* p : slots_)
    if (p) p->Release();
}

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid != IID_IUnknown && riid != IID_IConnectionPoint) {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  *ppv = static_cast<IConnectionPoint*>(this);
  AddRef();
  return S_OK;
}

ULONG ConnectionPoint::AddRef() { return owner_->Outer()->AddRef(); }
ULONG ConnectionPoint::Release() { return owner_->Outer()->Release(); }

HRESULT ConnectionPoint::GetConnectionInterface(IID* pIID) {
  if (!pIID) return E_POINTER;
  *pIID = iid_;
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** pp) {
  if (!pp) return E_POINTER;
  return owner_->Outer()->QueryInterface(IID_IConnectionPointContainer,
                                         reinterpret_cast<void**>(pp));
}

HRESULT ConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
  if (!pdwCookie) return E_POINTER;
  *pdwCookie = 0;
  if (!pUnkSink) return E_POINTER;
  void* sink = nullptr;
  if (FAILED(pUnkSink->QueryInterface(iid_, &sink)) || !sink) {
    sink = nullptr;
    if (FAILED(pUnkSink->QueryInterface(IID_IDispatch, &sink)) || !sink)
      return CONNECT_E_CANNOTCONNECT;
  }
  std::lock_guard lock(mu_);
  size_t slot = 0;
  while (slot < slots_.size() && slots_[slot]) ++slot;
  if (slot == slots_.size()) slots_.push_back(nullptr);
  slots_[slot] = static_cast<IUnknown*>(sink);
  *pdwCookie = static_cast<DWORD>(slot + 1);
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD dwCookie) {
  IUnknown* sink = nullptr;
  {
    std::lock_guard lock(mu_);
    if (dwCookie == 0 || dwCookie > slots_.size() || !slots_[dwCookie - 1])
      return CONNECT_E_NOCONNECTION;
    sink = slots_[dwCookie - 1];
    slots_[dwCookie - 1] = nullptr;
  }
  sink->Release();  // outside the lock: the sink may call back
  return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
  if (!ppEnum) return E_POINTER;
  std::vector<CONNECTDATA> items;
  {
    std::lock_guard lock(mu_);
    for (size_t i = 0; i < slots_.size(); ++i)
      if (slots_[i]) items.push_back(CONNECTDATA{slots_[i], static_cast<DWORD>(i + 1)});
    // The enumerator takes its own references before the lock is left.
    *ppEnum = new ConnectionEnumerator(owner_->Outer(), std::move(items), 0);
  }
  return S_OK;
}

std::vector<ComPtr<IUnknown>> ConnectionPoint::Sinks() const {
  std::lock_guard lock(mu_);
  std::vector<ComPtr<IUnknown>> r;
  for (IUnknown* p : slots_)
    if (p) r.emplace_back(p);
  return r;
}

std::vector<ComPtr<IDispatch>> ConnectionPoint::DispatchSinks() const {
  std::lock_guard lock(mu_);
  std::vector<ComPtr<IDispatch>> r;
  for (IUnknown* p : slots_)
    if (p) r.emplace_back(static_cast<IDispatch*>(p));
  return r;
}

size_t ConnectionPoint::SlotCount() const {
  std::lock_guard lock(mu_);
  return slots_.size();
}

ComPtr<IDispatch> ConnectionPoint::DispatchSinkAt(size_t slot) const {
  std::lock_guard lock(mu_);
  if (slot >= slots_.size() || !slots_[slot]) return nullptr;
  return ComPtr<IDispatch>(static_cast<IDispatch*>(slots_[slot]));
}

size_t ConnectionPoint::SinkCount() const {
  std::lock_guard lock(mu_);
  size_t n = 0;
  for (IUnknown* p : slots_) n += p != nullptr;
  return n;
}

// ---- ConnectionPointSet ---------------------------------------------------------------

ConnectionPointSet::ConnectionPointSet(IUnknown* outer, std::initializer_list<IID> iids)
    : outer_(outer) {
  for (const IID& iid : iids) points_.push_back(new ConnectionPoint(this, iid));
}

ConnectionPointSet::~ConnectionPointSet() {
  for (ConnectionPoint* p : points_) delete p;
}

ConnectionPoint* ConnectionPointSet::Find(REFIID riid) {
  for (ConnectionPoint* p : points_)
    if (p->Iid() == riid) return p;
  return nullptr;
}

HRESULT ConnectionPointSet::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
  if (!ppCP) return E_POINTER;
  ConnectionPoint* p = Find(riid);
  *ppCP = p;
  if (!p) return CONNECT_E_NOCONNECTION;
  p->AddRef();
  return S_OK;
}

HRESULT ConnectionPointSet::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  if (!ppEnum) return E_POINTER;
  std::vector<IConnectionPoint*> items(points_.begin(), points_.end());
  *ppEnum = new PointEnumerator(outer_, std::move(items), 0);
  return S_OK;
}

}  // namespace wincompat
