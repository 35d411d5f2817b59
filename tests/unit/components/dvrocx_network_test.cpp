// The control's connection to a recorder, on loopback only: a listener in
// the test stands in for the recorder. Every wait is bounded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "component_test_support.h"

using namespace velotest;

namespace {

const DWORD kWaitMs = 6000; // the control gives up connecting after about 5 s

std::string Endpoint(USHORT port) { return "127.0.0.1:" + std::to_string(port); }

class DvrOcxNetwork : public testing::Test {
protected:
    static void SetUpTestSuite() { s_module = new CControlModule(PayloadPath("DvrOcx.ocx")); }
    static void TearDownTestSuite()
    {
        delete s_module;
        s_module = nullptr;
    }
    void SetUp() override
    {
        ASSERT_NE(s_module->Handle(), nullptr);
        m_host = new CHostedControl(*s_module);
        ASSERT_TRUE(m_host->Activate());
    }
    void TearDown() override
    {
        delete m_host;
        EXPECT_EQ(s_module->CanUnloadNow(), S_OK);
    }

    LONG Connect(const wchar_t *address, short port)
    {
        LONG result = -1;
        EXPECT_EQ(CallSetDeviceIPandPort(m_host->m_pDispatch, address, port, &result), S_OK);
        return result;
    }
    bool WaitForStatus(const std::string &text)
    {
        return PumpUntil([&] { return m_host->StatusText() == text; }, kWaitMs);
    }

    static CControlModule *s_module;
    CHostedControl *m_host = nullptr;
};
CControlModule *DvrOcxNetwork::s_module = nullptr;

TEST_F(DvrOcxNetwork, ConnectsWithoutBlockingAndSaysSo)
{
    CListener listener;
    ASSERT_TRUE(listener.IsOpen());
    const double start = NowMs();
    EXPECT_EQ(Connect(L"127.0.0.1", static_cast<short>(listener.Port())), 0);
    EXPECT_LT(NowMs() - start, 1000.0);
    const std::string status = m_host->StatusText();
    EXPECT_TRUE(status == "Connecting to " + Endpoint(listener.Port()) + " ..." ||
                status == "Connected to " + Endpoint(listener.Port()))
        << status;

    SOCKET accepted = listener.Accept(kWaitMs);
    ASSERT_NE(accepted, INVALID_SOCKET);
    EXPECT_TRUE(WaitForStatus("Connected to " + Endpoint(listener.Port()))) << m_host->StatusText();
    EXPECT_EQ(GetDeviceIP(m_host->m_pDispatch), L"127.0.0.1");
    EXPECT_EQ(GetDevicePort(m_host->m_pDispatch), listener.Port());

    // Data from the recorder does not disturb the connection.
    send(accepted, "hello", 5, 0);
    PumpFor(200);
    EXPECT_EQ(m_host->StatusText(), "Connected to " + Endpoint(listener.Port()));

    // The same news in Chinese once the operator switches.
    ASSERT_TRUE(m_host->ClickButton("简体中文"));
    EXPECT_EQ(m_host->StatusText(), "已连接 " + Endpoint(listener.Port()));

    // Closing the control closes its connection.
    m_host->Close();
    EXPECT_TRUE(WaitForPeerClose(accepted, kWaitMs));
    closesocket(accepted);
}

TEST_F(DvrOcxNetwork, ReadsANegativeShortPortAsUnsigned)
{
    CListener listener(40000);
    if (!listener.IsOpen())
        GTEST_SKIP() << "port 40000 is busy here (error " << listener.BindError() << ")";
    EXPECT_EQ(Connect(L"127.0.0.1", -25536), 0);
    SOCKET accepted = listener.Accept(kWaitMs);
    ASSERT_NE(accepted, INVALID_SOCKET);
    EXPECT_TRUE(WaitForStatus("Connected to 127.0.0.1:40000")) << m_host->StatusText();
    EXPECT_EQ(GetDevicePort(m_host->m_pDispatch), 40000);
    closesocket(accepted);
}

TEST_F(DvrOcxNetwork, AClosedPortShowsTheFailureAndItsReason)
{
    USHORT port = 0;
    {
        CListener probe; // a port that was free a moment ago and is closed now
        port = probe.Port();
    }
    EXPECT_EQ(Connect(L"127.0.0.1", static_cast<short>(port)), 0);
    const std::string expected =
        "Cannot connect to " + Endpoint(port) + ": connection refused (error " + std::to_string(WSAECONNREFUSED) + ")";
    EXPECT_TRUE(WaitForStatus(expected)) << m_host->StatusText();
    ASSERT_TRUE(m_host->ClickButton("繁体中文"));
    EXPECT_EQ(m_host->StatusText(),
              "無法連線 " + Endpoint(port) + "：連線被拒絕（錯誤 " + std::to_string(WSAECONNREFUSED) + "）");
}

// A listener that never accepts and whose queue is full lets new connection
// attempts hang unanswered: the control must neither block nor wait forever.
TEST_F(DvrOcxNetwork, ARecorderThatDoesNotAnswerTimesOutAfterAboutFiveSeconds)
{
    CListener silent(0, 1);
    ASSERT_TRUE(silent.IsOpen());
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(silent.Port());
    std::vector<SOCKET> fillers;
    bool pending = false;
    while (!pending && fillers.size() < 8) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        u_long nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nonBlocking);
        connect(s, reinterpret_cast<sockaddr *>(&address), sizeof(address));
        fillers.push_back(s);
        PumpFor(300);
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(s, &writable);
        timeval now = {0, 0};
        pending = select(0, nullptr, &writable, nullptr, &now) == 0;
    }
    if (!pending) {
        for (SOCKET s : fillers)
            closesocket(s);
        GTEST_SKIP() << "this system answers every connection to a full listen queue";
    }

    const double start = NowMs();
    EXPECT_EQ(Connect(L"127.0.0.1", static_cast<short>(silent.Port())), 0);
    EXPECT_LT(NowMs() - start, 1000.0);
    const std::string failed = "Cannot connect to " + Endpoint(silent.Port()) +
                               ": no answer (timed out) (error " + std::to_string(WSAETIMEDOUT) + ")";
    PumpFor(2000);
    EXPECT_EQ(m_host->StatusText(), "Connecting to " + Endpoint(silent.Port()) + " ...");
    EXPECT_TRUE(WaitForStatus(failed)) << m_host->StatusText();
    const double waited = NowMs() - start;
    EXPECT_GT(waited, 4500.0);
    EXPECT_LT(waited, 7000.0);
    for (SOCKET s : fillers)
        closesocket(s);
}

TEST_F(DvrOcxNetwork, ANewCallReplacesTheConnection)
{
    CListener first;
    CListener second;
    ASSERT_TRUE(first.IsOpen() && second.IsOpen());
    EXPECT_EQ(Connect(L"127.0.0.1", static_cast<short>(first.Port())), 0);
    SOCKET a = first.Accept(kWaitMs);
    ASSERT_NE(a, INVALID_SOCKET);
    EXPECT_TRUE(WaitForStatus("Connected to " + Endpoint(first.Port())));

    EXPECT_EQ(Connect(L"localhost", static_cast<short>(second.Port())), 0);
    SOCKET b = second.Accept(kWaitMs);
    ASSERT_NE(b, INVALID_SOCKET);
    EXPECT_TRUE(WaitForPeerClose(a, kWaitMs)) << "the first connection is still open";
    EXPECT_TRUE(WaitForStatus("Connected to localhost:" + std::to_string(second.Port()))) << m_host->StatusText();
    EXPECT_EQ(GetDeviceIP(m_host->m_pDispatch), L"localhost");

    // Invalid addresses are refused at once and leave the connection alone.
    const double start = NowMs();
    EXPECT_NE(Connect(L"300.1.2.3", static_cast<short>(second.Port())), 0);
    EXPECT_NE(Connect(L"not an address!", static_cast<short>(second.Port())), 0);
    EXPECT_LT(NowMs() - start, 1000.0);
    EXPECT_EQ(m_host->StatusText(), "Invalid recorder address: not an address!");
    EXPECT_FALSE(WaitForPeerClose(b, 300));
    EXPECT_EQ(GetDeviceIP(m_host->m_pDispatch), L"localhost");
    closesocket(a);
    closesocket(b);
}

TEST_F(DvrOcxNetwork, TheRecorderClosingTheConnectionIsShown)
{
    CListener listener;
    ASSERT_TRUE(listener.IsOpen());
    EXPECT_EQ(Connect(L"127.0.0.1", static_cast<short>(listener.Port())), 0);
    SOCKET accepted = listener.Accept(kWaitMs);
    ASSERT_NE(accepted, INVALID_SOCKET);
    EXPECT_TRUE(WaitForStatus("Connected to " + Endpoint(listener.Port())));
    closesocket(accepted);
    EXPECT_TRUE(WaitForStatus("The recorder " + Endpoint(listener.Port()) + " closed the connection"))
        << m_host->StatusText();
}

} // namespace
