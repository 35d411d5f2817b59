// The scripting side of COleControl: IDispatch over the member table, the
// argument and result helpers of the members, and the event source.
#include "ole_control.h"

#include <algorithm>
#include <cwchar>

namespace dvrocx {

HRESULT FindInterface(std::initializer_list<InterfaceEntry> entries, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  for (const InterfaceEntry& entry : entries) {
    if (IsEqualIID(iid, entry.iid)) {
      *object = entry.object;
      entry.object->AddRef();
      return S_OK;
    }
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

// ---------------------------------------------------------------- a call

HRESULT DispCall::Method(UINT count, int* index) const {
  if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  if (params->cArgs != count) return DISP_E_BADPARAMCOUNT;
  // Named arguments matter only to a method with parameters.
  for (UINT i = 0; count > 0 && i < params->cNamedArgs; ++i) {
    if (params->rgdispidNamedArgs[i] < 0 || params->rgdispidNamedArgs[i] >= static_cast<DISPID>(count)) {
      *argError = i;
      return DISP_E_PARAMNOTFOUND;
    }
  }
  // A parameter's argument is the one named by its DISPID, or else counts
  // from the end of rgvarg; each parameter needs an argument of its own.
  const UINT positional = params->cArgs - params->cNamedArgs;
  const DISPID *named = params->rgdispidNamedArgs, *namedEnd = named + params->cNamedArgs;
  for (UINT p = 0; p < count; ++p) {
    const DISPID* byName = std::find(named, namedEnd, static_cast<DISPID>(p));
    if (byName != namedEnd)
      index[p] = static_cast<int>(byName - named);
    else
      index[p] = p < positional ? static_cast<int>(params->cArgs - 1 - p) : -1;
    if (index[p] < 0 || std::find(index, index + p, index[p]) != index + p) return DISP_E_PARAMNOTOPTIONAL;
  }
  return S_OK;
}

HRESULT DispCall::CheckPut() const {
  if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
  if (params->cNamedArgs > 1 || (params->cNamedArgs == 1 && params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
    return DISP_E_PARAMNOTFOUND;
  return S_OK;
}

HRESULT DispCall::Read(UINT index, VARTYPE type, VARIANT& value) const {
  VariantInit(&value);
  if (SUCCEEDED(VariantChangeType(&value, &params->rgvarg[index], 0, type))) return S_OK;
  *argError = index;
  return DISP_E_TYPEMISMATCH;
}

HRESULT DispCall::Read(UINT index, std::wstring& text) const {
  VARIANT value;
  const HRESULT hr = Read(index, VT_BSTR, value);
  if (SUCCEEDED(hr)) {
    text.assign(V_BSTR(&value) != nullptr ? V_BSTR(&value) : L"", SysStringLen(V_BSTR(&value)));
    VariantClear(&value);
  }
  return hr;
}

HRESULT DispCall::Read(UINT index, LONG& number) const {
  VARIANT value;
  const HRESULT hr = Read(index, VT_I4, value);
  if (SUCCEEDED(hr)) number = V_I4(&value);
  return hr;
}

HRESULT DispCall::Return(const std::wstring& text) const {
  if (result == nullptr) return S_OK;
  VariantInit(result);
  V_VT(result) = VT_BSTR;
  V_BSTR(result) = SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
  return V_BSTR(result) != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT DispCall::Return(LONG number) const {
  if (result != nullptr) {
    VariantInit(result);
    V_VT(result) = VT_I4;
    V_I4(result) = number;
  }
  return S_OK;
}

// ---------------------------------------------------------------- IDispatch

// The first name is a member's, the further ones are names of its
// parameters.
STDMETHODIMP COleControl::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (names == nullptr || ids == nullptr) return E_POINTER;
  if (count == 0) return S_OK;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;

  HRESULT hr = DISP_E_UNKNOWNNAME;
  const Member* member = nullptr;
  for (const Member* m = m_class.members; m != m_class.members + m_class.memberCount; ++m) {
    if (names[0] != nullptr && _wcsicmp(names[0], m->name) == 0) {
      member = m;
      ids[0] = m->id;
      hr = S_OK;
    }
  }
  for (UINT i = 1; i < count; ++i) {
    for (DISPID p = 0; member != nullptr && member->params != nullptr && member->params[p] != nullptr; ++p) {
      if (names[i] != nullptr && _wcsicmp(names[i], member->params[p]) == 0) ids[i] = p;
    }
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

// A look-up of the DISPID in the member table: ITypeInfo::Invoke cannot call
// a pure dispinterface. There are no stock properties (no Enabled).
STDMETHODIMP COleControl::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO*, UINT* argError) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  UINT ignored = 0;
  const DispCall call = {flags, params != nullptr ? params : &none, result, argError != nullptr ? argError : &ignored};
  // The object may be released by a call it makes (a message box pumps
  // messages); keep it alive until Invoke returns.
  AddRef();
  HRESULT hr = DISP_E_MEMBERNOTFOUND;
  for (const Member* m = m_class.members; m != m_class.members + m_class.memberCount; ++m) {
    if (m->id == id) {
      hr = (this->*m->invoke)(call);
      break;
    }
  }
  Release();
  return hr;
}

// ---------------------------------------------------------------- events

STDMETHODIMP CEventPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (sink == nullptr || cookie == nullptr) return E_POINTER;
  *cookie = 0;
  CComPtr<IUnknown> events;
  if (FAILED(events.QueryFrom(sink, m_events)) && FAILED(events.QueryFrom(sink, IID_IDispatch)))
    return CONNECT_E_CANNOTCONNECT;
  for (int i = 0; i < kMaxSinks; ++i) {
    if (m_sinks[i] == nullptr) {
      m_sinks[i].p = events.Detach();
      *cookie = static_cast<DWORD>(i + 1);
      return S_OK;
    }
  }
  return CONNECT_E_ADVISELIMIT;
}

STDMETHODIMP CEventPoint::Unadvise(DWORD cookie) {
  if (cookie == 0 || cookie > kMaxSinks || m_sinks[cookie - 1] == nullptr) return CONNECT_E_NOCONNECTION;
  m_sinks[cookie - 1].Release();
  return S_OK;
}

}  // namespace dvrocx
