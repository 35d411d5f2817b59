"""An HTTP camera: /mjpeg/<colour> is a multipart/x-mixed-replace stream of
about 10 pictures a second, /snap/<colour> one image/jpeg (solid 320x240
pictures, colours as PIL names them), 404 for anything else. With
--basic user:password every request needs those Basic credentials.
Command "garbage": every stream now open sends junk instead of its next part."""
import base64
import io
import os
import re
import time

from PIL import Image

import harness


def picture(colour):
    out = io.BytesIO()
    Image.new("RGB", (320, 240), colour).save(out, "JPEG")
    return out.getvalue()


def main():
    parser = harness.arguments(__doc__)
    parser.add_argument("--basic")
    args = parser.parse_args()
    junk_for = set()

    def serve(server, conn):
        head = b""
        while b"\r\n\r\n" not in head:
            data = conn.recv(4096)
            if not data:
                return
            head += data
        lines = head.decode("latin-1").split("\r\n")
        auth = {l.split(":", 1)[1].strip() for l in lines if l.lower().startswith("authorization:")}
        if args.basic and "Basic " + base64.b64encode(args.basic.encode()).decode() not in auth:
            return conn.sendall(b'HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm="cam"\r\n\r\n')
        m = re.fullmatch(r"/(mjpeg|snap)/([a-z]+)", lines[0].split(" ")[1])
        try:
            jpeg = picture(m[2]) if m else None
        except ValueError:
            jpeg = None
        if not jpeg:
            return conn.sendall(b"HTTP/1.0 404 Not Found\r\n\r\n")
        if m[1] == "snap":
            return conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\n\r\n" + jpeg)
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=frame\r\n\r\n")
        while True:
            if conn in junk_for:
                junk_for.discard(conn)
                conn.sendall(b"Content-Length: 9\r\n\r\n\xff\xd8" + os.urandom(20000) + b"\r\n")
            else:
                conn.sendall(b"--frame\r\nContent-Type: image/jpeg\r\nContent-Length: %d\r\n\r\n" % len(jpeg) + jpeg)
                conn.sendall(b"\r\n")
            time.sleep(0.1)

    server = harness.Server(serve, {"garbage": lambda _: junk_for.update(list(server.clients))})
    server.run(args.port_file)


if __name__ == "__main__":
    main()
