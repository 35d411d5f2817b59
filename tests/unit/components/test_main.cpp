// Entry of the component tests: OLE and Windows Sockets for the whole run,
// and an empty current folder, so no settings file of anyone else is seen.
#include <gtest/gtest.h>

#include "component_test_support.h"

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (FAILED(OleInitialize(nullptr)))
        return 2;
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    char previous[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof(previous), previous);
    int result;
    {
        velotest::CTempFolder folder;
        SetCurrentDirectoryA(folder.Path().c_str());
        result = RUN_ALL_TESTS();
        SetCurrentDirectoryA(previous);
    }
    WSACleanup();
    OleUninitialize();
    return result;
}
