// Dialog templates (DLGTEMPLATE and DLGTEMPLATEEX) read into a plain
// structure and written back, so that a dialog can be created without the
// items Windows cannot create itself (ActiveX items, whose window class is a
// "{CLSID}"), and so that tests can read a built module's templates.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct DialogItem {
  DWORD helpId = 0;
  DWORD exStyle = 0;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  DWORD id = 0;
  WORD classAtom = 0;  // predefined class (0x80 button ...), or 0 with className
  std::wstring className;
  WORD textOrdinal = 0;  // resource ordinal (an icon id), or 0 with text
  std::wstring text;
  std::vector<BYTE> creationData;
  // The item is an ActiveX control: its class is a class id in braces.
  bool IsOleControl() const { return classAtom == 0 && !className.empty() && className[0] == L'{'; }
  bool GetClsid(CLSID* pClsid) const;
};

struct DialogTemplate {
  bool extended = false;
  DWORD helpId = 0;
  DWORD exStyle = 0;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  WORD menuOrdinal = 0;
  std::wstring menu;
  WORD classOrdinal = 0;
  std::wstring windowClass;
  std::wstring title;
  WORD pointSize = 0;
  WORD weight = 0;
  BYTE italic = 0;
  BYTE charset = 0;
  std::wstring typeface;
  std::vector<DialogItem> items;
  // The template's dialog init data (resource type 240) of the same id, as is.
  std::vector<BYTE> initData;

  bool Parse(const void* data, size_t size);
  // The template bytes again, DWORD aligned; without ActiveX items when asked.
  std::vector<BYTE> Build(bool bWithoutOleItems) const;
  // Loads template nId (and its init data) from a module.
  bool Load(HINSTANCE hInst, UINT nId);
  // The init record of one control: message and bytes; false when it has none.
  bool FindInitRecord(WORD ctrlId, WORD* pMsg, std::vector<BYTE>* pData) const;
};
