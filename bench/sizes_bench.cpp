// Sizes of the program's executables with and without the payloads.
//
//   bench_sizes [EXE...]      (default: the program of this build)
//
// "Without payloads" is computed: the file size minus the sizes of the
// thirteen "BIN" resources (ids 172 to 184) as the resource API reports them
// from the executable loaded as a data file. Fails when a file cannot be
// read or lacks a payload.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_util.h"

namespace {

// "i686" or "x86_64" from the PE header; "" when the file is not one.
std::string Architecture(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "";
  BYTE head[1024] = {};
  DWORD got = 0;
  ReadFile(h, head, sizeof(head), &got, nullptr);
  CloseHandle(h);
  if (got < 0x40 || head[0] != 'M' || head[1] != 'Z') return "";
  const DWORD pe = *reinterpret_cast<const DWORD*>(head + 0x3C);
  if (pe + 6 > got || std::memcmp(head + pe, "PE\0\0", 4) != 0) return "";
  const WORD machine = *reinterpret_cast<const WORD*>(head + pe + 4);
  return machine == IMAGE_FILE_MACHINE_AMD64 ? "x86_64" : machine == IMAGE_FILE_MACHINE_I386 ? "i686" : "other";
}

}  // namespace

int main(int argc, char** argv) {
  bench::Options o = bench::ParseOptions(argc, argv);
  std::vector<std::string> exes = o.rest;
  if (exes.empty()) exes.push_back(BENCH_PROGRAM_EXE);
  int rc = 0;
  std::printf("executable sizes (without payloads = file size - the 13 BIN resources, read with the resource API)\n");
  for (const std::string& exe : exes) {
    WIN32_FILE_ATTRIBUTE_DATA fa;
    const std::string arch = Architecture(exe);
    HMODULE h = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!GetFileAttributesExA(exe.c_str(), GetFileExInfoStandard, &fa) || arch.empty() || !h) {
      std::fprintf(stderr, "cannot read %s\n", exe.c_str());
      if (h) FreeLibrary(h);
      rc = 1;
      continue;
    }
    const unsigned long long size = (static_cast<unsigned long long>(fa.nFileSizeHigh) << 32) | fa.nFileSizeLow;
    unsigned long long payloads = 0;
    int found = 0;
    for (int id = 172; id <= 184; ++id) {
      if (HRSRC r = FindResourceA(h, MAKEINTRESOURCEA(id), "BIN")) {
        payloads += SizeofResource(h, r);
        ++found;
      }
    }
    FreeLibrary(h);
    std::printf("  %s (%s)\n    file %s, payloads %s in %d resources, without payloads %s\n", exe.c_str(),
                arch.c_str(), bench::Bytes(size).c_str(), bench::Bytes(payloads).c_str(), found,
                bench::Bytes(size - payloads).c_str());
    if (found != 13) {
      std::fprintf(stderr, "%s carries %d of the 13 payloads\n", exe.c_str(), found);
      rc = 1;
    }
    bench::PrintValue((arch + " VELODvr.exe with payloads").c_str(), bench::Bytes(size));
    bench::PrintValue((arch + " VELODvr.exe without payloads (computed)").c_str(), bench::Bytes(size - payloads));
  }
  return rc;
}
