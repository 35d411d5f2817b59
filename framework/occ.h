// The ActiveX control container.
//
//   COleControlSite  one hosted control: the object, the site it talks back
//                    to, its window; property get/put and method calls by
//                    DISPID through the control's IDispatch (occsite.cpp)
//   CreateControl    a control made from its class id with no saved state
//   AfxEnableControlContainer / AfxGetOccManager
//                    the dialog side: a dialog's controls made and ended
//                    with it (occ.cpp)
//   FindControlSite  the site of a dialog's control, by control id
//   DDX_OCText/Int   data exchange with a control's property
//
// A dialog whose template holds items of window class "{CLSID}" gets them
// created here while it initialises (once AfxEnableControlContainer has
// run): each object is created in-process, sited, loaded from its record in
// the template's init data (or initialised empty), in-place activated at the
// item's rectangle and given the item's id, styles and place in the Z order.
// The sites answer the ambient properties a control asks for. Every call
// through a site returns the control's HRESULT; the data exchange and the
// wrappers built on it report failures with a message box instead.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <string>

#include "framework/handles.h"

class CDialog;
class CDataExchange;

// Switches on the control container for dialogs created afterwards (see
// AfxGetOccManager in dialog.h).
void AfxEnableControlContainer();

class COleControlSite {
 public:
  // The site whose control window is hWnd, or null (the window keeps its
  // site as a window property).
  static COleControlSite* FromWindow(HWND hWnd);

  HWND GetControlWindow() const { return m_hWnd; }
  int GetID() const { return m_nID; }
  // The control object itself (no reference added).
  IUnknown* GetControlUnknown() const { return m_pObject; }

  // vt names the type of *pvProp: VT_BSTR a std::string (GBK), VT_I4 a
  // long, VT_I2 a short, VT_BOOL a BOOL.
  HRESULT GetProperty(DISPID dispid, VARTYPE vt, void* pvProp);
  // The value follows vt: VT_BSTR a const char* (GBK), VT_I4 a long, VT_I2
  // and VT_BOOL an int.
  HRESULT SetProperty(DISPID dispid, VARTYPE vt, ...);
  // IDispatch::Invoke as it is (pvarResult may be null).
  HRESULT InvokeHelper(DISPID dispid, WORD wFlags, VARIANT* pvarResult, DISPPARAMS* pParams);

  // Tears the control down and releases the site (see occsite.cpp for the order).
  void Destroy();

 protected:
  // Sites are made and ended only by the container (occsite.h).
  COleControlSite() = default;
  ~COleControlSite() = default;
  COleControlSite(const COleControlSite&) = delete;
  COleControlSite& operator=(const COleControlSite&) = delete;

  CComPtr<IOleObject> m_pObject;
  CComPtr<IDispatch> m_pDispatch;
  HWND m_hWnd = nullptr;
  int m_nID = 0;
};

COleControlSite* FindControlSite(CDialog* pDlg, int nID);

// Creates a control from its class id with no saved state (InitNew), as a
// child of hParent at rc (pixels, parent's client coordinates) with the
// given id; dwStyle's WS_VISIBLE, WS_DISABLED, WS_TABSTOP and WS_GROUP are
// applied to the control's window. The caller ends it with Destroy(). On
// failure returns the HRESULT and leaves nothing behind.
HRESULT CreateControl(REFCLSID clsid, const char* pszWindowName, DWORD dwStyle, const RECT& rc, HWND hParent, UINT nID,
                      COleControlSite** ppSite);

// A BSTR of a GBK text (null for no memory); the caller frees it.
BSTR AfxAllocSysString(const char* text);

// The framework's report of a failed call into a control: a message box
// with the system's text for hr.
void ReportOleFailure(HRESULT hr);

// Data exchange with property dispid of the dialog's control nIDC: into the
// control a put, out of it a get. Failures are reported (ReportOleFailure)
// and returned.
HRESULT DDX_OCText(CDataExchange* pDX, int nIDC, DISPID dispid, std::string& value);
HRESULT DDX_OCInt(CDataExchange* pDX, int nIDC, DISPID dispid, int& value);
