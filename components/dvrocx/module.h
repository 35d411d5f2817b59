// What the pieces of DvrOcx.ocx share about the module itself: its handle,
// the count of live objects and server locks that decides DllCanUnloadNow,
// its own path and folder, and its embedded type library.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace dvrocx {

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
bool EnsureWindowClass(const char *name, WNDPROC proc, UINT style);
void UnregisterWindowClasses();

// The type library embedded as TYPELIB resource 1 (the caller releases it).
HRESULT LoadOwnTypeLib(ITypeLib **typeLib);
HRESULT LoadOwnTypeInfo(REFGUID guid, ITypeInfo **typeInfo);

} // namespace dvrocx
