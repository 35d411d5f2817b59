// Helpers for the installer tests and the installation timing: the system
// directory, the control's registration keys, the payload files the
// component build made, and a scratch folder of the test's own.
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace installer_test {

// The payload file names as shipped, in table order (ids 172 to 184).
extern const char* const kPayloadNames[13];

std::string SystemDir();
std::string SystemPath(const std::string& name);
// A payload as the component build left it.
std::string PayloadPath(const std::string& name);
std::string PayloadBytes(const std::string& name);
// Resource `id` of type "BIN" in this program.
std::string ResourceBytes(int id);

// Whole-file reads and writes ("" when the file cannot be read).
std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
FILETIME WriteTime(const std::string& path);
// Deletes a file (read-only or not) or an empty folder of that name.
void RemoveTarget(const std::string& path);
// 0 when the file opens for reading and writing, else the error code.
DWORD OpenForWritingError(const std::string& path);
std::string Lower(std::string s);

// Stand-in for an earlier file at payload index i: not a library, and longer
// than the payload so that a replacement has to cut it.
std::string OldContent(int i);

// Removes the thirteen files from the system directory and every key the
// control's registration writes.
void CleanSystemState();
// Every key and value of the control's registration in both registry views,
// "64:key|value" or "32:key|value" -> "type:data".
std::map<std::string, std::string> RegistrationSnapshot();
// How many entries of the snapshot lie under the key (in either view).
int CountUnder(const std::map<std::string, std::string>& snapshot, const std::string& keyPrefix);
bool KeyExists(const char* subkey);
// The default value of the control's InprocServer32 key ("" without one).
std::string RegisteredServerPath();
void SetServerValue(DWORD type, const std::string& data);
void DeleteServerValue();

// Runs the system's regsvr32 with the arguments; its exit code.
DWORD RunRegsvr32(const std::string& args);

// The test's own folder under the temporary directory (created on first use).
std::string ScratchDir();
void RemoveScratchDir();
std::string CopyToScratch(const std::string& source, const std::string& name);
// An existing file whose full path is exactly `length` characters long.
std::string MakeFileWithPathLength(size_t length);

// Makes a scratch folder holding `library` as "DvrOcx.ocx" the current
// folder for its lifetime.
class ScopedPlant {
 public:
  explicit ScopedPlant(const std::string& library);
  ~ScopedPlant();
  ScopedPlant(const ScopedPlant&) = delete;
  ScopedPlant& operator=(const ScopedPlant&) = delete;

 private:
  std::string m_strOldDir;
  std::string m_strDir;
};

}  // namespace installer_test
