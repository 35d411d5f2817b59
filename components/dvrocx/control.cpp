// The viewer control DvrOcx: its class, its members and its connection to
// the recorder. The OLE plumbing is COleControl's (ole_control.*).
#include "control.h"

#include <iterator>

#include "dvrocx_ids.h"
#include "stream_url.h"
#include "port.h"
#include "ui_strings.h"

namespace dvrocx {
namespace {

const char kLinkClass[] = "VeloDvrOcxLink";

// Results of SetDeviceIPandPort.
const LONG kStarted = 0;
const LONG kInvalidAddress = 1;
const LONG kInvalidPort = 2;
const LONG kCannotStart = 3;

// Parameter names of SetDeviceIPandPort, by position.
const wchar_t* const kSetParams[] = {L"deviceIP", L"DevicePort", nullptr};

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int n =
      WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

}  // namespace

const COleControl::Member CDvrOcxControl::kMembers[] = {
    {L"deviceIP", DISPID_DVROCX_DEVICEIP, On(&CDvrOcxControl::InvokeDeviceIP)},
    {L"DevicePort", DISPID_DVROCX_DEVICEPORT, On(&CDvrOcxControl::InvokeDevicePort)},
    {L"SetDeviceIPandPort", DISPID_DVROCX_SETDEVICEIPANDPORT, On(&CDvrOcxControl::InvokeSetDeviceIPandPort),
     kSetParams},
    {L"AboutBox", DISPID_DVROCX_ABOUTBOX, On(&CDvrOcxControl::InvokeAboutBox)},
};

const COleControl::ControlClass CDvrOcxControl::kClass = {CLSID_DvrOcx, DIID__DDvrOcx, DIID__DDvrOcxEvents,
                                                          kMiscStatus,  kMembers,      std::size(kMembers)};

CDvrOcxControl::CDvrOcxControl() : COleControl(kClass), m_view(*this) {
  WSADATA data;
  m_bWinsock = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

CDvrOcxControl::~CDvrOcxControl() {
  StopStreams();
  m_link.Stop();
  if (m_hLinkWnd != nullptr) DestroyWindow(m_hLinkWnd);
  m_view.Destroy();
  if (m_bWinsock) WSACleanup();
}

// A closed control holds no connection.
void CDvrOcxControl::OnClose() {
  StopStreams();
  m_link.Stop();
  ++m_nAttempt;
}

// ---------------------------------------------------------------- members

HRESULT CDvrOcxControl::InvokeSetDeviceIPandPort(const DispCall& call) {
  int arg[2];
  std::wstring address;
  LONG port = 0;
  HRESULT hr = call.Method(2, arg);
  if (SUCCEEDED(hr)) hr = call.Read(arg[0], address);
  if (SUCCEEDED(hr)) hr = call.Read(arg[1], port);
  if (FAILED(hr)) return hr;
  // The port comes in the 16-bit form of port.h.
  if (!IsControlPort(port)) {
    *call.argError = static_cast<UINT>(arg[1]);
    return DISP_E_OVERFLOW;
  }
  return call.Return(SetDeviceIPandPort(address, PortFromControl(port)));
}

HRESULT CDvrOcxControl::InvokeAboutBox(const DispCall& call) {
  const HRESULT hr = call.Method(0, nullptr);
  if (FAILED(hr)) return hr;
  if (call.result != nullptr) VariantInit(call.result);
  HWND owner = m_view.Handle() != nullptr ? GetAncestor(m_view.Handle(), GA_ROOT) : GetActiveWindow();
  MessageBoxA(owner, m_view.Text(IDS_ABOUT_TEXT).c_str(), m_view.Text(IDS_ABOUT_CAPTION).c_str(),
              MB_OK | MB_ICONINFORMATION);
  return S_OK;
}

// ---------------------------------------------------------------- network

LONG CDvrOcxControl::SetDeviceIPandPort(const std::wstring& address, USHORT port) {
  const std::string host = Narrow(address);
  if (video::IsStreamUrl(host)) {
    const LONG result = PlayStreams(host, port);
    if (result == kStarted) {
      m_strDeviceIP = address;
      m_nDevicePort = port;
    }
    return result;
  }
  in_addr resolved = {};
  if (!m_bWinsock || !ResolveDeviceAddress(host, resolved)) {
    // The running connection, if any, stays; the operator sees why
    // nothing happened.
    m_view.SetStatus({StatusLine::kInvalid, host, port});
    return kInvalidAddress;
  }
  if (port == 0) return kInvalidPort;
  if (!EnsureLinkWindow()) return kCannotStart;
  StopStreams();

  m_strDeviceIP = address;
  m_nDevicePort = port;
  m_strLinkHost = host;
  m_nLinkPort = port;
  ++m_nAttempt;  // news of the replaced connection is dropped from now on
  int error = 0;
  if (!m_link.Start(resolved, port, m_hLinkWnd, m_nAttempt, &error)) {
    ShowStatus(StatusLine::kFailed, error);
    return kCannotStart;
  }
  ShowStatus(StatusLine::kConnecting, 0);
  return kStarted;
}

bool CDvrOcxControl::EnsureLinkWindow() {
  if (m_hLinkWnd == nullptr && EnsureWindowClass(kLinkClass, &CDvrOcxControl::LinkWindowProc, 0))
    CreateWindowExA(0, kLinkClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ModuleInstance(), this);
  return m_hLinkWnd != nullptr;
}

// A stream URL: "{ch}" in it plays channels 1-4 in the four tiles, else the
// one stream plays in the first tile. The URL's own port wins over port.
LONG CDvrOcxControl::PlayStreams(const std::string& text, USHORT port) {
  const int tiles = video::HasChannelToken(text) ? kStreamTiles : 1;
  video::StreamUrl urls[kStreamTiles];
  for (int i = 0; i < tiles; ++i) {
    if (!video::ParseStreamUrl(video::ExpandChannel(text, i + 1), port, urls[i])) {
      m_view.SetStatus({StatusLine::kInvalid, video::MaskPassword(text), port});
      return kInvalidAddress;
    }
    if (urls[i].port == 0) return kInvalidPort;
  }
  if (!m_bWinsock || !EnsureLinkWindow()) return kCannotStart;
  m_link.Stop();
  StopStreams();
  ++m_nAttempt;  // news of the replaced streams is dropped from now on
  m_strLinkHost = video::MaskPassword(text);
  m_nLinkPort = port;
  for (int i = 0; i < tiles; ++i) {
    if (!m_channels[i].Start(urls[i], m_hLinkWnd, kMsgTileChanged, m_nAttempt, i)) {
      StopStreams();
      ShowStatus(StatusLine::kFailed, static_cast<int>(GetLastError()));
      return kCannotStart;
    }
    m_view.SetTile(i, m_channels[i].Snapshot());
  }
  ShowStatus(StatusLine::kStreamConnecting, 0);
  return kStarted;
}

void CDvrOcxControl::StopStreams() {
  for (int i = 0; i < kStreamTiles; ++i) {
    m_channels[i].Stop();
    m_view.SetTile(i, TileView());
  }
}

void CDvrOcxControl::OnTileChanged(WPARAM attempt, int index) {
  if (attempt != m_nAttempt || index < 0 || index >= kStreamTiles) return;
  const TileView view = m_channels[index].Snapshot();
  m_view.SetTile(index, view);
  if (view.state == TileState::kPlaying && view.frame) ShowStatus(StatusLine::kStreamPlaying, 0);
}

void CDvrOcxControl::ShowStatus(StatusLine::Kind kind, int error) {
  m_view.SetStatus({kind, m_strLinkHost, m_nLinkPort, error});
}

LRESULT CALLBACK CDvrOcxControl::LinkWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<CDvrOcxControl*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    self->m_hLinkWnd = hWnd;
    SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<CDvrOcxControl*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
  if (message == WM_NCDESTROY && self != nullptr) {
    SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
    self->m_hLinkWnd = nullptr;
  } else if (self != nullptr && message == kMsgTileChanged) {
    self->OnTileChanged(wParam, static_cast<int>(lParam));
    return 0;
  } else if (self != nullptr &&
             (message == kMsgLinkConnected || message == kMsgLinkFailed || message == kMsgLinkClosed)) {
    self->OnLinkMessage(message, wParam, lParam);
    return 0;
  }
  return DefWindowProcA(hWnd, message, wParam, lParam);
}

void CDvrOcxControl::OnLinkMessage(UINT message, WPARAM attempt, LPARAM error) {
  if (attempt != m_nAttempt) return;
  if (message == kMsgLinkConnected) {
    ShowStatus(StatusLine::kConnected, 0);
    return;
  }
  // The worker has ended; collect it and close the socket.
  m_link.Stop();
  ShowStatus(message == kMsgLinkFailed ? StatusLine::kFailed : StatusLine::kClosed, static_cast<int>(error));
}

}  // namespace dvrocx
