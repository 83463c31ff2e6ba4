#!/usr/bin/env python3
"""Serves the files of a directory on loopback for the tests.

serve.py DIRECTORY FD [CERT KEY]: listens on 127.0.0.1 on a free port, writes
the port number to file descriptor FD, and serves HTTP (HTTPS with CERT and
KEY) until it is terminated."""
import functools
import http.server
import os
import ssl
import sys


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def main():
    directory, fd = sys.argv[1], int(sys.argv[2])
    handler = functools.partial(QuietHandler, directory=directory)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    if len(sys.argv) >= 5:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[3], sys.argv[4])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    os.write(fd, f"{server.server_address[1]}\n".encode())
    os.close(fd)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
