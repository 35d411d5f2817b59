// The settings file that the program keeps and the viewer control reads,
// both through the profile functions: its path, sections and keys.
//
//   [Language]       Lang=0|1|2  English, Simplified or Traditional Chinese
//   [WINDOW_COUNT]   wnd_count   the control's panes: 1, 9 or 16, otherwise 4
//   [VELO_KEYWORDS]  the program's address book: COUNT, INDEX (the current
//                    slot), IPnn and PORTnn per slot, and the viewer's IP, PORT
//   [LOGIN_ADDRESS]  IP          the address last logged in to
#pragma once

// Relative, so it is resolved against the current folder; having a folder
// part also keeps the profile functions off the Windows folder.
#define VELO_SETTINGS_FILE ".\\QlUserCfg.ini"

#define VELO_SECTION_LANGUAGE "Language"
#define VELO_KEY_LANGUAGE "Lang"
#define VELO_SECTION_WINDOW_COUNT "WINDOW_COUNT"
#define VELO_KEY_WINDOW_COUNT "wnd_count"
#define VELO_SECTION_BOOK "VELO_KEYWORDS"
#define VELO_KEY_COUNT "COUNT"
#define VELO_KEY_INDEX "INDEX"
#define VELO_KEY_IP "IP"
#define VELO_KEY_PORT "PORT"
#define VELO_SECTION_LOGIN "LOGIN_ADDRESS"
