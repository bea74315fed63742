#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (fuzz/corpus/<target>/seed-*).

The seeds are small valid and nearly valid inputs; fuzzing runs add what they
find to a corpus of their own in the build directory. Run from anywhere:
    python3 fuzz/make_seeds.py
"""
import json
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    if isinstance(data, str):
        data = data.encode()
    with open(os.path.join(d, "seed-" + name), "wb") as f:
        f.write(data)


# --- firmware package: 16-byte header, count, entries (key, id, length, name, image) ---

def entry(key, fid, image, name=b"build"):
    return bytes([key]) + fid + struct.pack("<I", len(image)) + name.ljust(64, b"\0") + image


def package(entries, count=None, filler=b""):
    head = b"QUILLON-PACKAGE\0"
    n = len(entries) if count is None else count
    return head + bytes([n]) + b"".join(entries) + filler


img = bytes((i * 7 + 1) % 255 for i in range(64))
write("fw_package", "empty", package([]))
write("fw_package", "one", package([entry(0x88, b"QMD1", img)]))
write("fw_package", "two-filler", package([entry(0x88, b"QMD1", img), entry(0x16, b"QMB2", img[:9])],
                                          filler=b"\xff" * 8))
write("fw_package", "image-past-end", package([entry(0x88, b"QMD1", img)])[:-1])
write("fw_package", "header-past-end", package([], count=1) + b"\x88QMD1")
write("fw_package", "no-count", b"QUILLON-PACKAGE\0")


# --- USB descriptors: [configuration value] + device descriptor + configurations ---

UNIT_GUID = bytes.fromhex("7033f028" "1163" "2e4a" "ba2c6890eb334016")  # USB byte order


def with_length(body):
    return bytes([len(body) + 1]) + body


def device():
    return bytes([18, 0x01, 0x00, 0x02, 0xEF, 0x02, 0x01, 0x40]) + struct.pack("<HH", 0x1D6B, 0x0102) + \
        bytes([0x00, 0x01, 0x01, 0x02, 0x03, 0x01])


def configuration(value, body):
    return bytes([9, 0x02]) + struct.pack("<H", 9 + len(body)) + bytes([0x02, value, 0, 0x80, 0xFA]) + body


def interface(number, alt, subclass):
    return bytes([9, 0x04, number, alt, 1, 0x0E, subclass, 0, 0])


def header(streaming):
    return with_length(bytes([0x24, 0x01]) + struct.pack("<HH", 0x0110, 0) + bytes([0x80, 0x8D, 0x5B, 0x00]) +
                       bytes([len(streaming)]) + bytes(streaming))


def unit(uid, guid, controls, sources=(1,)):
    body = bytes([0x24, 0x06, uid]) + guid + bytes([len(controls) * 8, len(sources)]) + bytes(sources) + \
        bytes([len(controls)]) + bytes(controls) + b"\0"
    return with_length(body)


def function(control, units):
    s = control + 1
    return (bytes([8, 0x0B, control, 2, 0x0E, 0x03, 0, 2]) + interface(control, 0, 1) + header([s]) +
            bytes([18, 0x24, 0x02, 1, 1, 2] + [0] * 12) + units + bytes([9, 0x24, 0x03, 9, 1, 1, 0, 1, 0]) +
            bytes([7, 0x05, 0x83, 0x03, 0x10, 0, 6]) + interface(s, 0, 2) + interface(s, 1, 2) +
            bytes([7, 0x05, 0x81, 0x05, 0x00, 0x04, 1]))


other = bytes(range(0x10, 0x20))
cam = device() + configuration(1, function(0, unit(4, other, [0x0F]) + unit(6, UNIT_GUID, [0x7D, 0x00, 0x00])))
write("uvc_descriptors", "camera", bytes([1]) + cam)
write("uvc_descriptors", "other-configuration", bytes([2]) + cam)
write("uvc_descriptors", "two-functions",
      bytes([1]) + device() + configuration(1, function(0, unit(6, UNIT_GUID, [0x3F])) +
                                            function(2, unit(3, UNIT_GUID, [0x01, 0x80]))))
write("uvc_descriptors", "two-configurations",
      bytes([2]) + device() + configuration(1, function(0, b"")) + configuration(2, function(0, unit(6, UNIT_GUID, [0xFF]))))
bad = bytearray(cam)
bad[-30] = 0xF0  # a length that runs past the end
write("uvc_descriptors", "bad-length", bytes([1]) + bytes(bad))
write("uvc_descriptors", "truncated", bytes([1]) + cam[:60])


# --- scenarios (cameras.json) ---

full = {
    "clock": "virtual", "latency_us": 0, "trace": "trace.txt",
    "cameras": [{
        "name": "USB 2.0 Camera", "path": "usb#vid_1d6b&pid_0102&mi_00#6&1a2b3c4d&0&0000",
        "bind": True, "nodes": 4, "xu_node": 2, "dev_specific_nodes": [3],
        "registers": {"0x101F": "0x40", "0x80F0": "0x88", "0x05F0": 7},
        "read_only": {"0x1185": "0x70"}, "arch": 1, "command_registers": True,
        "rom": {"address": "0xAFF8", "code": "QMCT0", "version": 1, "byte6": "0x46", "byte7": 0,
                "reply_count": 8},
        "memory_type": 0,
        "flash": {"file": "cam0.bin", "size": "0x40000",
                  "ids": {"9F": "c2 20 13", "15": "", "90": "c2 12", "AB": "c2 12"},
                  "status": "0x1c", "program_command": "0x02", "write_enable_command": "0x06",
                  "erase_ms": 200},
        "faults": {"fail_at": [3, 7], "unplug_at": 0, "hang_at": [5], "hang_ms": 5000},
        "latency_us": 500}]}
write("scenario", "full", json.dumps(full, indent=1))
write("scenario", "empty", '{"cameras": []}')
write("scenario", "two-cameras", json.dumps({"clock": "real", "cameras": [
    {"name": "A", "xu_node": -1}, {"path": "p", "nodes": 0, "xu_node": -1, "flash": {"size": 1}}]}))
write("scenario", "bad-number", '{"cameras": [{"flash": {"size": "abc"}}]}')
write("scenario", "unknown-field", '{"cameras": [{"nmae": "x"}]}')
write("scenario", "syntax", '{"cameras": [')
write("scenario", "camera-only", json.dumps(full["cameras"][0]))


# --- version text: [0x101F, 0x80F0, ROM address index, code x5, version, byte6, flags] + flash ---

def version_input(r101f, r80f0, rom_index, code, version, byte6, flags, flash):
    return bytes([r101f, r80f0, rom_index]) + code.encode().ljust(5, b"\0")[:5] + \
        bytes([version, byte6, flags]) + flash


fields = b"2411ADEMO------QUILLON---2411281030"
write("version_text", "chip88-formatted", version_input(0x00, 0x88, 5, "QMCT0", 1, 0x46, 0, fields))
write("version_text", "chip88-raw", version_input(0x00, 0x88, 5, "QMCT0", 1, 0x46, 1, fields))
write("version_text", "chip16-qmbg", version_input(0x16, 0x00, 2, "QMBG0", 1, 0, 0, fields[::-1]))
write("version_text", "chip15-qmbh", version_input(0x15, 0x00, 0, "QMBH0", 1, 0, 0, b"-" * 7 + fields))
write("version_text", "chip32-rom2", version_input(0x32, 0x00, 3, "QMBP0", 2, 0, 1, fields))
write("version_text", "no-rom", version_input(0x85, 0x00, 6, "", 0, 0, 0, fields))
write("version_text", "unknown-chip", version_input(0x00, 0x00, 5, "QMCT0", 1, 0x46, 0, fields))
write("version_text", "short-buffer", version_input(0x00, 0x89, 5, "QMCT0", 1, 0x46, 2, fields))
