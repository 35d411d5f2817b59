// A small windowed ActiveX control of the tests' own, registered for this
// process only (CoRegisterClassObject): it writes down what the container
// does to it, so that the container can be checked call by call.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <deque>
#include <string>
#include <vector>

namespace occtest {

// {6F1C2B90-6A52-4C8E-9D3B-1E7A5C0F4D11}
inline constexpr CLSID CLSID_TestControl = {
    0x6f1c2b90, 0x6a52, 0x4c8e, {0x9d, 0x3b, 0x1e, 0x7a, 0x5c, 0x0f, 0x4d, 0x11}};

// The test control's members.
inline constexpr DISPID kDispText = 1;    // property BSTR
inline constexpr DISPID kDispNumber = 2;  // property long
inline constexpr DISPID kDispJoin = 3;    // long Join(BSTR text, short n): records both, returns n * 2
inline constexpr DISPID kDispDenied = 4;  // method that raises an exception (E_ACCESSDENIED)

// A key the control's TranslateAccelerator takes (S_OK); others it declines.
inline constexpr UINT kAcceleratorKey = VK_F2;

// What one control object saw, in creation order.
struct ControlLog {
  std::vector<std::string> calls;  // the container's calls, in order
  bool siteSetBeforeLoad = false;  // a client site was there at Load / InitNew
  std::vector<BYTE> loaded;        // the bytes Load read
  SIZEL extentSet{-1, -1};         // the last SetExtent
  HWND hWnd = nullptr;             // its window while in place
  HWND hInner = nullptr;           // a child button inside it
  HWND siteWindow = nullptr;       // IOleInPlaceSite::GetWindow
  HWND frameWindow = nullptr;      // the frame's IOleWindow::GetWindow
  RECT posRect{};                  // GetWindowContext
  // Ambient properties, read while it activates.
  HRESULT userModeHr = E_FAIL;
  VARIANT_BOOL userMode = VARIANT_FALSE;
  LONG localeId = 0;
  std::wstring displayName;
  std::wstring fontName;
  LONG backColor = -1, foreColor = -1;
  VARIANT_BOOL messageReflect = VARIANT_TRUE, showHatching = VARIANT_TRUE, uiDead = VARIANT_TRUE;
  HRESULT unknownAmbientHr = S_OK;
  // Keys: offered through TranslateAccelerator, and received by its window.
  std::vector<UINT> keysOffered;
  std::vector<UINT> keysInWindow;
  // Arguments of Join as they arrived.
  std::wstring joinText;
  short joinNumber = 0;
};

struct TestControlState {
  DWORD miscStatus = 0;  // what GetMiscStatus answers
  int live = 0;          // control objects alive
  std::deque<ControlLog> controls;
  // One extra reference to the first client site any control got, so a
  // test can see whether the container released all of its own.
  IOleClientSite* heldSite = nullptr;
};
extern TestControlState g_testControl;

// Registers the class for this process (once) and clears the state.
void ResetTestControl(DWORD miscStatus = 0);

}  // namespace occtest
