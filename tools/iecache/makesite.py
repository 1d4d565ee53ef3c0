"""Makes the few files the cache generator's server serves: real small media, and a small
picture at each further path given (its kind by its extension; a query is the same file)."""
import os
import struct
import subprocess
import sys

site = sys.argv[1]
os.makedirs(os.path.join(site, "img"), exist_ok=True)
os.makedirs(os.path.join(site, "media"), exist_ok=True)


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


run("convert", "-size", "160x120", "gradient:#3050c0-#c0f0a0", os.path.join(site, "img/banner.jpg"))
run("convert", "-size", "64x64", "xc:#ffcc00", "-fill", "#0033aa", "-draw", "circle 32,32 32,8",
    os.path.join(site, "img/logo.gif"))
run("convert", "-size", "48x48", "plasma:", os.path.join(site, "img/photo.png"))
run("convert", "-size", "32x32", "xc:#aa2222", os.path.join(site, "img/gone.jpg"))
run("ffmpeg", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=0.5", "-b:a", "32k",
    os.path.join(site, "media/song.mp3"))

# The smallest SWF a player accepts: a 100 x 100 stage, one frame.
body = bytes([0x50, 0x00, 0x07, 0xD0, 0x00, 0x07, 0xD0, 0x00])  # RECT 0..2000 twips, 5-bit fields
rect = bytes([0x68, 0x00, 0x1F, 0x40, 0x00, 0x07, 0xD0, 0x00])
tags = struct.pack("<H", 1 << 6) + struct.pack("<H", 0)  # ShowFrame, End
payload = rect + struct.pack("<HH", 12 << 8, 1) + tags
with open(os.path.join(site, "media/game.swf"), "wb") as f:
    f.write(b"FWS" + bytes([6]) + struct.pack("<I", 8 + len(payload)) + payload)

with open(os.path.join(site, "index.html"), "w", encoding="utf-8") as f:
    f.write("<!doctype html><title>A cached page</title><img src=img/banner.jpg>\n")

# The further paths, named in any script: a picture of its own colour each.
for i, extra in enumerate(sys.argv[2:]):
    at = os.path.join(site, extra.split("?")[0])
    if os.path.exists(at):
        continue
    os.makedirs(os.path.dirname(at), exist_ok=True)
    run("convert", "-size", "40x30", "xc:#%02x%02x%02x" % (40 + 50 * i, 200 - 30 * i, 90), at)
