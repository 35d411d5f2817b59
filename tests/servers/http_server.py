"""An HTTP camera of solid 320x240 JPEG pictures in colours as PIL names them:
/mjpeg/<colour> multipart/x-mixed-replace at ~10 a second, /snap/<colour> one
image/jpeg, 404 for anything else. --basic user:password asks for those.
Command "garbage": each open stream sends junk instead of its next part."""
import base64
import io
import os
import re
import time

from PIL import Image

import harness


def serve(server, conn, args, junk_for):
    head = b""
    while b"\r\n\r\n" not in head and (data := conn.recv(4096)):
        head += data
    lines = head.decode("latin-1").split("\r\n")
    auth = {l.split(":", 1)[1].strip() for l in lines if l.lower().startswith("authorization:")}
    if args.basic and "Basic " + base64.b64encode(args.basic.encode()).decode() not in auth:
        return conn.sendall(b'HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm="cam"\r\n\r\n')
    m = re.match(rb"GET /(mjpeg|snap)/([a-z]+) ", head)
    jpeg = io.BytesIO()
    try:
        Image.new("RGB", (320, 240), m[2].decode()).save(jpeg, "JPEG")
    except (TypeError, ValueError):  # no match, or no such colour
        return conn.sendall(b"HTTP/1.0 404 Not Found\r\n\r\n")
    jpeg = jpeg.getvalue()
    if m[1] == b"snap":  # no Content-Length: the picture ends with the connection
        return conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\n\r\n" + jpeg)
    conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=frame\r\n\r\n")
    while True:
        if conn in junk_for:
            junk_for.discard(conn)
            conn.sendall(b"Content-Length: 9\r\n\r\n\xff\xd8" + os.urandom(20000) + b"\r\n")
        else:
            conn.sendall(b"--frame\r\nContent-Type: image/jpeg\r\nContent-Length: %d\r\n\r\n%s\r\n" % (len(jpeg), jpeg))
        time.sleep(0.1)


if __name__ == "__main__":
    parser = harness.arguments(__doc__)
    parser.add_argument("--basic")
    args, junk_for = parser.parse_args(), set()
    server = harness.Server(lambda s, c: serve(s, c, args, junk_for))
    server.commands["garbage"] = lambda _: junk_for.update(list(server.clients))
    server.run(args.port_file)
