// The component installer: the viewer control and its twelve companion
// libraries travel inside the program as resources of type "BIN" (the table
// in components/common/payloads.h) and are written into the system directory
// when the control is not registered or its registered file is gone.
//
//   IsControlRegistered  1 when the control's class key names an existing file
//   InstallComponents    writes all thirteen payloads, then registers the control
//   ExtractPayload       writes one payload, asking before it overwrites
//   RegisterControl      loads the installed control and calls DllRegisterServer
//   OnButtonRegister     the hidden Register / Unregister buttons: pick a
//   OnButtonUnregister   library and call its (un)registration entry point
//
// Every operation acquires its key, file or library and releases it before it
// returns; nothing is kept between calls. Messages go through the framework's
// message boxes.
#pragma once

#include <windows.h>

#include "components/common/dvrocx_ids.h"
#include "components/common/payloads.h"

struct PayloadEntry {
  int nId;                  // resource id, type "BIN"
  const char* pszFileName;  // name written into the system directory, with its case
};

// In the order of writing; the first is the control.
#define VELO_PAYLOAD_ENTRY(id, file, role) {id, file},
inline constexpr PayloadEntry g_aPayloads[] = {VELO_PAYLOADS(VELO_PAYLOAD_ENTRY)};
#undef VELO_PAYLOAD_ENTRY

// The control's class key under HKEY_CLASSES_ROOT.
inline constexpr char kControlServerKey[] = "CLSID\\" DVROCX_CLSID_TEXT "\\InprocServer32";

int IsControlRegistered();
// hOwner owns the overwrite questions (the start-up dialog).
void InstallComponents(HWND hOwner);
void ExtractPayload(HWND hOwner, const char* pszType, int nId, const char* pszFileName);
void RegisterControl();
void OnButtonRegister();
void OnButtonUnregister();
