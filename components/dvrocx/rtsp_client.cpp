#include "rtsp_client.h"

#include <cstdio>
#include <string>
#include <vector>

#include "rtp_h264.h"
#include "rtsp_message.h"
#include "sdp.h"
#include "stream_socket.h"

namespace dvrocx {
namespace {

DWORD Left(ULONGLONG deadline) {
  const ULONGLONG now = GetTickCount64();
  return now < deadline ? static_cast<DWORD>(deadline - now) : 0;
}

// Units that arrive before PLAY's reply wait for it, up to this many.
constexpr size_t kMaxPendingUnits = 64;

class RtspSession {
 public:
  RtspSession(const video::StreamUrl& url, HANDLE cancel, IStreamSink& sink)
      : m_url(url), m_cancel(cancel), m_sink(sink), m_socket(cancel) {
    m_uri = video::RequestUri(url);
  }
  RtspSession(const RtspSession&) = delete;
  RtspSession& operator=(const RtspSession&) = delete;

  SessionEnd Run() {
    if (!Connect()) return m_end;
    video::RtspMessage reply;
    if (!Request("OPTIONS", m_uri, {}, reply)) return m_end;
    if (!Request("DESCRIBE", m_uri, {{"Accept", "application/sdp"}}, reply)) return m_end;
    if (!Succeeded(reply)) return m_end;
    const std::string* base = reply.Find("Content-Base");
    if (base == nullptr) base = reply.Find("Content-Location");
    video::H264Track track;
    if (!video::FindH264Track(reply.body, base ? *base : m_uri, track)) return SessionEnd::kNotFound;
    m_payloadType = track.payloadType;
    if (!Request("SETUP", track.control, {{"Transport", "RTP/AVP/TCP;unicast;interleaved=0-1"}}, reply)) return m_end;
    if (!Succeeded(reply)) return m_end;
    int timeout = 0;
    const std::string* session = reply.Find("Session");
    if (session == nullptr || !video::ParseSessionHeader(*session, m_session, timeout)) return SessionEnd::kBadData;
    if (const std::string* transport = reply.Find("Transport")) {
      const int channel = video::ParseInterleavedChannel(*transport);
      if (channel >= 0) m_channel = channel;
    }
    m_sessionUri = track.sessionControl;
    if (!Request("PLAY", m_sessionUri, {{"Session", m_session}, {"Range", "npt=0.000-"}}, reply)) return m_end;
    if (!Succeeded(reply)) return m_end;
    m_playing = true;
    m_sink.OnPlaying();
    m_sink.OnH264Parameters(track.sps, track.pps);
    Deliver();
    return Stream((timeout > 0 ? timeout : kRtspDefaultSessionTimeout) * 1000ULL / 2);
  }

 private:
  // Records how the session ends; always false, for returning at once.
  bool End(SessionEnd end) {
    m_end = end;
    if (end == SessionEnd::kCancelled) Teardown();
    return false;
  }

  bool Connect() {
    sockaddr_in to;
    NetIo io = ResolveHost(m_url.host, m_url.port, m_cancel, to);
    if (io == NetIo::kOk) io = m_socket.Connect(to, kRtspConnectTimeoutMs, 1 << 20);
    if (io == NetIo::kOk) return true;
    return End(io == NetIo::kCancelled ? SessionEnd::kCancelled : SessionEnd::kUnreachable);
  }

  // Waits up to ms for the socket; reads what has arrived into the reader.
  NetIo Receive(DWORD ms) {
    const NetIo io = m_socket.Receive(ms);
    if (io == NetIo::kOk) {
      m_arrival = m_socket.arrival();
      m_reader.Feed(reinterpret_cast<const uint8_t*>(m_socket.data()), m_socket.size());
    }
    return io;
  }

  bool Send(const std::string& bytes) {
    const NetIo io = m_socket.Send(bytes, kRtspReplyTimeoutMs);
    if (io == NetIo::kOk) return true;
    return End(io == NetIo::kCancelled ? SessionEnd::kCancelled : SessionEnd::kDropped);
  }

  std::string Authorization(const char* method, const std::string& uri) {
    if (!m_authorized) return std::string();
    if (m_challenge.kind == video::AuthChallenge::Kind::kBasic)
      return video::BasicAuthorization(m_url.user, m_url.password);
    char cnonce[24];
    std::snprintf(cnonce, sizeof(cnonce), "%08lx%08lx", static_cast<unsigned long>(Now()), GetTickCount());
    return video::DigestAuthorization(m_challenge, m_url.user, m_url.password, method, uri, ++m_nonceCount, cnonce);
  }

  std::string BuildRequest(const char* method, const std::string& uri, const video::RtspHeaders& headers) {
    return video::BuildRtspRequest(method, uri, ++m_cseq, headers, Authorization(method, uri));
  }

  // Handles everything the reader holds. Stores the reply to cseq in reply
  // (when given) and returns there; false when the session must end.
  bool Drain(int cseq, video::RtspMessage* reply, bool& got) {
    for (;;) {
      switch (m_reader.Next()) {
        case video::RtspReader::Item::kNeedMore:
          return true;
        case video::RtspReader::Item::kError:
          return End(SessionEnd::kBadData);
        case video::RtspReader::Item::kFrame:
          OnFrame();
          break;
        case video::RtspReader::Item::kMessage: {
          const video::RtspMessage& m = m_reader.message();
          if (m.isRequest) break;  // nothing a server asks of us is needed
          if (reply != nullptr && (m.CSeq() == cseq || m.CSeq() < 0)) {
            *reply = m;
            got = true;
            return true;
          }
          if (m.CSeq() == m_keepAliveCSeq) {
            if (m.status == 454) return End(SessionEnd::kDropped);  // the server forgot the session
            // Servers without GET_PARAMETER are kept awake by OPTIONS.
            if (m.status == 405 || m.status == 501) m_keepAliveMethod = "OPTIONS";
          }
          break;
        }
      }
    }
  }

  // One request and its reply, once more with credentials after a 401.
  bool Request(const char* method, const std::string& uri, const video::RtspHeaders& headers,
               video::RtspMessage& reply) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      const int cseq = m_cseq + 1;
      if (!Send(BuildRequest(method, uri, headers))) return false;
      const ULONGLONG deadline = GetTickCount64() + kRtspReplyTimeoutMs;
      for (bool got = false; !got;) {
        if (!Drain(cseq, &reply, got)) return false;
        if (got) break;
        const NetIo io = Receive(Left(deadline));
        if (io == NetIo::kCancelled) return End(SessionEnd::kCancelled);
        if (io != NetIo::kOk) return End(SessionEnd::kDropped);
      }
      if (reply.status != 401) return true;
      if (!m_url.hasUser) return End(SessionEnd::kAuthFailed);
      video::AuthChallenge offered, chosen;
      for (const std::string& value : reply.FindAll("WWW-Authenticate")) {
        if (video::ParseAuthChallenge(value, offered) && chosen.kind != video::AuthChallenge::Kind::kDigest)
          chosen = offered;
      }
      // Credentials already sent and refused, unless only the nonce aged.
      if (chosen.kind == video::AuthChallenge::Kind::kNone || (m_authorized && !chosen.stale))
        return End(SessionEnd::kAuthFailed);
      m_challenge = chosen;
      m_authorized = true;
      m_nonceCount = 0;
    }
    return End(SessionEnd::kAuthFailed);
  }

  // A reply of DESCRIBE, SETUP or PLAY that lets the session go on.
  bool Succeeded(const video::RtspMessage& reply) {
    if (reply.status >= 200 && reply.status < 300) return true;
    if (reply.status == 403) return End(SessionEnd::kAuthFailed);
    return End(reply.status >= 500 ? SessionEnd::kDropped : SessionEnd::kNotFound);
  }

  void OnFrame() {
    if (m_reader.channel() != m_channel) return;
    video::RtpPacket packet;
    if (!video::ParseRtp(m_reader.payload(), m_reader.payloadSize(), packet) || packet.payloadType != m_payloadType)
      return;
    m_lastVideo = GetTickCount64();
    m_depacketizer.Push(packet, m_arrival, m_units);
    if (m_playing) {
      Deliver();
    } else if (m_units.size() > kMaxPendingUnits) {
      m_units.erase(m_units.begin());
    }
  }

  void Deliver() {
    for (const video::AccessUnit& unit : m_units)
      m_sink.OnH264(unit.data.data(), unit.data.size(), unit.idr, unit.arrival);
    m_units.clear();
  }

  SessionEnd Stream(ULONGLONG keepAliveMs) {
    m_lastVideo = GetTickCount64();
    ULONGLONG nextKeepAlive = m_lastVideo + keepAliveMs;
    for (;;) {
      bool got = false;
      if (!Drain(-1, nullptr, got)) return m_end;
      const ULONGLONG now = GetTickCount64();
      if (now >= m_lastVideo + kRtspSilenceTimeoutMs) return SessionEnd::kDropped;
      if (now >= nextKeepAlive) {
        m_keepAliveCSeq = m_cseq + 1;
        if (!Send(BuildRequest(m_keepAliveMethod, m_sessionUri, {{"Session", m_session}}))) return m_end;
        nextKeepAlive = now + keepAliveMs;
      }
      const ULONGLONG until =
          nextKeepAlive < m_lastVideo + kRtspSilenceTimeoutMs ? nextKeepAlive : m_lastVideo + kRtspSilenceTimeoutMs;
      const NetIo io = Receive(Left(until));
      if (io == NetIo::kCancelled) {
        End(SessionEnd::kCancelled);
        return m_end;
      }
      if (io == NetIo::kClosed) return SessionEnd::kDropped;
    }
  }

  // Best effort: one non-blocking send, no wait for the reply.
  void Teardown() {
    if (m_session.empty()) return;
    m_socket.SendAndShutdown(BuildRequest("TEARDOWN", m_sessionUri, {{"Session", m_session}}));
  }

  const video::StreamUrl& m_url;
  const HANDLE m_cancel;
  IStreamSink& m_sink;
  std::string m_uri;
  SessionEnd m_end = SessionEnd::kDropped;
  StreamSocket m_socket;
  int64_t m_arrival = 0;
  video::RtspReader m_reader;
  int m_cseq = 0;
  bool m_authorized = false;
  video::AuthChallenge m_challenge;
  unsigned m_nonceCount = 0;
  std::string m_session;
  std::string m_sessionUri;
  int m_channel = 0;
  int m_payloadType = -1;
  int m_keepAliveCSeq = -1;
  const char* m_keepAliveMethod = "GET_PARAMETER";
  bool m_playing = false;
  ULONGLONG m_lastVideo = 0;
  video::H264Depacketizer m_depacketizer;
  std::vector<video::AccessUnit> m_units;
};

}  // namespace

SessionEnd RunRtspSession(const video::StreamUrl& url, HANDLE cancel, IStreamSink& sink) {
  RtspSession session(url, cancel, sink);
  return session.Run();
}

}  // namespace dvrocx
