#!/usr/bin/env python3
"""Writes the fuzzers' seed corpus: valid replies, configuration, data and settings files."""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))


def put(kind, name, data):
    with open(os.path.join(here, "corpus", kind, name), "wb") as f:
        f.write(data)


def checksummed(body):
    return body + bytes([sum(body) % 256])


def history(header, base):
    body = header + b"".join(struct.pack("<H", base + i) for i in range(40))
    body += b"MON" + b"".join(struct.pack("<H", base * 30 + j) for j in range(12))
    return checksummed(body)


def live(powers):
    body = b""
    for r, power in enumerate(powers, start=1):
        body += b"S\x00\x00" + struct.pack(">H", r) + struct.pack("<H", power) + b"1"
    return checksummed(body)


def framed(*replies):
    return b"".join(struct.pack("<H", len(r)) + r for r in replies)


com, sol = history(b"COMDAY", 12), history(b"SOLDAY", 9)
lv = live([100 * r for r in range(1, 16)])
put("replies", "tick", framed(com, sol, lv))
put("replies", "silent-then-answer", framed(b"", b"", lv, com))
put("replies", "short-live", framed(com, sol, lv[:20]))
put("replies", "bad-checksum", framed(com[:-1] + b"\x00", sol, lv))
put("replies", "no-mon", framed(com[:86] + b"XYZ" + com[89:], sol, lv))


def channel(name, number):
    return name.ljust(64, b"\x00") + struct.pack("<H", number) + b"\x00" * 10


def scopes():
    rows = [(0.00069444, 12), (0.00347222, 60), (0.01041667, 180), (0.02083333, 360),
            (0.04166667, 720), (0.125, 2160), (0.25, 4320)]
    return b"".join(struct.pack("<di", span, n) + b"\x00" * 4 for span, n in rows)


def config(extra=b"", names=()):
    records = [channel(b"", 0) for _ in range(14)]
    for i, name in names:
        records[i] = channel(name, i)
    records += [channel(b"Consumption", 14), channel(b"Solar", 15)]
    data = struct.pack("<H", 16) + b"".join(records)
    data += struct.pack("<HH", 4, 7) + scopes() + b"\x00" * 16 + b"\x00"
    data += struct.pack("<II", 1700000000, 1700003600) + b"\x00"
    data += bytes([len(extra)]) + extra + struct.pack("<I", 60)
    return data


default = config()
assert len(default) == 1365
put("config", "default", default)
put("config", "named-with-extra", config(extra=b"\x01\x02\x03", names=[(1, b"Kitchen"), (2, b"Heat pump")]))

tables = b"".join(struct.pack("<i", v) for v in list(range(40)) * 2 + list(range(12)) * 2)
header = struct.pack("<iHHHH", 1700000000, 3, 17278, 1, 0)
rings = bytearray(16 * 17280 * 4)
for ring in range(16):
    for slot in (17278, 17279, 0):
        struct.pack_into("<i", rings, (ring * 17280 + slot) * 4, 100 + ring)
data = b"Ver1.01\x00" + tables + header + bytes(rings)
assert len(data) == 1106356
put("datafile", "wrapped", data)
# The same file described for the fuzzer: its head, its non-zero samples as (ring, u16 slot,
# i32 value), then one byte that makes it 100 bytes longer than the image.
samples = b"".join(struct.pack("<BHi", ring, slot, 100 + ring)
                   for ring in range(16) for slot in (17278, 17279, 0))
put("datafile", "described-longer", data[:436] + samples + bytes([100]))

# kelvo.ini as the settings commands write it, and as a person may leave it.
put("ini", "written", b"[archive]\nenabled=true\nfile=kelvo-archive.sqlite\nkeep_days=0\n\n"
    b"[link]\nreconnect=true\n\n[mqtt]\nallow_switching=false\ndiscovery=true\n"
    b"discovery_prefix=homeassistant\nenabled=true\nhost=localhost\nnode_id=kelvo_0a1b2c\n"
    b"password=\"s3;cr\\\"t \"\nport=1883\nprefix=kelvo\ntls=false\ntls_ca_file=\n"
    b"tls_cert_file=\ntls_key_file=\nusername=@@me\n")
put("ini", "hand-edited", b"\xef\xbb\xbf; by hand\r\nowner = Jo\r\n[mqtt]\r\nhost = \"a, b\"  ; x\r\n"
    b"password=gr\xfc\\x00df\\0\\\r\n more\r\nlist=a, b,\"c\"\r\n[%General]\r\nx=@ByteArray(\\xe9)\r\n"
    b"[mqtt\\sub]\r\nh%6Fst=%U00e9\r\n[link]\r\nreconnect=\"never closed\r\n")
