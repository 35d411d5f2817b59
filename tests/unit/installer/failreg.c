/* A library whose self-registration entry points both fail. */
#include <windows.h>
#include <olectl.h>

STDAPI DllRegisterServer(void) { return SELFREG_E_CLASS; }
STDAPI DllUnregisterServer(void) { return E_ACCESSDENIED; }
