#include <winsock2.h>

#include "viewer_window.h"

#include <cstdio>

#include "control_ids.h"
#include "module.h"
#include "settings_file.h"
#include "ui_strings.h"

namespace dvrocx {
namespace {

const char kViewerClass[] = "VeloDvrOcxView";

const COLORREF kBackColor = RGB(16, 17, 20);
const COLORREF kPaneColor = RGB(4, 4, 6);
const COLORREF kPaneFrame = RGB(64, 68, 78);
const COLORREF kSelectedFrame = RGB(0, 180, 90);
const COLORREF kLabelColor = RGB(210, 210, 215);
const COLORREF kNoVideoColor = RGB(120, 122, 130);
const COLORREF kBarColor = RGB(38, 40, 46);
const COLORREF kBarLine = RGB(70, 74, 84);
const COLORREF kStatusColor = RGB(225, 225, 228);

const int kBarHeight = 32;
const int kGap = 4;
const int kButtonWidth = 88;
const int kButtonHeight = 24;
const int kStatusHeight = 18;

// Language buttons left to right; the index is the language.
const int kButtonIds[3] = {IDC_DVROCX_LANG_ENGLISH, IDC_DVROCX_LANG_SIMPLIFIED, IDC_DVROCX_LANG_TRADITIONAL};

template <typename... Args>
std::string Format(const std::string& format, Args... args) {
  char text[768];
  snprintf(text, sizeof(text), format.c_str(), args...);
  return text;
}

UINT ReasonId(int error) {
  switch (error) {
    case WSAECONNREFUSED:
      return IDS_REASON_REFUSED;
    case WSAETIMEDOUT:
      return IDS_REASON_TIMEDOUT;
    case WSAEHOSTUNREACH:
      return IDS_REASON_HOSTUNREACH;
    case WSAENETUNREACH:
      return IDS_REASON_NETUNREACH;
    case WSAEADDRNOTAVAIL:
      return IDS_REASON_ADDRNOTAVAIL;
    default:
      return IDS_REASON_OTHER;
  }
}

void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
  SetBkColor(dc, color);
  ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

void Frame(HDC dc, const RECT& rect, COLORREF color) {
  RECT edge = {rect.left, rect.top, rect.right, rect.top + 1};
  FillSolid(dc, edge, color);
  edge = {rect.left, rect.bottom - 1, rect.right, rect.bottom};
  FillSolid(dc, edge, color);
  edge = {rect.left, rect.top, rect.left + 1, rect.bottom};
  FillSolid(dc, edge, color);
  edge = {rect.right - 1, rect.top, rect.right, rect.bottom};
  FillSolid(dc, edge, color);
}

void DrawLabel(HDC dc, const std::string& text, RECT rect, COLORREF color, UINT format) {
  SetTextColor(dc, color);
  SetBkMode(dc, TRANSPARENT);
  DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &rect, format | DT_NOPREFIX | DT_SINGLELINE);
}

}  // namespace

CViewerWindow::CViewerWindow(IViewerOwner& owner) : m_owner(owner) {
  // The control follows the language and window count the program keeps in
  // the shared settings file; without the file it starts in English with
  // four panes.
  const UINT lang = GetPrivateProfileIntA(VELO_SECTION_LANGUAGE, VELO_KEY_LANGUAGE, kEnglish, VELO_SETTINGS_FILE);
  m_text.SetLanguage(static_cast<int>(lang));
  const UINT panes = GetPrivateProfileIntA(VELO_SECTION_WINDOW_COUNT, VELO_KEY_WINDOW_COUNT, 0, VELO_SETTINGS_FILE);
  m_nPanes = (panes == 1 || panes == 9 || panes == 16) ? static_cast<int>(panes) : 4;

  // SimSun by name: Chinese texts need a CJK font whatever the system's
  // default GUI font is.
  m_hFont.Attach(CreateFontA(-14, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "SimSun"));
  m_hLabelFont.Attach(CreateFontA(-15, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "SimSun"));
  m_hBarBrush.Attach(CreateSolidBrush(kBarColor));
  m_tileTextMessage = RegisterWindowMessageA(kTileTextMessage);
  m_tileLatencyMessage = RegisterWindowMessageA(kTileLatencyMessage);
}

CViewerWindow::~CViewerWindow() { Destroy(); }

bool CViewerWindow::Create(HWND parent, const RECT& rect) {
  if (m_hWnd != nullptr) return true;
  if (!EnsureWindowClass(kViewerClass, &CViewerWindow::WindowProc, CS_DBLCLKS)) return false;
  CreateWindowExA(0, kViewerClass, "DvrOcx", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, rect.left,
                  rect.top, rect.right - rect.left, rect.bottom - rect.top, parent, nullptr, ModuleInstance(), this);
  return m_hWnd != nullptr;
}

void CViewerWindow::Destroy() {
  if (m_hWnd != nullptr) DestroyWindow(m_hWnd);  // WM_NCDESTROY clears m_hWnd
}

void CViewerWindow::Move(const RECT& rect) {
  if (m_hWnd != nullptr) MoveWindow(m_hWnd, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

void CViewerWindow::SetLanguage(int language) {
  m_text.SetLanguage(language);
  ApplyTexts();
}

void CViewerWindow::SetStatus(const StatusLine& status) {
  // Playing streams report every picture; the line changes far less often.
  if (status.kind == m_status.kind && status.host == m_status.host && status.port == m_status.port &&
      status.error == m_status.error)
    return;
  m_status = status;
  if (m_hStatus != nullptr) SetWindowTextA(m_hStatus, StatusText().c_str());
}

std::string CViewerWindow::StatusText() const {
  const char* host = m_status.host.c_str();
  switch (m_status.kind) {
    case StatusLine::kConnecting:
      return Format(m_text.Load(IDS_STATUS_CONNECTING), host, m_status.port);
    case StatusLine::kConnected:
      return Format(m_text.Load(IDS_STATUS_CONNECTED), host, m_status.port);
    case StatusLine::kFailed:
      return Format(m_text.Load(IDS_STATUS_FAILED), host, m_status.port, m_text.Load(ReasonId(m_status.error)).c_str(),
                    m_status.error);
    case StatusLine::kClosed:
      return Format(m_text.Load(IDS_STATUS_CLOSED), host, m_status.port);
    case StatusLine::kInvalid:
      return Format(m_text.Load(IDS_STATUS_INVALID), host);
    case StatusLine::kStreamConnecting:
      return Format(m_text.Load(IDS_STATUS_STREAM_CONNECTING), host);
    case StatusLine::kStreamPlaying:
      return Format(m_text.Load(IDS_STATUS_STREAM_PLAYING), host);
    case StatusLine::kIdle:
    default:
      return m_text.Load(IDS_STATUS_IDLE);
  }
}

void CViewerWindow::ApplyTexts() {
  if (m_hWnd == nullptr) return;
  SetWindowTextA(m_hStatus, StatusText().c_str());
  // The button of the current language is drawn as the default button.
  for (int i = 0; i < 3; ++i)
    SendMessageA(m_hButtons[i], BM_SETSTYLE, i == GetLanguage() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
  InvalidateRect(m_hWnd, nullptr, FALSE);
}

CViewerWindow::Layout CViewerWindow::ComputeLayout(const RECT& rect) const {
  Layout layout;
  layout.bar = {rect.left, rect.bottom - kBarHeight, rect.right, rect.bottom};
  if (layout.bar.top < rect.top) layout.bar.top = rect.top;
  layout.panes = {rect.left + kGap, rect.top + kGap, rect.right - kGap, layout.bar.top - kGap};

  int x = rect.right - 6 - 3 * kButtonWidth - 2 * 6;
  const int y = layout.bar.top + (kBarHeight - kButtonHeight) / 2;
  for (int i = 0; i < 3; ++i) {
    layout.buttons[i] = {x, y, x + kButtonWidth, y + kButtonHeight};
    x += kButtonWidth + 6;
  }
  const int statusTop = layout.bar.top + (kBarHeight - kStatusHeight) / 2;
  int statusRight = layout.buttons[0].left - 8;
  if (statusRight < rect.left + 8) statusRight = rect.left + 8;
  layout.status = {rect.left + 8, statusTop, statusRight, statusTop + kStatusHeight};
  return layout;
}

int CViewerWindow::PaneColumns() const {
  int columns = 1;
  while (columns * columns < m_nPanes) ++columns;
  return columns;
}

RECT CViewerWindow::PaneRect(const RECT& area, int pane) const {
  if (m_nMaximized >= 0) return area;
  const int columns = PaneColumns();
  const int rows = (m_nPanes + columns - 1) / columns;
  const int col = pane % columns;
  const int row = pane / columns;
  const int width = area.right - area.left + kGap;
  const int height = area.bottom - area.top + kGap;
  RECT rect;
  rect.left = area.left + width * col / columns;
  rect.right = area.left + width * (col + 1) / columns - kGap;
  rect.top = area.top + height * row / rows;
  rect.bottom = area.top + height * (row + 1) / rows - kGap;
  return rect;
}

int CViewerWindow::PaneAt(const RECT& area, POINT pt) const {
  if (m_nMaximized >= 0) return PtInRect(&area, pt) ? m_nMaximized : -1;
  for (int i = 0; i < m_nPanes; ++i) {
    RECT rect = PaneRect(area, i);
    if (PtInRect(&rect, pt)) return i;
  }
  return -1;
}

void CViewerWindow::Draw(HDC dc, const RECT& rect, bool drawButtons) const {
  const Layout layout = ComputeLayout(rect);
  const int saved = SaveDC(dc);
  FillSolid(dc, rect, kBackColor);

  for (int i = 0; i < m_nPanes; ++i) {
    if (m_nMaximized >= 0 && i != m_nMaximized) continue;
    const RECT pane = PaneRect(layout.panes, i);
    // Only panes that the paint touches: a new picture repaints its own.
    RECT clip, touched;
    const int clipKind = GetClipBox(dc, &clip);  // ERROR for DCs without one, such as metafiles
    const bool seen = clipKind == ERROR || (clipKind != NULLREGION && IntersectRect(&touched, &pane, &clip));
    if (seen && pane.right > pane.left && pane.bottom > pane.top) DrawPane(dc, i, pane);
  }

  FillSolid(dc, layout.bar, kBarColor);
  RECT line = {layout.bar.left, layout.bar.top, layout.bar.right, layout.bar.top + 1};
  FillSolid(dc, line, kBarLine);
  if (drawButtons) {
    // A picture of the bar for containers that draw the control
    // without its window: status text and the three buttons.
    SelectObject(dc, m_hFont);
    DrawLabel(dc, StatusText(), layout.status, kStatusColor, DT_LEFT | DT_VCENTER | DT_END_ELLIPSIS);
    for (int i = 0; i < 3; ++i) {
      FillSolid(dc, layout.buttons[i], GetSysColor(COLOR_BTNFACE));
      Frame(dc, layout.buttons[i], kBarLine);
      DrawLabel(dc, LanguageCaption(i), layout.buttons[i], GetSysColor(COLOR_BTNTEXT), DT_CENTER | DT_VCENTER);
    }
  }
  RestoreDC(dc, saved);
}

void CViewerWindow::SetTile(int index, const TileView& view) {
  if (index < 0 || index >= kStreamTiles) return;
  m_tiles[index] = view;
  if (m_hWnd == nullptr) return;
  RECT client;
  GetClientRect(m_hWnd, &client);
  const RECT area = ComputeLayout(client).panes;
  if (m_nMaximized >= 0 && m_nMaximized != index) return;
  const RECT pane = PaneRect(area, m_nMaximized >= 0 ? 0 : index);
  InvalidateRect(m_hWnd, &pane, FALSE);
}

std::string CViewerWindow::TileLabel(int index) const {
  std::string label = Format(m_text.Load(IDS_PANE_LABEL), index + 1);
  if (index < 0 || index >= kStreamTiles) return label;
  const TileView& tile = m_tiles[index];
  std::string state;
  switch (tile.state) {
    case TileState::kConnecting:
      state = m_text.Load(IDS_TILE_CONNECTING);
      break;
    case TileState::kPlaying:
      state = Format(m_text.Load(IDS_TILE_PLAYING), tile.fps);
      break;
    case TileState::kAuthFailed:
      state = m_text.Load(IDS_TILE_AUTH_FAILED);
      break;
    case TileState::kNoStream:
      state = m_text.Load(IDS_TILE_NO_STREAM);
      break;
    case TileState::kReconnecting:
      state = Format(m_text.Load(IDS_TILE_RECONNECTING), tile.retrySeconds);
      break;
    case TileState::kNoDecoder:
      state = m_text.Load(IDS_TILE_NO_DECODER);
      break;
    case TileState::kNone:
    default:
      break;
  }
  return state.empty() ? label : label + "  " + state;
}

// A pane: its newest picture scaled to fit with its aspect kept (or "No
// video"), the frame that marks the selection, and the label on top.
void CViewerWindow::DrawPane(HDC dc, int index, const RECT& pane) const {
  FillSolid(dc, pane, kPaneColor);
  const VideoFrame* frame = index < kStreamTiles ? m_tiles[index].frame.get() : nullptr;
  const RECT inner = {pane.left + 1, pane.top + 1, pane.right - 1, pane.bottom - 1};
  const int cx = inner.right - inner.left, cy = inner.bottom - inner.top;
  if (frame != nullptr && frame->width > 0 && frame->height > 0 && cx > 0 && cy > 0) {
    int w = cx, h = static_cast<int>(static_cast<long long>(cx) * frame->height / frame->width);
    if (h > cy) {
      h = cy;
      w = static_cast<int>(static_cast<long long>(cy) * frame->width / frame->height);
    }
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = frame->width;
    info.bmiHeader.biHeight = -frame->height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, inner.left + (cx - w) / 2, inner.top + (cy - h) / 2, w, h, 0, 0, frame->width, frame->height,
                  frame->pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    if (frame->arrival != 0 && m_paintedArrival[index] != frame->arrival) {
      m_paintedArrival[index] = frame->arrival;
      LARGE_INTEGER now, frequency;
      QueryPerformanceCounter(&now);
      QueryPerformanceFrequency(&frequency);
      m_latency[index] = (now.QuadPart - frame->arrival) * 1000000 / frequency.QuadPart;
    }
  } else {
    SelectObject(dc, m_hFont);
    DrawLabel(dc, m_text.Load(IDS_NO_VIDEO), pane, kNoVideoColor, DT_CENTER | DT_VCENTER);
  }
  Frame(dc, pane, index == m_nSelected ? kSelectedFrame : kPaneFrame);
  SelectObject(dc, m_hLabelFont);
  const std::string label = TileLabel(index);
  RECT box = {pane.left + 6, pane.top + 5, pane.right - 6, pane.top + 25};
  if (frame != nullptr) {
    // A dark box keeps the label legible on any picture.
    SIZE extent = {};
    GetTextExtentPoint32A(dc, label.c_str(), static_cast<int>(label.size()), &extent);
    RECT back = {box.left - 3, box.top - 1, box.left + extent.cx + 3, box.top + extent.cy + 1};
    if (back.right > box.right) back.right = box.right;
    FillSolid(dc, back, kPaneColor);
  }
  DrawLabel(dc, label, box, kLabelColor, DT_LEFT | DT_TOP | DT_END_ELLIPSIS);
}

LRESULT CALLBACK CViewerWindow::WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CViewerWindow* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<CViewerWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    self->m_hWnd = hWnd;
    SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<CViewerWindow*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
  }
  if (self == nullptr) return DefWindowProcA(hWnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
    self->m_hWnd = nullptr;
    self->m_hStatus = nullptr;
    for (HWND& button : self->m_hButtons) button = nullptr;
    return DefWindowProcA(hWnd, message, wParam, lParam);
  }
  return self->OnMessage(message, wParam, lParam);
}

LRESULT CViewerWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == m_tileTextMessage && message != 0) {
    const std::string label = TileLabel(static_cast<int>(wParam));
    lstrcpynA(reinterpret_cast<char*>(lParam), label.c_str(), 256);
    return static_cast<LRESULT>(label.size());
  }
  if (message == m_tileLatencyMessage && message != 0)
    return wParam < kStreamTiles ? static_cast<LRESULT>(m_latency[wParam]) : -1;
  switch (message) {
    case WM_CREATE: {
      HINSTANCE instance = ModuleInstance();
      m_hStatus = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, 0, 0, 0,
                                  m_hWnd, reinterpret_cast<HMENU>(INT_PTR{IDC_DVROCX_STATUS}), instance, nullptr);
      SendMessageA(m_hStatus, WM_SETFONT, reinterpret_cast<WPARAM>(HFONT(m_hFont)), FALSE);
      for (int i = 0; i < 3; ++i) {
        m_hButtons[i] =
            CreateWindowExA(0, "BUTTON", LanguageCaption(i), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0,
                            0, 0, m_hWnd, reinterpret_cast<HMENU>(INT_PTR{kButtonIds[i]}), instance, nullptr);
        SendMessageA(m_hButtons[i], WM_SETFONT, reinterpret_cast<WPARAM>(HFONT(m_hFont)), FALSE);
      }
      if (m_hStatus == nullptr || m_hButtons[0] == nullptr || m_hButtons[1] == nullptr || m_hButtons[2] == nullptr)
        return -1;
      RECT client;
      GetClientRect(m_hWnd, &client);
      OnSize(client.right, client.bottom);
      ApplyTexts();
      return 0;
    }
    case WM_SIZE:
      OnSize(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers every pixel
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_CTLCOLORSTATIC:
      SetTextColor(reinterpret_cast<HDC>(wParam), kStatusColor);
      SetBkColor(reinterpret_cast<HDC>(wParam), kBarColor);
      return reinterpret_cast<LRESULT>(HBRUSH(m_hBarBrush));
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      POINT pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      OnPaneClick(pt, message == WM_LBUTTONDBLCLK);
      return 0;
    }
    default:
      return DefWindowProcA(m_hWnd, message, wParam, lParam);
  }
}

void CViewerWindow::OnSize(int cx, int cy) {
  const RECT client = {0, 0, cx, cy};
  const Layout layout = ComputeLayout(client);
  if (m_hStatus != nullptr)
    MoveWindow(m_hStatus, layout.status.left, layout.status.top, layout.status.right - layout.status.left,
               layout.status.bottom - layout.status.top, TRUE);
  for (int i = 0; i < 3; ++i) {
    if (m_hButtons[i] != nullptr)
      MoveWindow(m_hButtons[i], layout.buttons[i].left, layout.buttons[i].top, kButtonWidth, kButtonHeight, TRUE);
  }
  InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CViewerWindow::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(m_hWnd, &ps);
  RECT client;
  GetClientRect(m_hWnd, &client);
  // Drawn off screen first so the panes do not flicker while resizing; only
  // the part to paint (a new picture repaints its own pane).
  {
    const RECT& part = ps.rcPaint;
    const int cx = part.right - part.left, cy = part.bottom - part.top;
    CMemoryDC memory(CreateCompatibleDC(dc));
    CBitmap bitmap(CreateCompatibleBitmap(dc, cx > 0 ? cx : 1, cy > 0 ? cy : 1));
    if (memory != nullptr && bitmap != nullptr) {
      HGDIOBJ old = SelectObject(memory, bitmap);
      SetViewportOrgEx(memory, -part.left, -part.top, nullptr);
      IntersectClipRect(memory, part.left, part.top, part.right, part.bottom);
      Draw(memory, client, false);
      SetViewportOrgEx(memory, 0, 0, nullptr);
      BitBlt(dc, part.left, part.top, cx, cy, memory, 0, 0, SRCCOPY);
      SelectObject(memory, old);
    } else {
      Draw(dc, client, false);
    }
  }  // the bitmap and the memory DC go before the paint ends
  EndPaint(m_hWnd, &ps);
}

void CViewerWindow::OnCommand(int id, int code) {
  if (code != BN_CLICKED) return;
  for (int i = 0; i < 3; ++i) {
    if (id == kButtonIds[i]) SetLanguage(i);
  }
}

void CViewerWindow::OnPaneClick(POINT pt, bool dbl) {
  RECT client;
  GetClientRect(m_hWnd, &client);
  const int pane = PaneAt(ComputeLayout(client).panes, pt);
  if (pane >= 0) {
    m_nSelected = pane;
    if (dbl) m_nMaximized = m_nMaximized >= 0 ? -1 : pane;
    InvalidateRect(m_hWnd, nullptr, FALSE);
  }
  m_owner.OnViewerClicked();
}

}  // namespace dvrocx
