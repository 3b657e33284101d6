#!/usr/bin/env python3
"""A stand-in RFC 3161 timestamp authority for the signing check, on loopback:
each POSTed query is answered by `openssl ts -reply` with the configuration
given, by its TSA section the URL's path names (http://127.0.0.1:PORT/SECTION),
or its default one. Also opens a second port that takes connections and never answers.
Prints both ports on one line, then serves until it is ended.

Usage: timestamp-server.py TSA.cnf
"""
import http.server
import socket
import subprocess
import sys


class Authority(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        section = ["-section", self.path.strip("/")] if self.path.strip("/") else []
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", sys.argv[1], *section, "-queryfile", "/dev/stdin"],
                               input=query, stdout=subprocess.PIPE).stdout
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.end_headers()
        self.wfile.write(reply)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    server = http.server.HTTPServer(("127.0.0.1", 0), Authority)
    mute = socket.create_server(("127.0.0.1", 0))  # the kernel takes the connections; nobody answers
    print(server.server_port, mute.getsockname()[1], flush=True)
    server.serve_forever()
