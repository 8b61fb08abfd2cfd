#include "core/Errors.h"

#include <cstdio>
#include <string>

#include "core/Log.h"
#include "errorreport/ErrorReport.h"
#include "qwbdcawm/qwbdcawm.h"

namespace qwb {

_wm_error::_wm_error(HRESULT code) : code_(code) {
  // Takes the error information current at the moment of raising. GetErrorInfo hands it over
  // and clears the thread's slot, so it is put back: the report at the method boundary chains
  // it as the previous error.
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) == S_OK && info) {
    info_ = ComPtr<IErrorInfo>::Attach(info);
    SetErrorInfo(0, info);
  }
}

void ThrowWmError(HRESULT code) { throw _wm_error(code); }
void ThrowHr(HRESULT hr) { throw HResultError(hr); }
void ThrowComError(HRESULT hr, IUnknown* object, const IID& iid) {
  throw _com_error(hr, object, iid);
}
void ThrowAtl(HRESULT hr) { throw CAtlException(hr); }

HRESULT MapWmErrorCode(HRESULT code) {
  if (code >= 0) code = static_cast<HRESULT>(static_cast<uint32_t>(code) | 0x80040000u);
  // Error 1 would read as 0x80040001; it is reported as a general failure instead.
  if (code == static_cast<HRESULT>(0x80040001u)) code = static_cast<HRESULT>(0x8007001Fu);
  return code;
}

namespace {

std::u16string Widen(const char* s) { return s ? FromUtf8(s) : std::u16string(); }

// Error information of our own making, for when the outside error reporter is not there
// (not registered, or it does not answer IErrorInfo): the host still learns which method
// failed, where, and with what. Source = the method; description = the method's own, or
// one naming the code, the file and the line.
void PostOwnErrorInfo(HRESULT hr, const std::u16string& method, const std::u16string& file,
                      int line, const char16_t* description) {
  ICreateErrorInfo* create = nullptr;
  if (FAILED(CreateErrorInfo(&create)) || !create) return;
  ComPtr<ICreateErrorInfo> creator = ComPtr<ICreateErrorInfo>::Attach(create);

  // "<method> failed (0x8004000D) at .\\DataTableWMTask.cpp:123", after the method's own
  // description when it gives one.
  char code[32];
  std::snprintf(code, sizeof code, " failed (0x%08X) at ", static_cast<unsigned>(hr));
  std::u16string where;
  where.append(method).append(FromUtf8(code)).append(file);
  where.append(u":").append(FromUtf8(std::to_string(line)));
  std::u16string text = description ? std::u16string(description) : std::u16string();
  if (text.empty()) {
    text = where;
  } else {
    text.append(u" [").append(where).append(u"]");
  }

  creator->SetGUID(IID_IDataTable);
  std::u16string source = method;
  creator->SetSource(source.data());
  creator->SetDescription(text.data());
  ComPtr<IErrorInfo> info;
  if (SUCCEEDED(creator.QueryInterface(IID_IErrorInfo,
                                       reinterpret_cast<void**>(info.ReleaseAndGetAddressOf()))) &&
      info) {
    SetErrorInfo(0, info.Get());
  }
}

}  // namespace

HRESULT ReportTableError(HRESULT code, const char* method, const char* sourceFile, int line,
                         const char16_t* description) {
  const HRESULT hr = MapWmErrorCode(code);
  try {
    const std::u16string methodName = Widen(method);
    const std::u16string fileName = Widen(sourceFile);

    ComPtr<IUnknown> unknown;
    ComPtr<IErrorReport> reporter;
    // CLSCTX_ALL (23), no outer object; the reporter is run and asked for its interface.
    if (SUCCEEDED(CoCreateInstance(CLSID_ErrorReport, nullptr, CLSCTX_ALL, IID_IUnknown,
                                   reinterpret_cast<void**>(unknown.ReleaseAndGetAddressOf()))) &&
        unknown) {
      OleRun(unknown.Get());
      unknown.QueryInterface(IID_IErrorReport,
                             reinterpret_cast<void**>(reporter.ReleaseAndGetAddressOf()));
    }
    if (!reporter) {
      PostOwnErrorInfo(hr, methodName, fileName, line, description);
      return hr;
    }

    IErrorInfo* previous = nullptr;
    if (SUCCEEDED(GetErrorInfo(0, &previous))) {
      reporter->SetPreviousError(hr, previous);
      if (previous) previous->Release();
    }

    BStr bstrDescription(description ? description : u"");
    BStr bstrMethod{std::u16string_view(methodName)};
    BStr bstrFile{std::u16string_view(fileName)};
    ERROR_REPORT_RECORD record{};
    record.hr = hr;
    record.description = bstrDescription.Get();
    record.clsid = CLSID_DeviceDataWM;
    record.iid = IID_IDataTable;
    record.reserved = 0;
    record.method = bstrMethod.Get();
    record.sourceFile = bstrFile.Get();
    record.line = line;
    reporter->ReportError(record);

    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(reporter.QueryInterface(
            IID_IErrorInfo, reinterpret_cast<void**>(info.ReleaseAndGetAddressOf()))) &&
        info) {
      SetErrorInfo(0, info.Get());
    } else {
      PostOwnErrorInfo(hr, methodName, fileName, line, description);
    }
  } catch (...) {
    // Reporting must never change what the method returns.
  }
  return hr;
}

}  // namespace qwb
