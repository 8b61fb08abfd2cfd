// Host-side objects for tests and the command-line host: what a host hands the component
// through SetConneciton, and a Progress sink for its connection points.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/comptr.h"

namespace qwbhost {

// IHostConnection: answers "DRIVE" with a configurable value; can be told to fail.
class HostConnection : public IHostConnection {
 public:
  static ComPtr<HostConnection> Create(std::u16string drive = u"C:");

  void SetDrive(std::u16string drive) { drive_ = std::move(drive); }
  // GetConnectionProperty answers `hr` once `answered` requests have been answered normally
  // (S_OK restores normal answers).
  void FailWith(HRESULT hr, size_t answered = 0) {
    failure_ = hr;
    failAfter_ = requests_.size() + answered;
  }
  // The names asked for, in order.
  const std::vector<std::u16string>& Requests() const { return requests_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override;
  HRESULT STDMETHODCALLTYPE HostReserved07() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HostReserved08() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HostReserved09() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HostReserved10() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HostReserved11() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HostReserved12() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HostReserved13() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HostReserved14() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HostReserved15() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HostReserved16() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HostReserved17() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HostReserved18() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HostReserved19() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HostReserved20() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HostReserved21() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HostReserved22() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HostReserved23() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HostReserved24() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HostReserved25() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetConnectionProperty(BSTR name, BSTR* value) override;

 private:
  explicit HostConnection(std::u16string drive) : drive_(std::move(drive)) {}
  virtual ~HostConnection() = default;

  std::atomic<ULONG> ref_{0};
  std::u16string drive_;
  HRESULT failure_ = S_OK;
  size_t failAfter_ = 0;
  std::vector<std::u16string> requests_;
};

// The host's model database: answers IHostModelDB and IHostModelDBFiles (the latter can be
// withheld, or its QueryInterface made to fail with a chosen HRESULT).
class HostModelDB : public IHostModelDB, public IHostModelDBFiles {
 public:
  static ComPtr<HostModelDB> Create();

  // S_OK: answer IHostModelDBFiles; E_NOINTERFACE or another failure: answer that instead.
  void SetFilesAnswer(HRESULT hr) { filesAnswer_ = hr; }
  IHostModelDBFiles* AsFiles() { return static_cast<IHostModelDBFiles*>(this); }
  IUnknown* AsUnknown() { return static_cast<IHostModelDB*>(this); }
  ULONG RefCount() const { return ref_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

 private:
  HostModelDB() = default;
  virtual ~HostModelDB() = default;

  std::atomic<ULONG> ref_{0};
  HRESULT filesAnswer_ = S_OK;
};

// One Invoke a ProgressSink received, with everything the caller passed.
struct ProgressCall {
  std::string sink;  // the sink's name
  DISPID dispid = 0;
  bool iidIsNull = false;
  LCID lcid = 0;
  WORD flags = 0;
  UINT cArgs = 0;
  UINT cNamedArgs = 0;
  std::vector<VARTYPE> types;  // rgvarg[0..cArgs)
  LONGLONG done = 0;           // rgvarg[2] as VT_I8
  LONGLONG total = 0;          // rgvarg[1] as VT_I8
  LONG* pContinue = nullptr;   // rgvarg[0] as VT_BYREF|VT_I4
  LONG continueOnEntry = 0;
  bool hasResult = false, hasExcepInfo = false, hasArgErr = false;
  ULONG refsDuringCall = 0;  // the sink's count while it ran
};

// A dispatch sink for IDeviceDataEvents / _IDeviceDataEvents. Calls go to a shared log so
// that the order across several sinks can be checked. It answers IUnknown, IDispatch and the
// IID it is created for.
class ProgressSink : public IDispatch {
 public:
  static ComPtr<ProgressSink> Create(std::string name, const IID& eventIid,
                                     std::shared_ptr<std::vector<ProgressCall>> log);

  // When set, the sink stores 0 through the continue flag once `done` reaches `atDone`.
  void StopAt(LONGLONG atDone) {
    stop_ = true;
    stopAt_ = atDone;
  }
  ULONG RefCount() const { return ref_; }
  // Runs after each call is logged, inside the sink's Invoke (for example to unadvise).
  void OnCall(std::function<void()> action) { onCall_ = std::move(action); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                   DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

 private:
  ProgressSink(std::string name, const IID& iid, std::shared_ptr<std::vector<ProgressCall>> log)
      : name_(std::move(name)), iid_(iid), log_(std::move(log)) {}
  virtual ~ProgressSink() = default;

  std::atomic<ULONG> ref_{0};
  std::string name_;
  IID iid_;
  std::shared_ptr<std::vector<ProgressCall>> log_;
  bool stop_ = false;
  LONGLONG stopAt_ = 0;
  std::function<void()> onCall_;
};

}  // namespace qwbhost
