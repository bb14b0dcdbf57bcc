#!/usr/bin/env python3
"""Records mkv-sim's replies to every command, in both framing variants, as
the seed corpus of the reply fuzzer: one file per reply.

    tests/fuzz/capture_seeds.py build/bin/mkv-sim tests/fuzz/corpus/fuzz_reply
"""
import os
import select
import subprocess
import sys
import termios
import time
import tty


def crc16(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def frame(variant, command, payload=b""):
    body = bytes([1, command, len(payload)]) + payload
    if variant == 0:
        bcc = 0
        for b in body:
            bcc ^= b
        return b"\x02" + body + bytes([bcc])
    crc = crc16(body)
    return body + bytes([crc & 0xFF, crc >> 8])


def reply_length(variant, buf):
    at = 3 if variant == 0 else 2
    if len(buf) <= at:
        return 0
    if buf[at] != 0xFF:
        total = buf[at] + 5
        return total if len(buf) >= total else 0
    offset = at + 1
    while len(buf) > offset:
        if buf[offset] == 0xFF:
            total = offset + 1 + (1 if variant == 0 else 2)
            return total if len(buf) >= total else 0
        offset += buf[offset] + 1
    return 0


def exchange(fd, variant, command, payload=b""):
    os.write(fd, frame(variant, command, payload))
    buf = b""
    deadline = time.monotonic() + 2
    while time.monotonic() < deadline and not reply_length(variant, buf):
        ready, _, _ = select.select([fd], [], [], 0.05)
        if ready:
            buf += os.read(fd, 512)
    return buf


def main():
    sim, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    proc = subprocess.Popen([sim, "--pty", "--variant", "both", "--tags", "1", "--quiet"],
                            stdout=subprocess.PIPE, text=True)
    try:
        path = proc.stdout.readline().split()[1]
        fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(fd)
        termios.tcflush(fd, termios.TCIOFLUSH)
        for variant in (0, 1):
            inventory = exchange(fd, variant, 0xC0, b"\x01")
            header = 4 if variant == 0 else 3
            epc = inventory[header + 3:header + 15] if len(inventory) > header + 15 else b"\x00" * 12
            requests = [
                ("version", 0xF0, b""),
                ("set_mode", 0xF4, b"\x01"),
                ("inventory", 0xC0, b"\x01"),
                ("select", 0xC2, epc),
                ("write", 0xC4, b"\x03\x00\x00\x00\x12\x34\x56\x78"),
                ("read", 0xC3, b"\x03\x00\x00\x00\x04"),
                ("write_pw", 0xC5, b"\x03\x00\x00\x00\x00\x00\x00\x00\xAB\xCD"),
                ("lock", 0xC6, b"\x00\x00\x00\x00\x02\x03"),
                ("get_power", 0x07, b""),
                ("set_power", 0x08, b"\x0E\x01\x00"),
                ("device_text", 0x09, b""),
                ("read_bad_bank", 0xC3, b"\x07\x00\x00\x00\x04"),
                ("unknown", 0x5A, b""),
                ("usb_mode", 0xFF, b"\x00"),
            ]
            for name, command, payload in requests:
                reply = exchange(fd, variant, command, payload)
                if reply:
                    with open(os.path.join(out, f"v{variant}_{name}"), "wb") as f:
                        f.write(reply)
        os.close(fd)
    finally:
        proc.terminate()
        proc.wait()


if __name__ == "__main__":
    main()
