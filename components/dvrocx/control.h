// The viewer control DvrOcx: an OLE control whose face is the viewer window
// and whose members hand it the recorder's address and port; it keeps a
// connection to the recorder and shows how it goes on the status line.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <string>

#include "channel.h"
#include "device_link.h"
#include "ole_control.h"
#include "viewer_window.h"

namespace dvrocx {

class CDvrOcxControl final : public COleControl, private IViewerOwner {
 public:
  CDvrOcxControl();

 private:
  ~CDvrOcxControl() override;

  static const Member kMembers[];
  static const ControlClass kClass;

  HWND FaceWindow() const override { return m_view.Handle(); }
  bool CreateFace(HWND parent, const RECT& rect) override { return m_view.Create(parent, rect); }
  void DestroyFace() override { m_view.Destroy(); }
  void DrawFace(HDC dc, const RECT& rect) override { m_view.Draw(dc, rect, true); }
  void OnClose() override;
  void OnViewerClicked() override { OnFaceClicked(); }

  // The members of _DDvrOcx.
  HRESULT InvokeDeviceIP(const DispCall& call) { return Property(call, m_strDeviceIP); }
  HRESULT InvokeDevicePort(const DispCall& call) { return Property(call, m_nDevicePort); }
  HRESULT InvokeSetDeviceIPandPort(const DispCall& call);
  HRESULT InvokeAboutBox(const DispCall& call);
  LONG SetDeviceIPandPort(const std::wstring& address, USHORT port);
  LONG PlayStreams(const std::string& text, USHORT port);
  void StopStreams();

  // Connection news from the worker thread arrives in a message-only
  // window, so it works also while the control has no face.
  static LRESULT CALLBACK LinkWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  void OnLinkMessage(UINT message, WPARAM attempt, LPARAM error);
  void OnTileChanged(WPARAM attempt, int index);
  bool EnsureLinkWindow();
  void ShowStatus(StatusLine::Kind kind, int error);

  bool m_bWinsock = false;
  std::wstring m_strDeviceIP;
  LONG m_nDevicePort = 0;

  CViewerWindow m_view;
  CDeviceLink m_link;
  HWND m_hLinkWnd = nullptr;
  WPARAM m_nAttempt = 0;      // number of the current connection attempt
  std::string m_strLinkHost;  // the address as given, for the status line
  USHORT m_nLinkPort = 0;
  CChannel m_channels[kStreamTiles];  // a stream URL plays here instead of m_link
};

}  // namespace dvrocx
