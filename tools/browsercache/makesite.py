"""Makes the small site the browser cache generator serves: real small media made here (with
imagemagick and ffmpeg, and a minimal SWF written below), and the page that pulls them all."""
import os
import struct
import subprocess
import sys

import routes

site = sys.argv[1]


def at(path):
    full = os.path.join(site, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    return full


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def rect(xmin, xmax, ymin, ymax):
    """An SWF RECT: a 5-bit field width, then four signed fields of that width, in twips."""
    nbits = max(v.bit_length() for v in (xmin, xmax, ymin, ymax)) + 1
    bits = format(nbits, "05b") + "".join(format(v, "0%db" % nbits) for v in (xmin, xmax, ymin, ymax))
    bits += "0" * (-len(bits) % 8)
    return int(bits, 2).to_bytes(len(bits) // 8, "big")


def tag(code, body=b""):
    """A short-form SWF tag: code and length in one little-endian 16-bit word (length < 63)."""
    assert len(body) < 63
    return struct.pack("<H", code << 6 | len(body)) + body


def swf():
    """A valid uncompressed SWF 6 movie: a 100 x 100 pixel stage, 12 frames a second, one frame
    with a background colour, then the end tag."""
    SET_BACKGROUND_COLOR, SHOW_FRAME, END = 9, 1, 0
    movie = rect(0, 2000, 0, 2000) + struct.pack("<HH", 12 << 8, 1)
    movie += tag(SET_BACKGROUND_COLOR, bytes([0x30, 0x50, 0xC0])) + tag(SHOW_FRAME) + tag(END)
    return b"FWS" + bytes([6]) + struct.pack("<I", 8 + len(movie)) + movie


run("convert", "-size", "160x120", "gradient:#3050c0-#c0f0a0", at("img/banner.jpg"))
run("convert", "-size", "64x64", "xc:#ffcc00", "-fill", "#0033aa", "-draw", "circle 32,32 32,8",
    at("img/logo.gif"))
run("convert", "-size", "48x48", "plasma:fractal", "-seed", "7", at("img/photo.png"))
# A picture behind an address without an extension, and a JPEG behind a lying one.
run("convert", "-size", "40x30", "xc:#22aa66", "png:" + at("img/picture"))
run("convert", "-size", "80x60", "gradient:#aa2222-#2222aa", "jpg:" + at("img/photo.php"))
run("ffmpeg", "-y", "-f", "lavfi", "-i", "testsrc=size=96x72:rate=10:duration=2", "-f", "lavfi",
    "-i", "sine=frequency=660:duration=2", "-c:v", "flv1", "-c:a", "libmp3lame", "-ar", "22050",
    "-b:a", "32k", "-f", "flv", at("media/clip.flv"))
run("ffmpeg", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=0.5", "-b:a", "32k",
    at("media/song.mp3"))
with open(at("media/game.swf"), "wb") as f:
    f.write(swf())
with open(at("missing.html"), "w", encoding="utf-8") as f:
    f.write("<!doctype html><title>Not found</title><p>Nothing here.\n")

# The page: pictures as img tags, the rest fetched by its script, so that the browser caches them
# too. Its title says when every fetch has ended; with #close=MS the page
# later closes its window.
images = "".join("<img src=%s>" % r.path.lstrip("/") for r in routes.ROUTES if r.image)
fetched = ",".join('"%s"' % r.path for r in routes.ROUTES if r.fetched)
with open(at("index.html"), "w", encoding="utf-8") as f:
    f.write(f"""<!doctype html>
<meta charset=utf-8><title>loading</title>
{images}
<script>
const fetched = [{fetched}];
const images = Array.from(document.images, i => i.complete ? null :
    new Promise(done => {{ i.onload = i.onerror = done; }}));
Promise.all([...images, ...fetched.map(a => fetch(a).then(r => r.arrayBuffer()).catch(() => null))])
    .then(() => {{
        document.title = "done";
        // #close=MS: MS milliseconds on, use the cached copies once more (Firefox builds its
        // index late and writes it only on a change once built), then close the window.
        const close = /^#close=(\d+)$/.exec(location.hash);
        if (close)
            setTimeout(() => Promise.all(fetched.map(a => fetch(a).catch(() => null)))
                .then(() => setTimeout(() => window.close(), 3000)), Number(close[1]));
    }});
</script>
""")
