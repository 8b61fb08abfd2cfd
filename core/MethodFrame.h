// The frame every implemented IDataTable method runs in: failures are raised inside as
// exceptions and leave the method only as an HRESULT.
//   _wm_error          -> ReportTableError (mapped code, error information posted)
//   bare HRESULT       -> returned unchanged, no error information
//   _com_error         -> its HRESULT, no error information
//   CAtlException      -> its HRESULT, no error information
//   anything else      -> E_FAIL
// Entry and exit log lines belong to each method (they differ per table), not to the frame.
#pragma once

#include <new>
#include <string>
#include <utility>

#include "core/Errors.h"

namespace qwb {

// `method` is "Class::Method", `sourceFile` the name reported in the error record
// (".\\DataTableWMTask.cpp"), `line` the reporting site. `body` returns the HRESULT.
// A method that has more to do when a device operation fails passes `onWmError`: it runs first
// (for example to end the listing) and returns the error description to report.
template <class F, class D>
HRESULT TableMethodFrame(const char* method, const char* sourceFile, int line, F&& body,
                         D&& onWmError) noexcept {
  try {
    return std::forward<F>(body)();
  } catch (const _wm_error& e) {
    std::u16string description;
    try {
      description = std::forward<D>(onWmError)();
    } catch (...) {
    }
    return ReportTableError(e.code(), method, sourceFile, line, description.c_str());
  } catch (HRESULT hr) {
    return hr;
  } catch (const _com_error& e) {
    return e.Error();
  } catch (const CAtlException& e) {
    return e.hr();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

template <class F>
HRESULT TableMethodFrame(const char* method, const char* sourceFile, int line, F&& body) noexcept {
  return TableMethodFrame(method, sourceFile, line, std::forward<F>(body),
                          [] { return std::u16string(); });
}

}  // namespace qwb
