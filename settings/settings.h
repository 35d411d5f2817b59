// The settings file and its address book (components/common/settings_file.h).
//
//   file        EnsureSettingsFile, ReadFileImage
//   language    ReadLanguage, WriteLanguage
//   entries     AddNewAddress, UpdateKnownAddress, DeleteAddressLines,
//               FindAddressIndex, ReadPortForIndex
//   dialog      LoadAddressList, SaveLoginAddress, DeleteSelectedAddress,
//               ShowPortOfSelection
//   viewer      ReadLastAddress, WriteViewerAddress
//
// The file is the only memory: every operation opens and closes it and
// nothing is cached, so each one sees what the previous one wrote. Reads and
// simple writes go through the profile functions; finding, updating and
// deleting an entry work on the file's raw text (settings/profile_text.h).
// Failures are shown at once in the application's message box (OK only).
//
// The dialog operations take the controls they work on: the address list (a
// drop-down combo box with an edit field, sorted), the port box (an edit)
// and, for Delete, the button and the window that owns its question. Ending
// the dialog is left to the dialog: SaveLoginAddress says when.
#pragma once

#include <windows.h>

#include <string>

#include "components/common/settings_file.h"
#include "framework/controls.h"

namespace settings {

constexpr char kFileName[] = VELO_SETTINGS_FILE;

// The largest file the raw-text operations read; a larger one counts as a
// file that cannot be opened.
constexpr DWORD kMaxFileSize = 1024 * 1024;

// Creates the file with the default contents when it does not exist
// ("CreateFile", then "Create File fail" when it cannot be created). An
// existing file is left alone, even when empty; any other failure to open it
// is silent.
void EnsureSettingsFile();

// The whole file, opened for reading and writing with the given disposition
// (OPEN_EXISTING or OPEN_ALWAYS). False when it cannot be opened, is larger
// than kMaxFileSize or cannot be read whole.
bool ReadFileImage(DWORD dwCreationDisposition, std::string* text);

// "Lang" in [Language]: 0 English, 1 Simplified, 2 Traditional Chinese.
int ReadLanguage();
void WriteLanguage(int nLang);

// Adds an entry in the lowest free slot (one whose port reads as 0) and makes
// it the current one. Returns the slot, or -1 after "Address book full"
// (nothing written) when all 100 slots are taken.
int AddNewAddress(const std::string& address, const std::string& port);

enum class UpdateResult {
  kUpdated,     // the entry storing exactly this address got the new port
  kNotKnown,    // no numbered entry stores exactly this address
  kOpenFailed,  // "Open file fail" was shown; nothing written
};
// Updates the entry whose stored address equals this one exactly and makes it
// the current one. COUNT is not touched.
UpdateResult UpdateKnownAddress(const std::string& address, const std::string& port);

enum class DeleteResult {
  kDeleted,
  kOpenFailed,     // "CreateFile fail" shown
  kNotFound,       // "not find" shown
  kRewriteFailed,  // "CreateaFile fail" shown
};
// Cuts the entry's address line and port line out of the file and rewrites
// it: the new text goes into a temporary file beside it, which then replaces
// it in one step, so the file holds the whole old or the whole new text at
// every moment. Where the folder takes no new file, the file is rewritten in
// place and on a failed write the old text is put back. On failure its
// message has been shown, the file is as it was and no temporary file is
// left.
DeleteResult DeleteAddressLines(const std::string& address);

// For tests: the steps of the raw-text file operations that fail from now on
// (an or of FailStep values; 0 for none).
enum FailStep : unsigned {
  kFailRead = 1,          // a read gets less than the file's size
  kFailCreateTemp = 2,    // no temporary file can be made
  kFailWriteTemp = 4,     // writing the temporary file
  kFailFlushTemp = 8,     // flushing it
  kFailReplace = 16,      // putting it in place of the file
  kFailWriteInPlace = 32  // the in-place rewrite stops half-way
};
void SetFailingStepsForTest(unsigned steps);

// The slot whose numbered line stores exactly this address; -1 when there is
// none or the file cannot be read.
int FindAddressIndex(const std::string& address);

// "PORTnn" as an integer; 0 when missing (also for slot -1).
int ReadPortForIndex(int nSlot);

// While the start-up dialog opens: when COUNT > 0, lists the stored
// addresses, selects the entry whose text is exactly the current address
// (letter case counts) and shows its port.
void LoadAddressList(CComboBox& list, HWND hPortBox);

// OK: checks the typed address and port ("Invalid Address", "Invalid Port")
// and stores them as a known or new entry; the dialog then ends with OK. On
// a failure, which has been shown, it stays open.
enum class FlowEnd { kStayOpen, kEndWithOk };
FlowEnd SaveLoginAddress(const CComboBox& list, HWND hPortBox);

// Delete: asks "sure delete?" (Yes/No, owned by hOwner), removes the selected
// entry from file and list, selects the first remaining one and shows its
// port, and keeps COUNT, INDEX and the login address in step. The Delete
// button is disabled meanwhile.
void DeleteSelectedAddress(HWND hOwner, CComboBox& list, HWND hPortBox, HWND hDeleteButton);

// Selection change of the list: shows the selected entry's port.
void ShowPortOfSelection(const CComboBox& list, HWND hPortBox);

// What the viewer connects to: the entry INDEX names. A port outside
// 1..65535 (or missing) is 0, meaning no port.
struct LastAddress {
  std::string address;
  int port = 0;
};
LastAddress ReadLastAddress();

// The viewer's own address and port, stored as typed in the unnumbered keys
// "IP" and "PORT" of [VELO_KEYWORDS]. Writes nothing and returns false when
// either is empty.
bool WriteViewerAddress(const std::string& address, const std::string& port);

}  // namespace settings
