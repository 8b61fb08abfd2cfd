// The runtime half of the dispatch helper: name lookup, member dispatch and an ITypeInfo over
// a static interface description.
#include "wincompat/dispatch.h"

#include <cwctype>

#include "platform/com/SingleInterfaceObject.h"
#include "wincompat/comptr.h"

namespace wincompat {
namespace dispatch_detail {

namespace {
thread_local bool t_methodCalled = false;
}  // namespace

void SetMethodCalled(bool called) { t_methodCalled = called; }

}  // namespace dispatch_detail

namespace {

char16_t Fold(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
  return static_cast<char16_t>(std::towupper(static_cast<wint_t>(c)));
}

bool SameName(const char16_t* a, const char16_t* b) {
  if (!a || !b) return false;
  for (; *a && *b; ++a, ++b)
    if (Fold(*a) != Fold(*b)) return false;
  return *a == *b;
}

const DispMethod* FindMember(const DispInterface& desc, DISPID id) {
  for (size_t i = 0; i < desc.count; ++i)
    if (desc.methods[i].dispid == id) return &desc.methods[i];
  return nullptr;
}

void FillException(HRESULT hr, EXCEPINFO* ei) {
  IErrorInfo* raw = nullptr;
  if (GetErrorInfo(0, &raw) == S_OK && raw) {
    ComPtr<IErrorInfo> info = ComPtr<IErrorInfo>::Attach(raw);
    info->GetSource(&ei->bstrSource);
    info->GetDescription(&ei->bstrDescription);
    info->GetHelpFile(&ei->bstrHelpFile);
    info->GetHelpContext(&ei->dwHelpContext);
  }
  ei->scode = hr;
}

class TypeInfo final : public detail::SingleInterfaceObject<ITypeInfo> {
 public:
  explicit TypeInfo(const DispInterface& desc) : desc_(desc) {}


  HRESULT STDMETHODCALLTYPE GetTypeAttr(void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetVarDesc(UINT, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* names, UINT cMax,
                                     UINT* pcNames) override {
    if (!names || !pcNames) return E_INVALIDARG;
    const DispMethod* m = FindMember(desc_, memid);
    if (!m) return TYPE_E_ELEMENTNOTFOUND;
    *pcNames = 0;
    if (cMax == 0) return S_OK;
    names[0] = SysAllocString(m->name);
    *pcNames = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT, DWORD*) override {
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT, INT*) override { return TYPE_E_ELEMENTNOTFOUND; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* names, UINT cNames, MEMBERID* ids) override {
    return DispGetIDsOfNames(desc_, names, cNames, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(PVOID instance, MEMBERID memid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* ei, UINT* argErr) override {
    return DispInvoke(desc_, instance, memid, flags, params, result, ei, argErr);
  }
  HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc,
                                             DWORD* helpContext, BSTR* helpFile) override {
    const char16_t* n = desc_.name;
    if (memid != -1) {  // MEMBERID_NIL names the interface itself
      const DispMethod* m = FindMember(desc_, memid);
      if (!m) return TYPE_E_ELEMENTNOTFOUND;
      n = m->name;
    }
    if (name) *name = SysAllocString(n ? n : u"");
    if (doc) *doc = nullptr;
    if (helpContext) *helpContext = 0;
    if (helpFile) *helpFile = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID, int, BSTR*, BSTR*, WORD*) override {
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE GetRefTypeInfo(DWORD, ITypeInfo**) override {
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID, int, PVOID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, PVOID* ppv) override {
    if (ppv) *ppv = nullptr;
    return E_NOTIMPL;  // an interface's type info creates nothing
  }
  HRESULT STDMETHODCALLTYPE GetMops(MEMBERID, BSTR* mops) override {
    if (mops) *mops = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** lib, UINT* index) override {
    if (lib) *lib = nullptr;
    if (index) *index = 0;
    return E_NOTIMPL;
  }
  void STDMETHODCALLTYPE ReleaseTypeAttr(void*) override {}
  void STDMETHODCALLTYPE ReleaseFuncDesc(void*) override {}
  void STDMETHODCALLTYPE ReleaseVarDesc(void*) override {}

 private:
  const DispInterface& desc_;
};

}  // namespace

HRESULT DispGetIDsOfNames(const DispInterface& desc, LPOLESTR* names, UINT count, DISPID* ids) {
  if (!names || !ids) return E_INVALIDARG;
  if (count == 0) return S_OK;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  for (size_t i = 0; i < desc.count; ++i) {
    if (SameName(names[0], desc.methods[i].name)) {
      ids[0] = desc.methods[i].dispid;
      // Parameter names are not part of the description.
      return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
  }
  return DISP_E_UNKNOWNNAME;
}

HRESULT DispInvoke(const DispInterface& desc, void* self, DISPID id, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (!params) params = &none;
  if (params->cArgs > 0 && !params->rgvarg) return E_INVALIDARG;
  const DispMethod* member = nullptr;
  for (size_t i = 0; i < desc.count; ++i) {
    const DispMethod& m = desc.methods[i];
    if (m.dispid == id && (m.invokeKind & flags)) {
      member = &m;
      break;
    }
  }
  if (!member) return DISP_E_MEMBERNOTFOUND;
  if (params->cNamedArgs > 0) {
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) &&
                     params->cNamedArgs == 1 && params->rgdispidNamedArgs &&
                     params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
    if (!put) return DISP_E_NONAMEDARGS;
  }
  if (excepInfo) *excepInfo = EXCEPINFO{};
  UINT ignored = 0;
  const HRESULT hr = member->thunk(self, params, result, argErr ? argErr : &ignored);
  if (FAILED(hr) && excepInfo && dispatch_detail::t_methodCalled) {
    FillException(hr, excepInfo);
    return DISP_E_EXCEPTION;
  }
  return hr;
}

HRESULT DispGetTypeInfo(const DispInterface& desc, ITypeInfo** out) {
  if (!out) return E_POINTER;
  if (!desc.methods) {
    *out = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
  }
  *out = new TypeInfo(desc);
  return S_OK;
}

}  // namespace wincompat
