#!/usr/bin/env python3
"""Makes fuzz/corpus/fuzz_bodydecoder: bodies encoded by the real encoders (zlib, and libbrotlienc
and libzstd through ctypes), each after the byte that picks its encoding (fuzz_bodydecoder.cpp).
    tools/bodyseeds.py fuzz/corpus/fuzz_bodydecoder
"""
import ctypes
import ctypes.util
import os
import sys
import zlib

GIF = b"GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!\xf9\x04\x01\x00\x00\x00\x00,"
TEXT = b"".join(b"line %d of a body that compresses\n" % i for i in range(40))
PLAIN = GIF + TEXT

brotli = ctypes.CDLL(ctypes.util.find_library("brotlienc"))
zstd = ctypes.CDLL(ctypes.util.find_library("zstd"))


def br(data):
    out = ctypes.create_string_buffer(len(data) + 1024)
    size = ctypes.c_size_t(len(out))
    brotli.BrotliEncoderCompress(11, 22, 0, ctypes.c_size_t(len(data)), data,
                                 ctypes.byref(size), out)
    return out.raw[:size.value]


def zst(data):
    zstd.ZSTD_compress.restype = ctypes.c_size_t
    out = ctypes.create_string_buffer(len(data) + 1024)
    n = zstd.ZSTD_compress(out, ctypes.c_size_t(len(out)), data, ctypes.c_size_t(len(data)), 19)
    return out.raw[:n]


def deflate(data, bits):
    c = zlib.compressobj(9, zlib.DEFLATED, bits)
    return c.compress(data) + c.flush()


def gz(data):
    return deflate(data, 31)


# The first byte: the encoding's index (low three bits) and the pieces less one (next two).
ENCODING = {"": 0, "gzip": 1, "deflate": 2, "br": 3, "zstd": 4, "gzip, br": 5, "x-gzip": 6,
            "zstd, deflate": 7}
SEEDS = {
    "identity": ("", 0, PLAIN),
    "gzip": ("gzip", 1, gz(PLAIN)),
    "gzip-members": ("gzip", 2, gz(GIF) + gz(TEXT)),
    "x-gzip": ("x-gzip", 0, gz(TEXT)),
    "deflate-zlib": ("deflate", 0, deflate(PLAIN, 15)),
    "deflate-raw": ("deflate", 3, deflate(PLAIN, -15)),
    "br": ("br", 1, br(PLAIN)),
    "zstd": ("zstd", 2, zst(PLAIN)),
    "zstd-frames": ("zstd", 0, zst(GIF) + zst(TEXT)),
    "gzip-br": ("gzip, br", 1, br(gz(PLAIN))),
    "zstd-deflate": ("zstd, deflate", 0, deflate(zst(PLAIN), 15)),
    "gzip-bomb": ("gzip", 0, gz(bytes(4 << 20))),
}

folder = sys.argv[1]
os.makedirs(folder, exist_ok=True)
for name, (encoding, pieces, body) in SEEDS.items():
    with open(os.path.join(folder, name), "wb") as f:
        f.write(bytes([ENCODING[encoding] | (pieces << 3)]) + body)
