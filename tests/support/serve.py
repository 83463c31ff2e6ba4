#!/usr/bin/env python3
"""Serves the files of a directory on loopback for the tests.

serve.py DIRECTORY FD [CERT KEY]: listens on 127.0.0.1 on a free port, writes
the port number to file descriptor FD, and serves HTTP (HTTPS with CERT and
KEY) until it is terminated."""
import base64
import functools
import http.server
import os
import ssl
import sys
import urllib.parse


# Besides the files: /private/NAME is the file NAME behind HTTP Basic
# authentication (user "kiv", password "s3cret", realm "kiv tests"), and
# /redirect?to=PATH answers with a redirect to PATH.
USER, PASSWORD, REALM = "kiv", "s3cret", "kiv tests"


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        path, _, query = self.path.partition("?")
        if path == "/redirect":
            target = urllib.parse.parse_qs(query).get("to", ["/"])[0]
            self.send_response(302)
            self.send_header("Location", target)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if path.startswith("/private/"):
            expected = "Basic " + base64.b64encode(f"{USER}:{PASSWORD}".encode()).decode()
            if self.headers.get("Authorization") != expected:
                body = b"<title>denied</title><p>denied</p>"
                self.send_response(401)
                self.send_header("WWW-Authenticate", f'Basic realm="{REALM}"')
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)
                return
            self.path = path[len("/private"):]
        super().do_GET()


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
