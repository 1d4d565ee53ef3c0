"""Reads an strace log (strace -f -yy -e trace=connect,sendto,sendmsg,sendmmsg,write) and prints
every call that could have reached beyond loopback: a TCP connect to another address, or data
sent on a UDP socket (a DNS query, say) to anywhere but loopback. Chromium connects a UDP socket to
a public address only to learn which local address routes there, sending nothing: no network.
Exits 1 when it printed any."""
import re
import sys

# The address in the call's arguments, or the peer strace names beside a connected socket.
LOOPBACK = re.compile(r'inet_addr\("127\.\d+\.\d+\.\d+"\)|inet_pton\(AF_INET6, "::1"|'
                      r'->127\.\d+\.\d+\.\d+:\d+\]>|->\[::1\]:\d+\]>')
CALL = re.compile(r"^\d+\s+(connect|sendto|sendmsg|sendmmsg|write)\(\d+<(TCP|TCPv6|UDP|UDPv6):")

found = False
with open(sys.argv[1], errors="replace") as log:
    for line in log:
        call = CALL.match(line)
        if not call or LOOPBACK.search(line):
            continue
        name, kind = call.groups()
        if name == "connect" and kind.startswith("UDP"):
            continue
        print(line.rstrip()[:300])
        found = True
sys.exit(1 if found else 0)
