"""What every test server shares. It listens on a free loopback port and
writes "PORT CONTROL" to --port-file; the test holds a connection to CONTROL
and sends one command a line, answered "ok" or "error ...". The server ends
when that connection closes, so a test that dies leaves no server behind.
Every server knows "down" (close all clients, refuse new ones) and "up"."""

import argparse, os, socket, threading


class Server:
    def __init__(self, handler, commands=None):
        self.handler = handler  # handler(server, conn) serves one client
        self.commands = dict(commands or {})
        self.lock, self.clients, self.listener, self.port = threading.Lock(), set(), None, 0

    def listen(self):
        s = self.listener = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind(("127.0.0.1", self.port))
        s.listen(16)
        self.port = s.getsockname()[1]
        threading.Thread(target=self.accept_loop, args=(s,), daemon=True).start()

    def accept_loop(self, s):
        while True:
            try:
                conn = s.accept()[0]
            except OSError:
                return
            with self.lock:
                self.clients.add(conn)
            threading.Thread(target=self.serve_one, args=(conn,), daemon=True).start()

    def serve_one(self, conn):
        try:
            self.handler(self, conn)
        except OSError:
            pass
        finally:
            with self.lock:
                self.clients.discard(conn)
            conn.close()

    def command(self, line):
        name, _, arg = line.partition(" ")
        if name == "down":
            self.listener.shutdown(socket.SHUT_RDWR)  # else accept() in a thread keeps it listening
            self.listener.close()
            with self.lock:
                clients, self.clients = list(self.clients), set()
            for c in clients:
                try:
                    c.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
        elif name == "up":
            self.listen()
        elif name in self.commands:
            self.commands[name](arg)
        else:
            return "error unknown command"
        return "ok"

    def run(self, port_file):
        self.listen()
        control = socket.create_server(("127.0.0.1", 0))
        control.settimeout(60)
        with open(port_file + ".tmp", "w") as f:
            f.write(f"{self.port} {control.getsockname()[1]}\n")
        os.replace(port_file + ".tmp", port_file)
        try:
            conn = control.accept()[0]
        except OSError:
            os._exit(1)
        for line in conn.makefile("r", encoding="ascii", newline="\n"):
            try:
                reply = self.command(line.strip())
            except Exception as e:  # a bad command must not end the server
                reply = f"error {e}"
            conn.sendall((reply + "\n").encode())
        os._exit(0)


def arguments(description):
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--port-file", required=True)
    return parser
