#include "settings/settings.h"

#include "components/common/handles.h"
#include "components/common/port.h"
#include "framework/msgbox.h"
#include "settings/profile_text.h"

namespace settings {

namespace {

// Values are read into 200-character buffers: at most 199 characters come
// back and a longer stored value is cut.
const size_t kValueBufferChars = 200;

std::string ReadText(const char* section, const std::string& key, const char* def) {
  char buf[kValueBufferChars] = "";
  ::GetPrivateProfileStringA(section, key.c_str(), def, buf, sizeof(buf), kFileName);
  return buf;
}

// A hand-edited file may hold the same numbered key twice. The profile
// functions read and write only the first IPnn of the section, so a line
// whose key the profile reader sees holding another address is passed
// over: an update would overwrite, and a lookup show, that other entry.
SlotFilter SeenBy(const std::string& address) {
  return [address](int slot) {
    const std::string seen = ReadText(VELO_SECTION_BOOK, IpKey(slot), "");
    return seen.empty() || seen == address;
  };
}

int ReadInt(const char* section, const std::string& key) {
  return static_cast<int>(::GetPrivateProfileIntA(section, key.c_str(), 0, kFileName));
}

void WriteText(const char* section, const std::string& key, const std::string& value) {
  ::WritePrivateProfileStringA(section, key.c_str(), value.c_str(), kFileName);
}

void WriteInt(const char* section, const std::string& key, int value) {
  WriteText(section, key, std::to_string(value));
}

unsigned g_failingSteps = 0;

bool Fails(FailStep step) { return (g_failingSteps & step) != 0; }

HANDLE OpenFile(DWORD dwCreationDisposition) {
  return ::CreateFileA(kFileName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       dwCreationDisposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteAll(HANDLE hFile, const char* data, size_t size) {
  DWORD written = 0;
  return ::WriteFile(hFile, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

// The file from its start holds exactly text.
bool WriteFromStart(HANDLE hFile, const std::string& text) {
  return ::SetFilePointer(hFile, 0, nullptr, FILE_BEGIN) == 0 && WriteAll(hFile, text.data(), text.size()) &&
         ::SetEndOfFile(hFile);
}

// The new text into a temporary file beside the settings file, flushed, and
// that file then put in its place in one step. *made tells whether a
// temporary file could be made at all; it is gone again on every failure.
bool ReplaceThroughTempFile(const std::string& text, bool* made) {
  char szTemp[MAX_PATH];
  const bool named = !Fails(kFailCreateTemp) && ::GetTempFileNameA(".", "qlu", 0, szTemp) != 0;
  // Named is not made: where no file can be created the name still comes back.
  CHandle h(named ? ::CreateFileA(szTemp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                  : INVALID_HANDLE_VALUE);
  *made = h.Valid();
  bool ok = *made && !Fails(kFailWriteTemp) && WriteAll(h, text.data(), text.size()) && !Fails(kFailFlushTemp) &&
            ::FlushFileBuffers(h);
  h.Release();  // closed before it is moved over the settings file
  ok = ok && !Fails(kFailReplace) &&
       ::MoveFileExA(szTemp, kFileName, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok && named) ::DeleteFileA(szTemp);
  return ok;
}

// For a folder that takes no new file: the file rewritten where it stands,
// and the old text put back when the write fails or comes up short.
bool RewriteInPlace(const std::string& text, const std::string& oldText) {
  CHandle h(OpenFile(OPEN_EXISTING));
  if (!h.Valid()) return false;
  bool ok =
      Fails(kFailWriteInPlace) ? (WriteFromStart(h, text.substr(0, text.size() / 2)), false) : WriteFromStart(h, text);
  if (!ok) WriteFromStart(h, oldText);
  return ok;
}

void ShowNumber(HWND hWnd, int n) { ::SetWindowTextA(hWnd, std::to_string(n).c_str()); }

}  // namespace

void EnsureSettingsFile() {
  // Its contents are not examined: an existing empty file stays empty.
  if (CHandle(OpenFile(OPEN_EXISTING)).Valid()) return;
  // Only a missing file is created; a file that exists but cannot be opened
  // (locked, a folder of that name) is left alone without a word.
  if (::GetLastError() != ERROR_FILE_NOT_FOUND) return;
  AfxMessageBox("CreateFile");
  CHandle h(OpenFile(OPEN_ALWAYS));
  if (!h.Valid()) {
    AfxMessageBox("Create File fail");
    return;
  }
  WriteAll(h, kDefaultContents, kDefaultContentsSize);
}

bool ReadFileImage(DWORD dwCreationDisposition, std::string* text) {
  // The whole file is read, whatever its size up to 1 MiB, and nothing is cut
  // at a zero byte: a Delete rewrites the file from this text, so a text
  // that stopped early would lose every line after the stop.
  text->clear();
  CHandle h(OpenFile(dwCreationDisposition));
  if (!h.Valid()) return false;
  LARGE_INTEGER size{};
  bool ok = ::GetFileSizeEx(h, &size) && size.QuadPart <= kMaxFileSize;
  if (ok) {
    ::SetFilePointer(h, 0, nullptr, FILE_BEGIN);
    text->resize(static_cast<size_t>(size.QuadPart));
    size_t got = 0;
    while (got < text->size() && !Fails(kFailRead)) {
      DWORD n = 0;
      if (!::ReadFile(h, &(*text)[got], static_cast<DWORD>(text->size() - got), &n, nullptr) || n == 0) break;
      got += n;
    }
    // A short read is a failed read: a Delete must never rewrite the file
    // from part of it.
    ok = got == text->size();
    text->resize(got);
  }
  return ok;
}

int ReadLanguage() { return ReadInt(VELO_SECTION_LANGUAGE, VELO_KEY_LANGUAGE); }

void WriteLanguage(int nLang) { WriteInt(VELO_SECTION_LANGUAGE, VELO_KEY_LANGUAGE, nLang); }

int AddNewAddress(const std::string& address, const std::string& port) {
  const int count = ReadInt(VELO_SECTION_BOOK, VELO_KEY_COUNT) + 1;
  // The lowest slot whose port reads as 0. While COUNT is right one of the
  // slots 0..COUNT is free and this is it; when COUNT is too low, negative or
  // beyond 99 the search still goes on up to slot 99, because slots from 100
  // on would get three-digit keys that the raw-text search cannot read.
  int slot = -1;
  for (int n = 0; n < kSlotCount && slot < 0; ++n)
    if (ReadInt(VELO_SECTION_BOOK, PortKey(n)) == 0) slot = n;
  if (slot < 0) {
    AfxMessageBox("Address book full");
    return -1;
  }
  // COUNT is written twice on purpose, before and after the entry, as older
  // copies of the program do: the first write puts it at the head of a new
  // section, and with the second the file goes through the same steps
  // whichever copy writes it, for any other reader of the file.
  WriteInt(VELO_SECTION_BOOK, VELO_KEY_COUNT, count);
  WriteText(VELO_SECTION_BOOK, IpKey(slot), address);
  WriteText(VELO_SECTION_BOOK, PortKey(slot), port);
  WriteInt(VELO_SECTION_BOOK, VELO_KEY_COUNT, count);
  WriteInt(VELO_SECTION_BOOK, VELO_KEY_INDEX, slot);
  WriteText(VELO_SECTION_LOGIN, VELO_KEY_IP, address);
  return slot;
}

UpdateResult UpdateKnownAddress(const std::string& address, const std::string& port) {
  std::string text;
  if (!ReadFileImage(OPEN_ALWAYS, &text)) {
    AfxMessageBox("Open file fail");
    return UpdateResult::kOpenFailed;
  }
  // Known means: a numbered entry stores exactly this address, found by its
  // own IPnn line, and the slot comes from that line. Matching the first
  // stored address that merely begins with the typed text, or the text
  // anywhere in the file, would overwrite a different entry (10.0.0.1 typed
  // with 10.0.0.12 stored; an address equal to COUNT's value).
  AddressLine line;
  if (!FindAddressLine(text, address, &line, SeenBy(address))) return UpdateResult::kNotKnown;
  WriteInt(VELO_SECTION_BOOK, VELO_KEY_INDEX, line.slot);
  WriteText(VELO_SECTION_BOOK, IpKey(line.slot), address);
  WriteText(VELO_SECTION_BOOK, PortKey(line.slot), port);
  WriteText(VELO_SECTION_LOGIN, VELO_KEY_IP, address);
  return UpdateResult::kUpdated;
}

DeleteResult DeleteAddressLines(const std::string& address) {
  std::string text;
  if (!ReadFileImage(OPEN_ALWAYS, &text)) {
    AfxMessageBox("CreateFile fail");
    return DeleteResult::kOpenFailed;
  }
  const std::string oldText = text;
  if (!CutAddressEntry(&text, address, nullptr, SeenBy(address))) {
    AfxMessageBox("not find");
    return DeleteResult::kNotFound;
  }
  bool made = false;
  if (!ReplaceThroughTempFile(text, &made) && (made || !RewriteInPlace(text, oldText))) {
    // Misspelt, and kept so: operators and their notes know the message by it.
    AfxMessageBox("CreateaFile fail");
    return DeleteResult::kRewriteFailed;
  }
  return DeleteResult::kDeleted;
}

void SetFailingStepsForTest(unsigned steps) { g_failingSteps = steps; }

int FindAddressIndex(const std::string& address) {
  std::string text;
  AddressLine line;
  if (!ReadFileImage(OPEN_EXISTING, &text) || !FindAddressLine(text, address, &line, SeenBy(address))) return -1;
  return line.slot;
}

int ReadPortForIndex(int nSlot) { return ReadInt(VELO_SECTION_BOOK, PortKey(nSlot)); }

void LoadAddressList(CComboBox& list, HWND hPortBox) {
  const int count = ReadInt(VELO_SECTION_BOOK, VELO_KEY_COUNT);
  if (count <= 0) return;
  const int index = TextToInt(ReadText(VELO_SECTION_BOOK, VELO_KEY_INDEX, "0"));
  const std::string current = ReadText(VELO_SECTION_BOOK, IpKey(index), "");
  const int port = ReadInt(VELO_SECTION_BOOK, PortKeyMixedCase(index));

  // Empty and missing slots are passed over without counting. The scan ends
  // after slot 99 even when COUNT promises more entries than the file holds;
  // COUNT itself is left as it is.
  int found = 0;
  for (int n = 0; n < kSlotCount && found < count; ++n) {
    std::string address = ReadText(VELO_SECTION_BOOK, IpKey(n), "");
    if (address.empty()) continue;
    list.AddString(address.c_str());
    ++found;
  }

  // Select the entry whose whole text is exactly the current address, letter
  // case included (entries 1..last, then 0). A prefix search would select
  // 10.0.0.12 for a current 10.0.0.1, and a search without regard to case
  // DVR.local for a current dvr.local, while the port box shows the current
  // entry's port: a plain OK would then store that port under the wrong
  // address. When INDEX names an empty slot nothing is selected.
  int sel = CB_ERR;
  for (int i = 1, n = list.GetCount(); !current.empty() && sel == CB_ERR && i <= n; ++i)
    if (list.GetLBText(i % n) == current) sel = i % n;
  list.SetCurSel(sel);
  ShowNumber(hPortBox, port);
}

FlowEnd SaveLoginAddress(const CComboBox& list, HWND hPortBox) {
  // The profile reader drops blanks at the ends of a value, so an address
  // stored with them would never be found again (it could be neither
  // selected nor deleted): they go before anything is stored.
  const std::string address = TrimBlanks(list.GetWindowText());
  const std::string port = WindowTextOf(hPortBox);
  // Values come back through 200-character buffers: a longer address would
  // be listed cut short and could never be found or deleted.
  if (address.empty() || port.empty() || address.size() >= kValueBufferChars) {
    AfxMessageBox("Invalid Address");
    return FlowEnd::kStayOpen;
  }
  if (!IsValidPort(port)) {
    AfxMessageBox("Invalid Port");
    return FlowEnd::kStayOpen;
  }
  const UpdateResult update = UpdateKnownAddress(address, port);
  const bool stored =
      update == UpdateResult::kUpdated || (update == UpdateResult::kNotKnown && AddNewAddress(address, port) >= 0);
  return stored ? FlowEnd::kEndWithOk : FlowEnd::kStayOpen;
}

void DeleteSelectedAddress(HWND hOwner, CComboBox& list, HWND hPortBox, HWND hDeleteButton) {
  if (list.GetCount() <= 0) return;
  if (ShowMessageBox(hOwner, "sure delete?", "delete", MB_YESNO) != IDYES) return;
  ::EnableWindow(hDeleteButton, FALSE);

  // The selected entry's text (none selected: empty), not the edit field's.
  const int sel = list.GetCurSel();
  if (DeleteAddressLines(list.GetLBText(sel)) != DeleteResult::kDeleted) {
    // The failure has been shown and nothing changed. The button comes back,
    // or it would stay dead until the program is started again.
    ::EnableWindow(hDeleteButton, TRUE);
    return;
  }

  list.DeleteString(sel);
  const bool remain = list.GetCount() > 0;
  const std::string first = list.GetLBText(0);
  if (remain) {
    list.SetCurSel(0);
    ShowNumber(hPortBox, ReadPortForIndex(FindAddressIndex(first)));
  } else {
    list.ResetContent();
  }

  const int count = ReadInt(VELO_SECTION_BOOK, VELO_KEY_COUNT);
  if (count > 0) WriteInt(VELO_SECTION_BOOK, VELO_KEY_COUNT, count - 1);

  if (remain) {
    WriteInt(VELO_SECTION_BOOK, VELO_KEY_INDEX, FindAddressIndex(first));
    WriteText(VELO_SECTION_LOGIN, VELO_KEY_IP, first);
  }
  ::EnableWindow(hDeleteButton, TRUE);
}

void ShowPortOfSelection(const CComboBox& list, HWND hPortBox) {
  ShowNumber(hPortBox, ReadPortForIndex(FindAddressIndex(list.GetLBText(list.GetCurSel()))));
}

LastAddress ReadLastAddress() {
  LastAddress last;
  const int index = ReadInt(VELO_SECTION_BOOK, VELO_KEY_INDEX);
  last.address = ReadText(VELO_SECTION_BOOK, IpKey(index), "");
  last.port = ReadInt(VELO_SECTION_BOOK, PortKey(index));
  // A hand-edited port outside 1..65535 counts as no port: cutting it to 16
  // bits would connect to a different port (70000 would become 4464).
  if (!IsPortNumber(last.port)) last.port = 0;
  return last;
}

bool WriteViewerAddress(const std::string& address, const std::string& port) {
  if (address.empty() || port.empty()) return false;
  WriteText(VELO_SECTION_BOOK, VELO_KEY_IP, address);
  WriteText(VELO_SECTION_BOOK, VELO_KEY_PORT, port);
  return true;
}

}  // namespace settings
