#include "ui_text.h"

#include "module.h"

namespace dvrocx {

bool CUiText::SetLanguage(int language) {
  const char* file = nullptr;
  if (language == kSimplifiedChinese)
    file = "DvrOcxChs.dll";
  else if (language == kTraditionalChinese)
    file = "DvrOcxChn.dll";

  HMODULE texts = nullptr;
  if (file != nullptr) {
    const std::string path = ModuleFolder() + file;
    // As a data file: the library's code (it has none) is never run.
    texts = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (texts == nullptr) language = kEnglish;
  } else {
    language = kEnglish;
  }
  m_hTexts.Attach(texts);
  m_nLanguage = language;
  return file == nullptr || texts != nullptr;
}

std::string CUiText::Load(UINT id) const {
  char text[512];
  int n = 0;
  if (m_hTexts != nullptr) n = LoadStringA(m_hTexts, id, text, sizeof(text));
  if (n <= 0) n = LoadStringA(ModuleInstance(), id, text, sizeof(text));
  return n > 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
}

const char* LanguageCaption(int language) {
  switch (language) {
    case kSimplifiedChinese:
      return "简体中文";
    case kTraditionalChinese:
      return "繁体中文";
    default:
      return "ENGLISH";
  }
}

}  // namespace dvrocx
