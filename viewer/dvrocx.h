// The viewer control as the program sees it: a window wrapper over the
// hosted DvrOcx control, with its members called through the control's
// site by DISPID.
//
//   CDvrOcx  bound to the dialog's control item (DDX_Control), or created
//            by Create from the class id with no saved state
//
// The calls report a failure of the control with the framework's message
// box (ReportOleFailure), as data exchange does.
#pragma once

#include <string>

#include "framework/afx.h"
#include "framework/occ.h"

class CDvrOcx : public CWnd {
 public:
  CDvrOcx() = default;
  ~CDvrOcx() override;

  // Creates the control as child nID of pParentWnd at rect (pixels), with
  // no saved state; dwStyle's WS_VISIBLE, WS_DISABLED, WS_TABSTOP and
  // WS_GROUP apply. This wrapper then owns the control and ends it when it
  // goes.
  BOOL Create(const char* pszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  // Ends a control made by Create (a bound control belongs to its dialog).
  void DestroyControl();

  // The site of the control this wrapper is bound to, or null.
  COleControlSite* GetControlSite() const { return COleControlSite::FromWindow(m_hWnd); }

  // Points the control at a recorder; the control connects on its own. The
  // result is the control's (0: the attempt started), or the HRESULT of a
  // call that failed.
  long SetDeviceIPandPort(const char* deviceIP, short devicePort);

  std::string GetdeviceIP();
  long GetDevicePort();

 private:
  COleControlSite* m_pOwnSite = nullptr;  // made by Create
};
