// The control's face: a dark viewing area with a grid of video panes, a
// status line and a bar of three language buttons. The window exists only
// while the control is in-place active; its texts, status and pane choice
// live in this object and survive the window.
#pragma once

#include <windows.h>

#include <string>

#include "handles.h"
#include "tile_view.h"
#include "ui_text.h"

namespace dvrocx {

// What the status line says; it is worded anew in each language.
struct StatusLine {
  enum Kind { kIdle, kConnecting, kConnected, kFailed, kClosed, kInvalid, kStreamConnecting, kStreamPlaying };
  Kind kind = kIdle;
  std::string host;  // for streams: the URL with its password masked
  unsigned port = 0;
  int error = 0;
};

// Asks the viewer window for the label of tile wParam (0-based) as the
// operator reads it: lParam points to a char[256] that receives it. For
// accessibility tools and tests in the control's process.
const char kTileTextMessage[] = "VeloDvrOcxTileText";
// Asks how long the picture last painted in tile wParam took from the
// arrival of its first byte to the screen: the answer in microseconds, or
// -1 before the first picture. For measurements.
const char kTileLatencyMessage[] = "VeloDvrOcxTileLatency";

class IViewerOwner {
 public:
  // The operator clicked into the control (a container UI-activates it).
  virtual void OnViewerClicked() = 0;

 protected:
  ~IViewerOwner() = default;
};

class CViewerWindow {
 public:
  explicit CViewerWindow(IViewerOwner& owner);
  ~CViewerWindow();
  CViewerWindow(const CViewerWindow&) = delete;
  CViewerWindow& operator=(const CViewerWindow&) = delete;

  // Creates the window as a visible child of parent at rect (client
  // coordinates of parent).
  bool Create(HWND parent, const RECT& rect);
  void Destroy();
  HWND Handle() const { return m_hWnd; }
  void Move(const RECT& rect);

  void SetLanguage(int language);
  int GetLanguage() const { return m_text.GetLanguage(); }
  void SetStatus(const StatusLine& status);
  std::string StatusText() const;
  std::string Text(UINT id) const { return m_text.Load(id); }
  // What tile `index` shows from now on; repaints that tile.
  void SetTile(int index, const TileView& view);
  std::string TileLabel(int index) const;

  // Paints the whole face into dc at rect, the language buttons included:
  // used for the window and for containers that draw the control.
  void Draw(HDC dc, const RECT& rect, bool drawButtons) const;

 private:
  static LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnPaint();
  void OnSize(int cx, int cy);
  void OnCommand(int id, int code);
  void OnPaneClick(POINT pt, bool dbl);
  void ApplyTexts();

  struct Layout {
    RECT panes;
    RECT bar;
    RECT status;
    RECT buttons[3];
  };
  Layout ComputeLayout(const RECT& rect) const;
  int PaneColumns() const;
  RECT PaneRect(const RECT& area, int pane) const;
  void DrawPane(HDC dc, int index, const RECT& pane) const;
  int PaneAt(const RECT& area, POINT pt) const;

  IViewerOwner& m_owner;
  HWND m_hWnd = nullptr;
  HWND m_hStatus = nullptr;
  HWND m_hButtons[3] = {};
  CUiText m_text;
  StatusLine m_status;
  CGdiObject<HFONT> m_hFont;
  CGdiObject<HFONT> m_hLabelFont;
  CGdiObject<HBRUSH> m_hBarBrush;
  int m_nPanes = 4;
  int m_nSelected = 0;
  int m_nMaximized = -1;  // a pane shown alone after a double click
  TileView m_tiles[kStreamTiles];
  mutable LONGLONG m_latency[kStreamTiles] = {-1, -1, -1, -1};  // microseconds, see kTileLatencyMessage
  mutable int64_t m_paintedArrival[kStreamTiles] = {};          // of the picture the latency is of
  UINT m_tileTextMessage = 0;
  UINT m_tileLatencyMessage = 0;
};

}  // namespace dvrocx
