"""An RTSP server of H.264 Annex-B files over TCP-interleaved RTP, 25 frames
a second, looping: --stream /path=FILE (either may hold "{ch}", a number).
Optional --digest or --basic user:password, --timeout seconds for Session.
Commands: garbage (bad frames to every client, then on as before),
seen METHOD (ok when some client sent it)."""

import base64, hashlib, os, re, socket, struct, sys, threading, time
import harness

MAX_NAL = 1200
loaded, seen, sessions = {}, set(), []


def access_units(path):
    if path not in loaded:
        data = open(path, "rb").read()
        nals = [n.lstrip(b"\0") for n in re.split(b"\0\0\1", data)]
        units, unit, params = [], [], {}
        for nal in (n for n in nals if n):
            kind = nal[0] & 0x1F
            if kind in (7, 8):
                params.setdefault(kind, nal)
            elif 1 <= kind <= 5:
                units.append((unit + [nal], kind == 5))
                unit = []
            else:
                unit.append(nal)
        loaded[path] = (units, params[7], params[8])
    return loaded[path]


class Session:
    def __init__(self, conn, stream):
        self.conn, self.stream, self.lock = conn, stream, threading.Lock()
        self.garbage, self.playing = False, False

    def send(self, data):
        with self.lock:
            self.conn.sendall(data)

    def rtp(self, seq, ts, marker, payload):
        head = struct.pack(">BBHII", 0x80, 96 | (0x80 if marker else 0), seq & 0xFFFF, ts & 0xFFFFFFFF, 0x5E10)
        self.send(b"$\0" + struct.pack(">H", 12 + len(payload)) + head + payload)

    def bad_frames(self):
        for n in (7, 40, 300, 1500):
            self.send(b"$\0" + struct.pack(">H", n) + os.urandom(n))
        self.send(b"$\0\x03\xe8" + os.urandom(100))  # says 1000 bytes, gives 100
        self.send(b"$\0\0\x14\x8f\x60" + os.urandom(18))  # 15 CSRCs in 20 bytes
        self.send(b"$\0\0\x10\x90\x60" + os.urandom(10) + b"\xbe\xde\xff\xff")  # extension past the end

    def play(self):
        try:
            self.stream_units()
        except OSError:
            pass

    def stream_units(self):
        units, sps, pps = access_units(self.stream)
        seq, start, frame = 1, time.monotonic(), 0
        while self.playing:
            if self.garbage:
                self.garbage = False
                self.bad_frames()
            nals, idr = units[frame % len(units)]
            if idr:
                nals = [b"\x78" + struct.pack(">H", len(sps)) + sps + struct.pack(">H", len(pps)) + pps] + nals
            packets = []
            for nal in nals:
                if len(nal) <= MAX_NAL:
                    packets.append(nal)
                    continue
                body = nal[1:]
                for at in range(0, len(body), MAX_NAL):
                    flags = (0x80 if at == 0 else 0) | (0x40 if at + MAX_NAL >= len(body) else 0)
                    packets.append(bytes([nal[0] & 0xE0 | 28, flags | nal[0] & 0x1F]) + body[at : at + MAX_NAL])
            for i, p in enumerate(packets):
                self.rtp(seq, frame * 3600, i == len(packets) - 1, p)
                seq += 1
            frame += 1
            time.sleep(max(0, start + frame * 0.04 - time.monotonic()))


def authorized(args, method, headers):
    value = headers.get("authorization", "")
    if args.basic:
        return value == "Basic " + base64.b64encode(args.basic.encode()).decode()
    if args.digest:
        f = dict(re.findall(r'(\w+)="?([^",]*)"?', value))
        user, password = args.digest.split(":", 1)
        md5 = lambda s: hashlib.md5(s.encode()).hexdigest()
        ha1, ha2 = md5(f"{user}:velo:{password}"), md5(f"{method}:{f.get('uri')}")
        want = md5(f"{ha1}:{f.get('nonce')}:{f.get('nc')}:{f.get('cnonce')}:auth:{ha2}")
        return value.startswith("Digest ") and f.get("username") == user and f.get("response") == want
    return True


def serve(args, server, conn):
    reader, session = conn.makefile("rb"), None
    while True:
        line = reader.readline().decode("latin-1").strip()
        if not line:
            return
        method, url, _ = line.split(" ")
        headers = {}
        for h in iter(lambda: reader.readline().decode("latin-1").strip(), ""):
            headers[h.split(":")[0].strip().lower()] = h.split(":", 1)[1].strip()
        seen.add(method)
        reply, extra, body = "200 OK", "", ""
        path = re.sub(r"^rtsp://[^/]*", "", url)
        stream = next((f.replace("{ch}", m.group(1) if m.groups() else "") for p, f in args.stream
                       for m in [re.fullmatch(re.escape(p).replace(r"\{ch\}", r"(\d+)") + "(?:/track1)?/?", path)] if m), None)
        if method != "OPTIONS" and not authorized(args, method, headers):
            reply = "401 Unauthorized"
            extra = ('WWW-Authenticate: Basic realm="velo"\r\n' if args.basic else
                     f'WWW-Authenticate: Digest realm="velo", nonce="{os.urandom(8).hex()}", qop="auth"\r\n')
        elif method in ("DESCRIBE", "SETUP", "PLAY") and stream is None:
            reply = "404 Not Found"
        elif method == "DESCRIBE":
            _, sps, pps = access_units(stream)
            sets = base64.b64encode(sps).decode() + "," + base64.b64encode(pps).decode()
            body = ("v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=velo\r\nt=0 0\r\na=control:*\r\nm=video 0 RTP/AVP 96\r\n"
                    f"a=rtpmap:96 H264/90000\r\na=fmtp:96 packetization-mode=1;sprop-parameter-sets={sets}\r\n"
                    "a=control:track1\r\n")
            extra = f"Content-Base: {url}/\r\nContent-Type: application/sdp\r\n"
        elif method == "SETUP":
            if "RTP/AVP/TCP" not in headers.get("transport", ""):
                reply = "461 Unsupported Transport"
            else:
                session = Session(conn, stream)
                extra = f"Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\nSession: 5E10;timeout={args.timeout}\r\n"
        elif method in ("PLAY", "GET_PARAMETER", "TEARDOWN") and (session is None or headers.get("session") != "5E10"):
            reply = "454 Session Not Found"
        extra += f"Content-Length: {len(body)}\r\n" if body else ""
        out = f"RTSP/1.0 {reply}\r\nCSeq: {headers.get('cseq')}\r\n{extra}\r\n{body}".encode()
        if session:
            session.send(out)
        else:
            conn.sendall(out)
        if method == "PLAY" and reply.startswith("200") and not session.playing:
            session.playing = True
            sessions.append(session)
            threading.Thread(target=session.play, daemon=True).start()
        if method == "TEARDOWN" and session:
            session.playing = False


def garbage(_):
    for s in sessions:
        s.garbage = True


def check_seen(method):
    if method not in seen:
        raise ValueError("not seen")


if __name__ == "__main__":
    parser = harness.arguments(__doc__)
    parser.add_argument("--stream", action="append", default=[], type=lambda s: tuple(s.split("=", 1)))
    parser.add_argument("--digest")
    parser.add_argument("--basic")
    parser.add_argument("--timeout", type=int, default=60)
    args = parser.parse_args()
    server = harness.Server(lambda server, conn: serve(args, server, conn), {"garbage": garbage, "seen": check_seen})
    server.run(args.port_file)
