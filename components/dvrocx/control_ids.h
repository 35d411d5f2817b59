// Ids of the control's inner windows. They stay clear of the ids of the
// program's dialogs (1001-1027); the program finds the language windows by
// caption, tests find the status line by id.
#pragma once

#define IDC_DVROCX_LANG_SIMPLIFIED 3001   // "简体中文"
#define IDC_DVROCX_LANG_ENGLISH 3002      // "ENGLISH"
#define IDC_DVROCX_LANG_TRADITIONAL 3003  // "繁体中文"
#define IDC_DVROCX_STATUS 3010            // status line (a STATIC)
