// The thirteen payload files, the ten companion libraries and the control's
// two Chinese resource libraries, loaded by full path as the program and
// the control load them.
#include <gtest/gtest.h>

#include <cstring>

#include "component_test_support.h"
#include "ui_strings.h"

using namespace velotest;

namespace {

struct Companion {
    const char *file;
    const char *role;
};

const Companion kCompanions[] = {
    {"CovH264ToAvi.dll", "converter of recorded H.264 streams to AVI files"},
    {"Ql_DvrNet.dll", "network client library for talking to the recorders"},
    {"Ql_DvrAVDecode.dll", "audio and video decoding and playback library"},
    {"ChipDecoder.dll", "video and sound decoder front end, built on the H.264 decoder"},
    {"AudioDecode.dll", "audio decoder and audio capture library"},
    {"Winpubf.dll", "small utility library (directory creation, current date and time, local IP address)"},
    {"Nvrfs.dll", "reader for the recorders' recording-file format"},
    {"lib_VoiceEngine_dll.dll", "voice encoder, decoder and transcoder"},
    {"hi_h264Dec_w.dll", "H.264 video decoder"},
    {"AmrDll.dll", "AMR narrow-band audio codec"},
};

const char *const kPayloadTable[] = {
    "DvrOcx.ocx",    "DvrOcxChn.dll",  "DvrOcxChs.dll",          "CovH264ToAvi.dll", "Ql_DvrNet.dll",
    "Ql_DvrAVDecode.dll", "ChipDecoder.dll", "AudioDecode.dll",  "Winpubf.dll",      "Nvrfs.dll",
    "lib_VoiceEngine_dll.dll", "hi_h264Dec_w.dll", "AmrDll.dll",
};

typedef int(WINAPI *ComponentInfoFn)(char *buffer, int size);

struct VersionInfo {
    std::string description;
    std::string fileVersion;
    DWORD versionMS = 0;
    DWORD versionLS = 0;
};

bool ReadVersion(const std::string &path, VersionInfo &info)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0)
        return false;
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data()))
        return false;
    struct Translation {
        WORD language;
        WORD codePage;
    } *translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void **>(&translation),
                        &length) ||
        length < sizeof(Translation))
        return false;
    char prefix[64];
    wsprintfA(prefix, "\\StringFileInfo\\%04x%04x\\", translation->language, translation->codePage);
    char *text = nullptr;
    if (VerQueryValueA(block.data(), (std::string(prefix) + "FileDescription").c_str(),
                       reinterpret_cast<void **>(&text), &length))
        info.description = text;
    if (VerQueryValueA(block.data(), (std::string(prefix) + "FileVersion").c_str(),
                       reinterpret_cast<void **>(&text), &length))
        info.fileVersion = text;
    VS_FIXEDFILEINFO *fixed = nullptr;
    if (VerQueryValueA(block.data(), "\\", reinterpret_cast<void **>(&fixed), &length) && fixed != nullptr) {
        info.versionMS = fixed->dwFileVersionMS;
        info.versionLS = fixed->dwFileVersionLS;
    }
    return true;
}

} // namespace

TEST(PayloadFiles, AllThirteenAreLibrariesOfTheirOwnName)
{
    for (const char *file : kPayloadTable) {
        SCOPED_TRACE(file);
        HANDLE handle = CreateFileA(PayloadPath(file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE) << PayloadPath(file);
        char header[2] = {};
        DWORD read = 0;
        ReadFile(handle, header, 2, &read, nullptr);
        const DWORD size = GetFileSize(handle, nullptr);
        CloseHandle(handle);
        EXPECT_EQ(std::string(header, read), "MZ");
        EXPECT_GT(size, 1024u);
    }
}

TEST(CompanionLibraries, EachReportsItsNameAndVersionAndStatesItsRole)
{
    for (const Companion &companion : kCompanions) {
        SCOPED_TRACE(companion.file);
        const std::string path = PayloadPath(companion.file);
        HMODULE module = LoadLibraryA(path.c_str());
        ASSERT_NE(module, nullptr) << path << " error " << GetLastError();

        auto info = ProcAddress<ComponentInfoFn>(module, "VeloComponentInfo");
        ASSERT_NE(info, nullptr);
        char buffer[64];
        memset(buffer, 'x', sizeof(buffer));
        const std::string expected = std::string(companion.file) + " 1.0.0.1";
        EXPECT_EQ(info(buffer, sizeof(buffer)), static_cast<int>(expected.size()));
        EXPECT_EQ(std::string(buffer), expected);
        // Too small a buffer is left alone and the needed size comes back.
        char small[8];
        memset(small, 'x', sizeof(small));
        EXPECT_EQ(info(small, sizeof(small)), -static_cast<int>(expected.size() + 1));
        EXPECT_EQ(small[0], 'x');
        EXPECT_EQ(info(nullptr, 0), -static_cast<int>(expected.size() + 1));

        // Loaded by full path: the module is the file asked for.
        char loaded[MAX_PATH * 2] = "";
        GetModuleFileNameA(module, loaded, sizeof(loaded));
        EXPECT_EQ(lstrcmpiA(loaded, path.c_str()), 0) << loaded;
        FreeLibrary(module);

        VersionInfo version;
        ASSERT_TRUE(ReadVersion(path, version));
        EXPECT_EQ(version.description, companion.role);
        EXPECT_EQ(version.fileVersion, "1.0.0.1");
        EXPECT_EQ(version.versionMS, 0x00010000u);
        EXPECT_EQ(version.versionLS, 0x00000001u);
    }
}

TEST(LanguageLibraries, HoldTheControlTextsInSimplifiedAndTraditionalChinese)
{
    struct Expected {
        const char *file;
        const char *noVideo;
        const char *connected;
    } const expected[] = {
        {"DvrOcxChs.dll", "无视频", "已连接 %s:%u"},
        {"DvrOcxChn.dll", "無視訊", "已連線 %s:%u"},
    };
    for (const Expected &e : expected) {
        SCOPED_TRACE(e.file);
        HMODULE texts = LoadLibraryExA(PayloadPath(e.file).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(texts, nullptr);
        char text[256] = "";
        // The process runs in code page 936, so the texts arrive as GBK.
        ASSERT_GT(LoadStringA(texts, IDS_NO_VIDEO, text, sizeof(text)), 0);
        EXPECT_STREQ(text, e.noVideo);
        ASSERT_GT(LoadStringA(texts, IDS_STATUS_CONNECTED, text, sizeof(text)), 0);
        EXPECT_STREQ(text, e.connected);
        // Every text the control asks for is there.
        for (UINT id : {IDS_STATUS_IDLE, IDS_STATUS_CONNECTING, IDS_STATUS_FAILED, IDS_STATUS_CLOSED,
                        IDS_STATUS_INVALID, IDS_REASON_REFUSED, IDS_REASON_TIMEDOUT, IDS_REASON_HOSTUNREACH,
                        IDS_REASON_NETUNREACH, IDS_REASON_ADDRNOTAVAIL, IDS_REASON_OTHER, IDS_PANE_LABEL,
                        IDS_ABOUT_CAPTION, IDS_ABOUT_TEXT})
            EXPECT_GT(LoadStringA(texts, id, text, sizeof(text)), 0) << "string " << id;
        FreeLibrary(texts);

        VersionInfo version;
        ASSERT_TRUE(ReadVersion(PayloadPath(e.file), version));
        EXPECT_EQ(version.fileVersion, "1.0.0.1");
    }
}
