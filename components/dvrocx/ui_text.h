// The control's texts in its current language. English lives in DvrOcx.ocx
// itself; the Chinese tables are loaded as data from DvrOcxChs.dll
// (Simplified) and DvrOcxChn.dll (Traditional) by full path, from the folder
// DvrOcx.ocx was loaded from, never through the library search order.
#pragma once

#include <windows.h>

#include <string>

#include "handles.h"

namespace dvrocx {

enum Language : int { kEnglish = 0, kSimplifiedChinese = 1, kTraditionalChinese = 2 };

class CUiText {
 public:
  // Switches the table; when a Chinese library cannot be loaded the texts
  // stay English and false is returned.
  bool SetLanguage(int language);
  int GetLanguage() const { return m_nLanguage; }
  // A text of the current table, GBK; the English text when the current
  // table lacks it.
  std::string Load(UINT id) const;

 private:
  CModule m_hTexts;  // null: the module's own English table
  int m_nLanguage = kEnglish;
};

// The three language windows carry these captions in every language.
const char* LanguageCaption(int language);

}  // namespace dvrocx
