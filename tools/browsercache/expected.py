"""Writes the expected list of a generated cache: one row per address the site serves, as
address, HTTP status, Content-Encoding as sent (- for none), SHA-256 of the decoded body,
SHA-256 of the body as sent, size as sent, whether the cache holds it (yes when both the full
address and the body as sent occur in the cache's files: a browser need not keep all it got),
the site's file served there (- for none), and the first 16 bytes of the body as sent in hex
(- for none), to find it by;
from the site's own files, encoded as the server does. A redirect has no body (its sums are
those of no bytes); neither it nor the 404 is a body a reader should give."""
import hashlib
import os
import sys

import routes

site, base, cache = sys.argv[1], sys.argv[2], sys.argv[3]
stored = b""
for folder, _, names in sorted(os.walk(cache)):
    for name in sorted(names):
        with open(os.path.join(folder, name), "rb") as f:
            stored += f.read() + b"\0"


def held(address, sent):
    # No address of the site begins another one, so finding one is finding its key.
    return address.encode() in stored and sent in stored


print("# address\tstatus\tencoding\tsha256_decoded\tsha256_sent\tsize_sent\tin_cache\tsite_file\tsent_head")
for r in routes.ROUTES:
    body = b""
    if r.file:
        with open(os.path.join(site, r.file), "rb") as f:
            body = f.read()
    sent = routes.encode(body, r.encoding)
    print("\t".join([base + r.path, str(r.status), r.encoding or "-", hashlib.sha256(body).hexdigest(),
                     hashlib.sha256(sent).hexdigest(), str(len(sent)),
                     "yes" if held(base + r.path, sent) else "no", r.file or "-",
                     sent[:16].hex() or "-"]))
