"""A loopback server with the headers a web server of the time gave: a content type per file and
a fixed last-modified date, so the generated cache's records are the same on every run."""
import http.server
import os
import sys

TYPES = {
    ".jpg": "image/jpeg",
    ".gif": "image/gif",
    ".png": "image/png",
    ".swf": "application/x-shockwave-flash",
    ".mp3": "audio/mpeg",
    ".html": "text/html; charset=utf-8",
}


class Handler(http.server.SimpleHTTPRequestHandler):
    def guess_type(self, path):
        for ext, kind in TYPES.items():
            if path.split("?")[0].endswith(ext):
                return kind
        return "application/octet-stream"

    def translate_path(self, path):
        # wininet sends a path's characters unescaped, in the code page of the Windows it runs
        # as: the first of these under which they name a file here.
        raw = path.encode("latin-1", "replace")
        for encoding in ("utf-8", "gbk", "big5", "cp932", "cp949", "cp1251"):
            try:
                found = super().translate_path(raw.decode(encoding))
            except UnicodeError:
                continue
            if os.path.exists(found):
                return found
        return super().translate_path(path)

    def date_time_string(self, timestamp=None):
        return "Tue, 09 Jun 2009 08:30:00 GMT"

    def end_headers(self):
        self.send_header("Cache-Control", "max-age=86400")
        super().end_headers()

    def log_message(self, *args):
        pass


http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Handler).serve_forever()
