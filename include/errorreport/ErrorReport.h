// The outside error reporter: a COM class that turns an error record into error information.
// The component calls ReportError (slot 11) and SetPreviousError (slot 16) and asks the
// reporter for IErrorInfo; the other slots are the reporter's own.
#pragma once

#include "qwbdcawm/qwbdcawm.h"

// The error record, passed by value. Field order is fixed; on a 64-bit build the BSTR
// fields are pointer-sized, so the structure takes its natural x86-64 layout.
struct ERROR_REPORT_RECORD {
  HRESULT hr;            // the HRESULT reported to the host
  BSTR description;      // empty unless the method gives one
  GUID clsid;            // the reporting class
  GUID iid;              // the reporting interface
  DWORD reserved;        // 0
  BSTR method;           // "Class::Method"
  BSTR sourceFile;       // ".\\File.cpp"
  LONG line;             // line of the reporting site
};

struct IErrorReport : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Reserved07() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved08() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved09() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved10() = 0;
  virtual HRESULT STDMETHODCALLTYPE ReportError(ERROR_REPORT_RECORD record) = 0;  // 11
  virtual HRESULT STDMETHODCALLTYPE Reserved12() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved13() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved14() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved15() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPreviousError(HRESULT hr, IErrorInfo* previous) = 0;  // 16
};
WINCOMPAT_INTERFACE_IID(IErrorReport, IID_IErrorReport)
