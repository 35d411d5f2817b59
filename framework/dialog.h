// Modal dialogs from templates of the program's own module.
//
//   CDataExchange  what DoDataExchange is asked to do (into or out of controls)
//   CDialog        template by id, DoModal with its own modal loop,
//                  OnInitDialog / OnOK / OnCancel / EndDialog, DoDataExchange
//   DDX_Control    binds (subclasses) a control of the dialog to a wrapper,
//                  or each of a list of (id, wrapper) pairs in turn
//
// The modal loop offers every message to PreTranslateMessage (of the target
// window and its parents up to the dialog) before dispatching it; the
// dialog's own PreTranslateMessage runs the dialog keyboard navigation.
// Template items whose window class is a "{CLSID}" are ActiveX controls:
// they are taken out of the template Windows sees and created by the control
// container (when one is enabled) before OnInitDialog.
#pragma once

#include <initializer_list>
#include <utility>
#include <vector>

#include "framework/dlgtemplate.h"
#include "framework/wnd.h"

class CDialog;

class CDataExchange {
 public:
  CDataExchange(CDialog* pDlg, BOOL bSaveAndValidate) : m_pDlgWnd(pDlg), m_bSaveAndValidate(bSaveAndValidate) {}
  CDialog* m_pDlgWnd;
  BOOL m_bSaveAndValidate;  // TRUE: out of the controls into the members
};

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
void DDX_Control(CDataExchange* pDX, std::initializer_list<std::pair<int, CWnd*>> controls);

class COleControlContainer;

// What a dialog needs of the control container. The container itself lives
// in framework/occ.h and occ.cpp.
class COccManager {
 public:
  virtual ~COccManager() = default;
  // Creates the dialog's ActiveX items; false ends the modal run with -1.
  virtual bool CreateDlgControls(CDialog* pDlg, const DialogTemplate& tmpl) = 0;
  // Releases every control of the dialog, before its window goes away.
  virtual void DestroyDlgControls(CDialog* pDlg) = 0;
  // Offers a key message to the dialog's active control.
  virtual BOOL PreTranslateAccelerator(CDialog* pDlg, MSG* pMsg) = 0;
};
// The container, once AfxEnableControlContainer has switched it on; null
// before. Defined with the container.
COccManager* AfxGetOccManager();

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  ~CDialog() override;

  virtual INT_PTR DoModal();
  void EndDialog(INT_PTR nResult);
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

  virtual BOOL OnInitDialog();  // runs DoDataExchange into the controls
  virtual void OnOK();          // UpdateData(TRUE), then EndDialog(IDOK)
  virtual void OnCancel();      // EndDialog(IDCANCEL)
  virtual void DoDataExchange(CDataExchange* pDX);

  BOOL PreTranslateMessage(MSG* pMsg) override;
  BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

  // The dialog's ActiveX controls, while the container hosts them.
  COleControlContainer* m_pCtrlCont = nullptr;

 protected:
  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;
  INT_PTR m_nModalResult = -1;
  bool m_bModalEnded = false;
  DialogTemplate m_template;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
  BOOL HandleInitDialog();
  void RunModalLoop();
};
