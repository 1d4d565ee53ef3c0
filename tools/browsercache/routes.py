"""What the browser cache generator's site serves at each address: the file behind it, its type,
its Content-Encoding, its status, and whether the page shows it as a picture or fetches it."""
import ctypes
import gzip
from dataclasses import dataclass


@dataclass
class Route:
    path: str
    file: str  # below the site; empty for a redirect
    type: str
    encoding: str = ""  # as sent: "", "gzip" or "br"
    status: int = 200
    image: bool = False
    fetched: bool = False
    location: str = ""


ROUTES = [
    Route("/index.html", "index.html", "text/html; charset=utf-8", "gzip"),
    Route("/img/banner.jpg", "img/banner.jpg", "image/jpeg", image=True),
    Route("/img/logo.gif", "img/logo.gif", "image/gif", image=True),
    Route("/img/photo.png", "img/photo.png", "image/png", "br", image=True),
    Route("/img/picture", "img/picture", "image/png", image=True),
    Route("/img/photo.php", "img/photo.php", "image/jpeg", "gzip", image=True),
    Route("/media/game.swf", "media/game.swf", "application/x-shockwave-flash", "gzip", fetched=True),
    Route("/media/clip.flv", "media/clip.flv", "video/x-flv", fetched=True),
    Route("/media/song.mp3", "media/song.mp3", "audio/mpeg", "br", fetched=True),
    # A permanent redirect and a missing file: both cacheable, neither a body worth keeping.
    Route("/go/logo", "", "text/html", status=301, fetched=True, location="/img/logo.gif"),
    Route("/missing.jpg", "missing.html", "text/html; charset=utf-8", status=404, fetched=True),
]

BY_PATH = {r.path: r for r in ROUTES}


def brotli(data):
    """Brotli through the system's libbrotlienc (Debian's libbrotli1),
    as python3 has no brotli module of its own."""
    lib = ctypes.CDLL("libbrotlienc.so.1")
    lib.BrotliEncoderCompress.argtypes = [ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_size_t,
                                          ctypes.c_char_p, ctypes.POINTER(ctypes.c_size_t),
                                          ctypes.c_char_p]
    size = ctypes.c_size_t(len(data) + 1024)
    out = ctypes.create_string_buffer(size.value)
    QUALITY, WINDOW, MODE_GENERIC = 11, 22, 0
    if not lib.BrotliEncoderCompress(QUALITY, WINDOW, MODE_GENERIC, len(data), data,
                                     ctypes.byref(size), out):
        raise RuntimeError("brotli failed")
    return out.raw[:size.value]


def encode(data, encoding):
    if encoding == "gzip":
        return gzip.compress(data, mtime=0)
    if encoding == "br":
        return brotli(data)
    return data
