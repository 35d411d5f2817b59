// What the pieces of DvrOcx.ocx share about the module itself: its handle,
// the count of live objects and server locks that decides DllCanUnloadNow,
// its own path and folder, its embedded type library, and the control's
// status flags, which the control reports and the registration records.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <oleidl.h>

#include <string>

namespace dvrocx {

// What the control needs of a container: it is windowed, is activated as
// soon as it is visible, wants its site before its state is loaded, and
// redraws itself when resized.
inline constexpr DWORD kMiscStatus = OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INSIDEOUT |
                                     OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;

HINSTANCE ModuleInstance();

// Every control object and every IClassFactory::LockServer(TRUE) holds the
// module; DllCanUnloadNow answers S_OK only when nothing does.
void LockModule();
void UnlockModule();
LONG ModuleLockCount();

// Full path of DvrOcx.ocx as loaded, and its folder with a trailing '\'.
std::string ModulePath();
std::wstring ModulePathW();
std::string ModuleFolder();

// Registers a window class of this module once (class names are per module,
// so two loaded copies of the control do not clash); all of them are
// unregistered by UnregisterWindowClasses when the library is freed.
bool EnsureWindowClass(const char* name, WNDPROC proc, UINT style);
void UnregisterWindowClasses();

// The type library embedded as TYPELIB resource 1 (the caller releases it).
HRESULT LoadOwnTypeLib(ITypeLib** typeLib);
HRESULT LoadOwnTypeInfo(REFGUID guid, ITypeInfo** typeInfo);

}  // namespace dvrocx
