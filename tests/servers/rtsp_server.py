"""RTSP server: --stream /path=FILE ({ch} in both: a number) as TCP-interleaved RTP, 25 fps, looping; --digest or
--basic user:password, --timeout of Session. Commands: garbage (bad frames to clients), seen METHOD (ok if sent)."""

import base64, hashlib, os, re, struct, threading, time
import harness

seen, sessions = set(), []

def access_units(path):  # [(NAL units, has IDR)], SPS, PPS
    units, unit, params = [], [], {}
    for nal in (n.lstrip(b"\0") for n in open(path, "rb").read().split(b"\0\0\1") if n.strip(b"\0")):
        if nal[0] & 0x1F in (7, 8):
            params.setdefault(nal[0] & 0x1F, nal)
        else:
            unit.append(nal)
        if 1 <= nal[0] & 0x1F <= 5:
            units, unit = units + [(unit, nal[0] & 0x1F == 5)], []
    return units, params[7], params[8]

class Session:
    def __init__(self, conn, stream):
        self.conn, self.stream, self.lock, self.garbage, self.playing = conn, stream, threading.Lock(), False, False
    def frame(self, payload, length=None):
        with self.lock:
            try:
                self.conn.sendall(b"$\0" + struct.pack(">H", len(payload) if length is None else length) + payload)
            except OSError:  # the client went
                self.playing = False
    def play(self):
        units, sps, pps = access_units(self.stream)
        seq, start, n = 1, time.monotonic(), 0
        while self.playing:
            if self.garbage:
                self.garbage = False
                for size in (7, 40, 300, 1500):
                    self.frame(os.urandom(size))
                self.frame(os.urandom(100), 1000)  # cut short
                self.frame(b"\x8f\x60" + os.urandom(18))  # 15 CSRCs in 20 bytes
                self.frame(b"\x90\x60" + os.urandom(10) + b"\xbe\xde\xff\xff")  # extension past the end
            nals, idr = units[n % len(units)]
            packets = [b"\x78" + struct.pack(">H", len(sps)) + sps + struct.pack(">H", len(pps)) + pps] if idr else []
            for nal in nals:  # FU-A above 1200 bytes
                packets += [bytes([nal[0] & 0xE0 | 28, (at == 1) << 7 | (at + 1200 >= len(nal)) << 6 | nal[0] & 0x1F])
                            + nal[at : at + 1200] for at in range(1, len(nal), 1200)] if len(nal) > 1200 else [nal]
            for i, p in enumerate(packets):
                marker = (i == len(packets) - 1) << 7
                self.frame(struct.pack(">BBHII", 0x80, 96 | marker, seq + i & 0xFFFF, n * 3600 & 0xFFFFFFFF, 0x5E10) + p)
            seq += len(packets)
            n += 1
            time.sleep(max(0, start + n * 0.04 - time.monotonic()))

def authorized(args, method, value):
    if not args.digest:
        return not args.basic or value == "Basic " + base64.b64encode(args.basic.encode()).decode()
    f, (user, password) = dict(re.findall(r'(\w+)="?([^",]*)"?', value)), args.digest.split(":", 1)
    md5 = lambda s: hashlib.md5(s.encode()).hexdigest()
    ha1, ha2 = md5(f"{user}:velo:{password}"), md5(f"{method}:{f.get('uri')}")
    want = md5(f"{ha1}:{f.get('nonce')}:{f.get('nc')}:{f.get('cnonce')}:auth:{ha2}")
    return value.startswith("Digest ") and f.get("username") == user and f.get("response") == want

def serve(args, conn):
    reader, session = conn.makefile("rb"), None
    for line in iter(lambda: reader.readline().decode("latin-1").strip(), ""):
        method, url, _ = line.split(" ")
        lines = iter(lambda: reader.readline().decode("latin-1").strip(), "")
        h = {k.strip().lower(): v.strip() for k, v in (x.split(":", 1) for x in lines)}
        seen.add(method)
        path, reply, extra, body = re.sub(r"^rtsp://[^/]*", "", url), "200 OK", "", ""
        stream = next((f.replace("{ch}", (m.groups() or ("",))[0]) for p, f in args.stream
                       for m in [re.fullmatch(re.escape(p).replace(r"\{ch\}", r"(\d+)") + "(?:/track1)?/?", path)]
                       if m), None)
        if method != "OPTIONS" and not authorized(args, method, h.get("authorization", "")):
            reply = "401 Unauthorized"
            extra = ('WWW-Authenticate: Basic realm="velo"\r\n' if args.basic else
                     f'WWW-Authenticate: Digest realm="velo", nonce="{os.urandom(8).hex()}", qop="auth"\r\n')
        elif method in ("DESCRIBE", "SETUP", "PLAY") and stream is None:
            reply = "404 Not Found"
        elif method == "DESCRIBE":
            sets = ",".join(base64.b64encode(x).decode() for x in access_units(stream)[1:])
            body = ("v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=velo\r\nt=0 0\r\na=control:*\r\nm=video 0 RTP/AVP 96\r\n"
                    f"a=rtpmap:96 H264/90000\r\na=fmtp:96 packetization-mode=1;sprop-parameter-sets={sets}\r\n"
                    f"a=control:track1\r\n")
            extra = f"Content-Base: {url}/\r\nContent-Type: application/sdp\r\nContent-Length: {len(body)}\r\n"
        elif method == "SETUP":  # TCP-interleaved whatever was asked
            session = Session(conn, stream)
            extra = f"Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\nSession: 5E10;timeout={args.timeout}\r\n"
        elif method != "OPTIONS" and (session is None or h.get("session") != "5E10"):
            reply = "454 Session Not Found"
        with (session or Session(conn, None)).lock:
            conn.sendall(f"RTSP/1.0 {reply}\r\nCSeq: {h.get('cseq')}\r\n{extra}\r\n{body}".encode())
        if method == "TEARDOWN" and reply[0] == "2":
            session.playing = False
        elif method == "PLAY" and reply[0] == "2" and not session.playing:
            session.playing = True
            sessions.append(session)
            threading.Thread(target=session.play, daemon=True).start()

if __name__ == "__main__":
    parser = harness.arguments(__doc__)
    parser.add_argument("--stream", action="append", default=[], type=lambda s: tuple(s.split("=", 1)))
    parser.add_argument("--digest")
    parser.add_argument("--basic")
    parser.add_argument("--timeout", type=int, default=60)
    args = parser.parse_args()
    commands = {"garbage": lambda _: [setattr(s, "garbage", True) for s in sessions],
                "seen": lambda method: seen.remove(method) or seen.add(method)}  # KeyError when not seen
    harness.Server(lambda _, conn: serve(args, conn), commands).run(args.port_file)
