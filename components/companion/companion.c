/* One source for the ten companion libraries of the viewer control. The build
 * compiles it once per library with that library's file name and version; the
 * library's role is stated in its version resource. */
#include <windows.h>
#include <string.h>

#ifndef VELO_COMPONENT_FILE
#error "VELO_COMPONENT_FILE names the library being built"
#endif
#ifndef VELO_COMPONENT_VERSION
#error "VELO_COMPONENT_VERSION gives its version"
#endif

int WINAPI VeloComponentInfo(char* buffer, int size);

/* Writes "<file name> <version>" into buffer, NUL-terminated. Returns the
 * length written, or the size needed (including the NUL) as a negative number
 * when buffer is null or too small; nothing is written then. */
int WINAPI VeloComponentInfo(char* buffer, int size) {
  static const char info[] = VELO_COMPONENT_FILE " " VELO_COMPONENT_VERSION;
  const int needed = (int)sizeof(info);

  if (buffer == NULL || size < needed) return -needed;
  memcpy(buffer, info, sizeof(info));
  return needed - 1;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
