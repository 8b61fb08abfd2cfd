// The frames the component's COM methods run in, one per kind of boundary: failures are raised
// inside as exceptions and leave a method only as an HRESULT; nothing crosses the boundary.
//
// Table methods (TableMethodFrame):
//   _wm_error          -> ReportTableError (mapped code, error information posted)
//   HResultError       -> returned unchanged, no error information
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

namespace detail {
// What every frame turns into an HRESULT: an ATL exception, a COM error, an HResultError or a
// failed VARIANT copy give their own HRESULT, an allocation failure E_OUTOFMEMORY, anything
// else E_FAIL.
template <class F>
HRESULT ReturnFailures(F&& body) noexcept {
  try {
    return std::forward<F>(body)();
  } catch (const CAtlException& e) {
    return e.hr();
  } catch (const _com_error& e) {
    return e.Error();
  } catch (const HResultError& e) {
    return e.hr();
  } catch (const VariantCopyError& e) {
    return e.hr();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}
}  // namespace detail

// `method` is "Class::Method", `sourceFile` the name reported in the error record
// (".\\DataTableWMTask.cpp"), `line` the reporting site. `body` returns the HRESULT.
// A method that has more to do when a device operation fails passes `onWmError`: it runs first
// (for example to end the listing) and returns the error description to report.
template <class F, class D>
HRESULT TableMethodFrame(const char* method, const char* sourceFile, int line, F&& body,
                         D&& onWmError) noexcept {
  return detail::ReturnFailures([&]() -> HRESULT {
    try {
      return std::forward<F>(body)();
    } catch (const _wm_error& e) {
      std::u16string description;
      try {
        description = std::forward<D>(onWmError)();
      } catch (...) {
      }
      return ReportTableError(e.code(), method, sourceFile, line, description.c_str());
    }
  });
}

template <class F>
HRESULT TableMethodFrame(const char* method, const char* sourceFile, int line, F&& body) noexcept {
  return TableMethodFrame(method, sourceFile, line, std::forward<F>(body),
                          [] { return std::u16string(); });
}

// Item methods (IItem, IColumnInfo): the failures of every frame, no error information.
template <class F>
HRESULT ItemMethodFrame(F&& body) noexcept {
  return detail::ReturnFailures(std::forward<F>(body));
}

// Device data object methods: each method passes on the HRESULT of the exceptions it names
// (ListDataTable an ATL exception, SetConneciton a COM error) and answers E_FAIL for anything
// else, a COM error included where it is not named; E_OUTOFMEMORY for an allocation failure.
// No error information.
enum DeviceDataPasses : unsigned { kPassNone = 0, kPassAtlException = 1, kPassComError = 2 };
template <class F>
HRESULT DeviceDataMethodFrame(unsigned passes, F&& body) noexcept {
  try {
    return std::forward<F>(body)();
  } catch (const CAtlException& e) {
    return (passes & kPassAtlException) ? e.hr() : E_FAIL;
  } catch (const _com_error& e) {
    return (passes & kPassComError) ? e.Error() : E_FAIL;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace qwb
