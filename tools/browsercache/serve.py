"""The generator's loopback server: serves the site's routes with fixed headers (types, encodings,
a fixed Last-Modified, a day's max-age), so that what a browser caches is the same on every run.
Every request it answers is logged to stderr, to see what the browser asked for."""
import http.server
import os
import sys

import routes

LAST_MODIFIED = "Tue, 09 Jun 2009 08:30:00 GMT"


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        route = routes.BY_PATH.get(self.path.split("?")[0])
        if route is None:
            # Anything else (a favicon): a 404 no browser keeps.
            self.reply(404, "text/plain", b"", {"Cache-Control": "no-store"})
            return
        body = b""
        if route.file:
            with open(os.path.join(self.server.site, route.file), "rb") as f:
                body = routes.encode(f.read(), route.encoding)
        headers = {"Cache-Control": "max-age=86400", "Last-Modified": LAST_MODIFIED}
        if route.encoding:
            headers["Content-Encoding"] = route.encoding
        if route.location:
            headers["Location"] = route.location
        self.reply(route.status, route.type, body, headers)

    def reply(self, status, kind, body, headers):
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        for name, value in headers.items():
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, fmt, *args):
        sys.stderr.write("%s %s\n" % (self.headers.get("Accept-Encoding", "-"), fmt % args))


server = http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[2])), Handler)
server.site = sys.argv[1]
server.serve_forever()
