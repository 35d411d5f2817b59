// Timings of the viewer control, loaded from its file and hosted in a test
// container: DoVerb(OLEIVERB_INPLACEACTIVATE) until its window is visible
// (and until its first paint is done), and SetDeviceIPandPort until the
// status line says "Connected" on loopback. Prints the medians.
//   dvrocx_measure [runs] [--show seconds] [--lang 0|1|2]
// --show keeps one control (1000x640, connected) on screen for a screenshot,
// in the language chosen by --lang (clicked on its language button).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "component_test_support.h"

using namespace velotest;

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0.0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

} // namespace

int main(int argc, char **argv)
{
    int runs = 7;
    int showSeconds = 0;
    int language = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--show") == 0 && i + 1 < argc)
            showSeconds = atoi(argv[++i]);
        else if (strcmp(argv[i], "--lang") == 0 && i + 1 < argc)
            language = atoi(argv[++i]);
        else
            runs = atoi(argv[i]);
    }
    OleInitialize(nullptr);
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    CControlModule module(PayloadPath("DvrOcx.ocx"));
    if (module.Handle() == nullptr) {
        printf("cannot load %s\n", PayloadPath("DvrOcx.ocx").c_str());
        return 1;
    }

    std::vector<double> visible, painted, connected;
    for (int run = 0; run < runs; ++run) {
        CHostedControl host(module);
        PumpFor(50);
        const double start = NowMs();
        if (host.m_pObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, host.m_pSite, 0, host.m_pSite->Window(),
                                   &host.m_pSite->m_rcPos) != S_OK) {
            printf("DoVerb failed\n");
            return 1;
        }
        HWND window = host.ControlWindow();
        if (window == nullptr || !IsWindowVisible(window)) {
            printf("no visible window after DoVerb\n");
            return 1;
        }
        visible.push_back(NowMs() - start);
        UpdateWindow(window);
        painted.push_back(NowMs() - start);

        CListener listener;
        LONG result = -1;
        const double connectStart = NowMs();
        CallSetDeviceIPandPort(host.m_pDispatch, L"127.0.0.1", static_cast<short>(listener.Port()), &result);
        const std::string expected = "Connected to 127.0.0.1:" + std::to_string(listener.Port());
        SOCKET accepted = INVALID_SOCKET;
        const bool ok = PumpUntil(
            [&] {
                if (accepted == INVALID_SOCKET)
                    accepted = listener.TryAccept();
                return host.StatusText() == expected;
            },
            6000);
        if (!ok) {
            printf("no connection: %s\n", host.StatusText().c_str());
            return 1;
        }
        connected.push_back(NowMs() - connectStart);
        if (accepted != INVALID_SOCKET)
            closesocket(accepted);
    }
    printf("runs: %d\n", runs);
    printf("DoVerb(OLEIVERB_INPLACEACTIVATE) -> window visible: median %.2f ms (min %.2f, max %.2f)\n",
           Median(visible), *std::min_element(visible.begin(), visible.end()),
           *std::max_element(visible.begin(), visible.end()));
    printf("DoVerb(OLEIVERB_INPLACEACTIVATE) -> first paint done: median %.2f ms\n", Median(painted));
    printf("SetDeviceIPandPort -> \"Connected\" on loopback: median %.2f ms (min %.2f, max %.2f)\n",
           Median(connected), *std::min_element(connected.begin(), connected.end()),
           *std::max_element(connected.begin(), connected.end()));

    if (showSeconds > 0) {
        CHostedControl host(module, 1000, 640);
        host.Activate();
        CListener listener;
        LONG result = -1;
        CallSetDeviceIPandPort(host.m_pDispatch, L"127.0.0.1", static_cast<short>(listener.Port()), &result);
        SOCKET accepted = listener.Accept(6000);
        const char *const captions[] = {"ENGLISH", "简体中文", "繁体中文"};
        if (language >= 0 && language <= 2)
            host.ClickButton(captions[language]);
        PumpFor(static_cast<DWORD>(showSeconds) * 1000);
        if (accepted != INVALID_SOCKET)
            closesocket(accepted);
    }
    WSACleanup();
    OleUninitialize();
    return 0;
}
