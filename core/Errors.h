// Exceptions used inside the component and the reporting of failures at the COM boundary.
// Nothing here ever crosses a COM method: every method catches at its frame.
#pragma once

#include <exception>

#include "wincompat/com.h"
#include "wincompat/comptr.h"

namespace qwb {

// A failed device operation: the code it reported (an HRESULT or a plain error number) and
// the thread's error information at the moment of raising (may be null).
class _wm_error {
 public:
  explicit _wm_error(HRESULT code);
  HRESULT code() const { return code_; }
  IErrorInfo* errorInfo() const { return info_.Get(); }

 private:
  HRESULT code_;
  ComPtr<IErrorInfo> info_;
};

// A failed call on an outside interface, a refused QueryInterface other than E_NOINTERFACE,
// a failed VARIANT conversion.
class _com_error {
 public:
  explicit _com_error(HRESULT hr, IUnknown* object = nullptr, const IID& iid = IID_NULL)
      : hr_(hr), object_(object), iid_(iid) {}
  HRESULT Error() const { return hr_; }
  const IID& iid() const { return iid_; }

 private:
  HRESULT hr_;
  ComPtr<IUnknown> object_;
  IID iid_;
};

// Out of memory, bounds and argument checks, a failed VARIANT copy into an item.
class CAtlException {
 public:
  explicit CAtlException(HRESULT hr) : hr_(hr) {}
  operator HRESULT() const { return hr_; }
  HRESULT hr() const { return hr_; }

 private:
  HRESULT hr_;
};

// A failure raised as its HRESULT alone, for failures that need no further wrapping (a failed
// entry-id fetch, for one): the method frame returns it unchanged, without error information.
class HResultError {
 public:
  explicit HResultError(HRESULT hr) : hr_(hr) {}
  HRESULT hr() const { return hr_; }

 private:
  HRESULT hr_;
};

struct _map_not_found_error {};
struct _variant_extract_error {};

// Raises helpers.
[[noreturn]] void ThrowWmError(HRESULT code);
[[noreturn]] void ThrowHr(HRESULT hr);  // raises HResultError
[[noreturn]] void ThrowComError(HRESULT hr, IUnknown* object = nullptr, const IID& iid = IID_NULL);
[[noreturn]] void ThrowAtl(HRESULT hr);
// Raises a _com_error when hr failed.
inline void CheckCom(HRESULT hr, IUnknown* object = nullptr, const IID& iid = IID_NULL) {
  if (FAILED(hr)) ThrowComError(hr, object, iid);
}

// The HRESULT a table method returns for a _wm_error code: a non-negative code n becomes
// 0x80040000 | n, and 0x80040001 becomes 0x8007001F; failure codes pass unchanged.
HRESULT MapWmErrorCode(HRESULT code);

// Reports a failure of a data-table method: maps the code, builds error information through
// the outside error reporter (class DeviceDataWM, interface IDataTable, the method name
// "Class::Method", the source file ".\\File.cpp" and the line) and posts it for the thread.
// Returns the HRESULT the method must return. Never throws.
HRESULT ReportTableError(HRESULT code, const char* method, const char* sourceFile, int line,
                         const char16_t* description = u"");

}  // namespace qwb
