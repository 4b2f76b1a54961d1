#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/<target>/.
Run from anywhere; it overwrites only the files it names."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(bytes(data))


def modbus(frame):
    crc = 0xFFFF
    for b in frame:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return bytes(frame) + bytes([crc & 0xFF, crc >> 8])


def xmodem(data):
    crc = 0
    for b in data:
        crc ^= b << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) & 0xFFFF if crc & 0x8000 else (crc << 1) & 0xFFFF
    return crc


def block(number, data, size=None):
    size = size or (128 if len(data) <= 128 else 1024)
    data = bytes(data) + bytes(size - len(data))
    crc = xmodem(data)
    return bytes([1 if size == 128 else 2, number & 0xFF, 0xFF - (number & 0xFF)]) + data + bytes([crc >> 8, crc & 0xFF])


def header(name, size_text):
    return block(0, name + b"\0" + size_text + b"\0", 128)


# Main window replies and write frames.
status = modbus(bytes([1, 0, 0xC1]) + bytes((i * 7 + 3) & 0xFF for i in range(54)))
put("statusreply", "status-full", status)
put("statusreply", "status-short-10", status[:10])
put("statusreply", "status-short-58", status[:58])
put("statusreply", "status-trailing", status + b"\x55\xaa")
pid = modbus(bytes([1, 0xA1, 0x11]) + bytes(range(20)))
put("statusreply", "pid-full", pid)
put("statusreply", "pid-short", pid[:11])
put("statusreply", "write-power", modbus(bytes([1, 0, 0x12, 0x03, 0xE8])))
put("statusreply", "write-frames", modbus(bytes([1, 0, 0x14, 0, 0, 0, 1, 0, 0, 1, 2])))
put("statusreply", "write-frames-short", bytes([1, 0, 0x14, 0, 0]))
put("statusreply", "write-serial", modbus(bytes([1, 0, 0x15, 1, 2, 3, 0x18, 7, 9, 0, 0x2A])))
put("statusreply", "write-compensation", modbus(bytes([1, 0, 0xA3, 0, 0, 0x11, 0x70])))
put("statusreply", "write-laser-on", modbus(bytes([1, 0, 0x11, 1])))
put("statusreply", "unknown-word", modbus(bytes([1, 0x12, 0x34, 9])))
put("statusreply", "two-bytes", bytes([1, 0]))

# A whole transfer seen by the receiver: header, data, EOT twice, closing header.
payload = bytes((i * 13) & 0xFF for i in range(1100))
transfer = (header(b"fw.bin", b"1100") + block(1, payload[:1024]) + block(2, payload[1024:])
            + b"\x04\x04" + block(0, b"", 128))
put("ymodemreceive", "transfer-accept", b"\x00" + transfer)
put("ymodemreceive", "transfer-trickle", b"\x20" + transfer)
put("ymodemreceive", "transfer-refuse-header", b"\x01" + transfer)
put("ymodemreceive", "transfer-refuse-block2", bytes([0x02 | (2 << 2)]) + transfer)
bad = bytearray(transfer)
bad[140] ^= 0x40  # inside block 1
put("ymodemreceive", "transfer-bad-crc", b"\x00" + bytes(bad))
put("ymodemreceive", "transfer-repeat", b"\x00" + header(b"a", b"5") + block(1, b"hello") * 2 + b"\x04\x04" + block(0, b"", 128))
put("ymodemreceive", "transfer-cancel", b"\x00" + header(b"a", b"5") + b"\x18")
put("ymodemreceive", "noise", b"\x00" + bytes((i * 97 + 5) & 0xFF for i in range(400)))
put("ymodemreceive", "partial-block", b"\x00" + header(b"a", b"5")[:60])
put("ymodemreceive", "transfer-refuse-end", b"\x40" + transfer)
put("ymodemreceive", "cut-block-cancel", b"\x00" + header(b"a", b"3000") + block(1, payload[:1024])[:300] + b"\x18" * 5)

# Headers for the file receiver: header data (128 bytes), then data blocks.
put("ymodemheader", "plain", (b"fw.bin\x00300\x00".ljust(128, b"\0")) + payload[:300])
put("ymodemheader", "sb-fields", (b"fw.bin\x00" + b"4 14512632216 100644 0 1 4\x00").ljust(128, b"\0") + b"\x00abc")
put("ymodemheader", "escape", (b"../evil\x0010\x00").ljust(128, b"\0") + b"x" * 10)
put("ymodemheader", "absolute", (b"/tmp/evil\x0010\x00").ljust(128, b"\0"))
put("ymodemheader", "no-name", bytes(128))
put("ymodemheader", "no-size", (b"fw.bin\x00").ljust(128, b"\0") + payload[:200])
put("ymodemheader", "bad-size", (b"fw.bin\x0012ab\x00").ljust(128, b"\0"))
put("ymodemheader", "huge-size", (b"fw.bin\x0099999999999999999999\x00").ljust(128, b"\0") + payload)
put("ymodemheader", "zero-size", (b"fw.bin\x000\x00").ljust(128, b"\0") + payload[:128])
put("ymodemheader", "too-much-data", (b"fw.bin\x005\x00").ljust(128, b"\0") + payload[:1100])
put("ymodemheader", "no-nul", b"n" * 128)
put("ymodemheader", "dots-inside", (b"fw..v2.bin\x0010\x00").ljust(128, b"\0") + b"y" * 10)
put("ymodemheader", "terminal-escape", (b"a\x1b[2J\xc2\x9bb\x005\x00").ljust(128, b"\0") + b"z" * 5)
put("ymodemheader", "direction-override", (b"x\xe2\x80\xaegnp.bin\x005\x00").ljust(128, b"\0") + b"z" * 5)
put("ymodemheader", "short-then-end", (b"fw.bin\x003000\x00").ljust(128, b"\0") + payload[:1024])

# Peer answers for the sender: size (2 bytes), policy, answers.
put("ymodemtransmit", "good-peer", b"\x04\x4c\x00" + b"C" + b"\x06C" + b"\x06" * 4 + b"\x15\x06C\x06")
put("ymodemtransmit", "naks", b"\x00\x80\x00" + b"C" + b"\x15" * 10 + b"\x06C\x06\x06\x06\x06")
put("ymodemtransmit", "refuse", b"\x00\x10\x01CCC")
put("ymodemtransmit", "cancel", b"\x10\x00\x00C\x06C\x06\x18")
put("ymodemtransmit", "empty-file", b"\x00\x00\x00C\x06C\x15\x06\x06")

# Profiles: what save writes, hand-written ones and the broken kinds apply refuses.
good = (b'{"korvex_profile": 1, "temp_threshold_c": 45.5, "power": 640, "max_dac": 3900,\n'
        b' "compensation_hours": 36, "laser_type": 2, "pid": {"kp": 1.5, "ki": 0.1, "kd": 0}')
put("profile", "saved", good + b',\n "serial_number": "66051-202407090042", "serial_record": "010203180709002a",\n'
    b' "source": {"firmware": "1.5", "laser_type": 2, "serial_number": "66051-202407090042"}}\n')
put("profile", "hand-written", good + b'}')
put("profile", "source-serial-only", good + b', "source": {"serial_number": "x"}}')
put("profile", "source-not-object", good + b', "source": [1]}')
put("profile", "nul-in-key", good + b', "po\\u0000wer": 1}')
put("profile", "version-2", good.replace(b'"korvex_profile": 1', b'"korvex_profile": 2') + b'}')
put("profile", "repeated-key", good + b', "power": 5}')
put("profile", "broken-json", good + b',\n "power": }')
put("profile", "escaped-keys", b'{"korvex\\u005fprofile": 1, "\\"": 1, "a\\\\": 2}')
put("profile", "deep", b'[' * 600 + b']' * 600)

# korvexctl command lines, one word per NUL-separated part.
def words(*w):
    return b"\0".join(x.encode() for x in w)

put("ctloptions", "status-json", words("--port", "/dev/null", "status", "--json"))
put("ctloptions", "help-power", words("help", "power"))
put("ctloptions", "help-all", words("--help-all"))
put("ctloptions", "negative-pid", words("--factory", "--port", "/dev/null", "pid", "set", "-1.5", "-0", "0.0001"))
put("ctloptions", "profile-stdin", words("--factory", "profile", "apply", "-", "--dry-run", "--strict-serial"))
put("ctloptions", "flash-many", words("flash", "fw.bin", "--port", "a", "--port", "b", "--baud", "921600", "--start-timeout", "3"))
put("ctloptions", "send-parity", words("--parity", "odd", "--port", "x", "send", "f"))
put("ctloptions", "watch", words("--port", "x", "watch", "--count", "2", "--csv", "a.csv", "--interval", "100"))
put("ctloptions", "verbose-retries", words("--retries", "100", "--timeout", "60000", "--port", "x", "power", "1e2"))
put("ctloptions", "mark", words("power", "\x01neg5", "--port", "\x01neg"))
put("ctloptions", "empty", b"")
put("ctloptions", "verbose-watch", words("-v", "--baud", "115200", "--port", "x", "watch", "--interval", "11"))

# Test plans: the shipped examples, and the shapes a hand-edited plan breaks in.
for example in ("quick-check", "burn-in"):
    with open(os.path.join(HERE, "..", "examples", example + ".yaml"), "rb") as f:
        put("plan", example, f.read())
put("plan", "tabs", b"name: x\nsteps:\n\t- check: {alarms: none}\n")
put("plan", "deep", b"name: x\nsteps:\n" + b"  - " + b"[" * 40 + b"]" * 40 + b"\n")
put("plan", "alias-bomb", b"a: &a [x, x, x, x]\nb: &b [*a, *a, *a, *a]\nc: &c [*b, *b, *b, *b]\n"
    b"name: *c\nsteps: [*c]\n")
put("plan", "limits-reversed", b"name: x\nsteps:\n  - measure: {field: laser_temp_c, stat: mean, over: 2s, min: 30, max: 20}\n")
put("plan", "set-out-of-range", b"name: x\nsteps:\n  - set: {power: 1001}\n")
put("plan", "duration-garbage", b"name: x\nsteps:\n  - wait: {for: 1e309s}\n")
put("plan", "nul-in-key", b"name: x\nsteps:\n  - che\0ck: {alarms: none}\n")
put("plan", "not-a-map", b"- just\n- a list\n")
