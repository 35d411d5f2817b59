"""What every test server shares.

The server listens on a free loopback port and writes "PORT CONTROL\n" to
the file named by --port-file. The test then holds a control connection to
CONTROL: each line it sends is a command, answered "ok" (or "error ..."),
and the server ends when that connection closes, so a test that dies never
leaves a server behind. Commands every server knows:
  down   close every client connection and stop accepting (refused)
  up     accept again on the same port
  drop   close every client connection, keep accepting
"""

import argparse
import os
import socket
import sys
import threading


class Server:
    def __init__(self, handler, commands=None):
        self.handler = handler  # handler(server, conn): serves one client
        self.commands = dict(commands or {})
        self.lock = threading.Lock()
        self.clients = set()
        self.listener = None
        self.port = 0

    def listen(self):
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind(("127.0.0.1", self.port))
        s.listen(16)
        self.port = s.getsockname()[1]
        self.listener = s
        threading.Thread(target=self.accept_loop, args=(s,), daemon=True).start()

    def accept_loop(self, s):
        while True:
            try:
                conn, _ = s.accept()
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

    def close_clients(self):
        with self.lock:
            clients, self.clients = list(self.clients), set()
        for c in clients:
            try:
                c.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            c.close()

    def command(self, line):
        name, _, arg = line.partition(" ")
        if name == "down":
            self.listener.shutdown(socket.SHUT_RDWR)  # else accept() in a thread keeps it listening
            self.listener.close()
            self.close_clients()
        elif name == "up":
            self.listen()
        elif name == "drop":
            self.close_clients()
        elif name in self.commands:
            self.commands[name](arg)
        else:
            return "error unknown command"
        return "ok"

    def run(self, port_file):
        self.listen()
        control = socket.socket()
        control.bind(("127.0.0.1", 0))
        control.listen(1)
        control.settimeout(60)
        tmp = port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write(f"{self.port} {control.getsockname()[1]}\n")
        os.replace(tmp, port_file)
        try:
            conn, _ = control.accept()
        except OSError:
            os._exit(1)
        reader = conn.makefile("r", encoding="ascii", newline="\n")
        for line in reader:
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


if __name__ == "__main__":
    sys.exit("harness.py is imported by the test servers")
