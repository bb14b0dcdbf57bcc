#!/usr/bin/env python3
"""HTTPS server on loopback for the update check tests.

Serves the files of --root and, for the misbehaving cases, these paths:
  /status/CODE          answers CODE with a versions file as body
  /redirect-http/NAME   redirects to http:// on the same port
  /stall/NAME           sends the headers and half of NAME, then nothing
  /cut/NAME             announces all of NAME, sends half, closes
  /big                  a versions file of 1 MiB + 1 byte, no length announced
Prints "PORT <n>" once listening; ends on SIGTERM.
"""
import argparse
import http.server
import os
import signal
import ssl
import time

VERSIONS = b"[QL_MKV_Stampwise]\r\nVersion=9.99\r\nBuild=2099-01-01\r\nInstaller=https://127.0.0.1/none\r\n"


class Handler(http.server.BaseHTTPRequestHandler):
    root = "."

    def log_message(self, *args):
        pass

    def file(self, name):
        path = os.path.realpath(os.path.join(self.root, name.lstrip("/")))
        if not path.startswith(os.path.realpath(self.root) + os.sep):
            raise FileNotFoundError(name)
        with open(path, "rb") as f:
            return f.read()

    def send(self, code, body, length=None, headers=()):
        self.send_response(code)
        for key, value in headers:
            self.send_header(key, value)
        if length is not None:
            self.send_header("Content-Length", str(length))
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()

    def do_GET(self):
        parts = self.path.lstrip("/").split("/", 1)
        kind, rest = parts[0], parts[1] if len(parts) > 1 else ""
        try:
            if kind == "status":
                self.send(int(rest), VERSIONS, len(VERSIONS))
            elif kind == "redirect-http":
                port = self.server.server_address[1]
                self.send(302, b"", 0, [("Location", "http://127.0.0.1:%d/%s" % (port, rest))])
            elif kind == "stall":
                body = self.file(rest)
                self.send(200, body[: len(body) // 2], len(body))
                time.sleep(120)
            elif kind == "cut":
                body = self.file(rest)
                self.send(200, body[: len(body) // 2], len(body))
                self.close_connection = True
            elif kind == "big":
                line = b"Comment=" + b"x" * 1015 + b"\r\n"
                body = VERSIONS + line * 1024
                self.send(200, body[: 1024 * 1024 + 1])
                self.close_connection = True
            else:
                body = self.file(self.path)
                self.send(200, body, len(body))
        except (FileNotFoundError, IsADirectoryError):
            self.send(404, b"not found", 9)
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--root", required=True)
    args = parser.parse_args()
    Handler.root = args.root
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
