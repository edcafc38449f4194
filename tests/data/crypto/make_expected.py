#!/usr/bin/python3
"""Writes expected.txt: what the encrypted fixtures' Workbook streams decrypt to.

RC4 and CryptoAPI RC4 files are decrypted by msoffcrypto-tool. It cannot decrypt XOR
obfuscation, so the XOR file is decrypted by the small independent routine below, and the
result only counts once xlrd opens it and reads its cells.

Rather than whole streams, the file holds one SHA-256 per 1024-byte block of stream
position (the unit in which RC4 is re-keyed), over the bytes after the FILEPASS record, so a
failing test points at the block that went wrong.

Run with Debian's python (it has olefile, msoffcrypto and xlrd):
    /usr/bin/python3 tests/data/crypto/make_expected.py
"""
import hashlib
import io
import os
import struct
import sys
import tempfile

import msoffcrypto
import olefile
import xlrd

FIXTURES = os.path.normpath(os.path.join(os.path.dirname(__file__), "../../../../shared/fixtures/xls"))
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "expected.txt")
BLOCK = 1024
FILEPASS = 0x002F

RC4_FILES = [
    ("encrypted_rc4_default_password_excel2003.xls", "VelvetSweatshop"),
    ("encrypted_rc4_cryptoapi_default_password_excel2016.xls", "VelvetSweatshop"),
    ("encrypted_rc4_cryptoapi_password_11.xls", "11"),
    ("encrypted_rc4_password_password.xls", "password"),
]
XOR_FILES = [("encrypted_xor_password_abc.xls", "abc")]

NEVER_ENCRYPTED = {0x0809, 0x002F, 0x0194, 0x0195, 0x00E1, 0x0196, 0x0138}
BOUNDSHEET = 0x0085


def workbook_stream(data):
    ole = olefile.OleFileIO(io.BytesIO(data))
    return ole.openstream("Workbook").read()


def records(stream):
    pos = 0
    while pos + 4 <= len(stream):
        rtype, size = struct.unpack_from("<HH", stream, pos)
        yield pos, rtype, size
        pos += 4 + size


def filepass_position(stream):
    for pos, rtype, size in records(stream):
        if rtype == FILEPASS:
            return pos, pos + 4 + size
    sys.exit("no FILEPASS record")


# --- XOR obfuscation, method 1 (only used to make the expectations) -----------------------
INITIAL_CODE = [0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C, 0x0E10, 0xF1CE, 0x313E, 0x1872,
                0xE139, 0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3]
MATRIX = [
    0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09, 0x7B61, 0xF6C2, 0xFDA5, 0xEB6B,
    0xC6F7, 0x9DCF, 0x2BBF, 0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0, 0x0375,
    0x06EA, 0x0DD4, 0x1BA8, 0x3750, 0x6EA0, 0xDD40, 0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D,
    0xAA7A, 0x44D5, 0x6F45, 0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A, 0xEB23, 0xC667,
    0x9CEF, 0x29FF, 0x53FE, 0xA7FC, 0x5FD9, 0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68,
    0xF6D0, 0xB861, 0x60E3, 0xC1C6, 0x93AD, 0x377B, 0x6EF6, 0xDDEC, 0x45A0, 0x8B40, 0x06A1,
    0x0D42, 0x1A84, 0x3508, 0x6A10, 0xAA51, 0x4483, 0x8906, 0x022D, 0x045A, 0x08B4, 0x1168,
    0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C, 0x3730, 0x6E60, 0xDCC0, 0xA9A1,
    0x4363, 0x86C6, 0x1DAD, 0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373, 0x06E6, 0x0DCC, 0x1021,
    0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4]
PAD = [0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80, 0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00]


def rotl8(value, n):
    return ((value << n) | (value >> (8 - n))) & 0xFF


def xor_key(pw):
    key = INITIAL_CODE[len(pw) - 1]
    for i, ch in enumerate(pw):
        row = 15 - len(pw) + i
        for bit in range(7):
            if ch >> bit & 1:
                key ^= MATRIX[row * 7 + bit]
    return key


def xor_verifier(pw):
    verifier = 0
    for byte in list(reversed(pw)) + [len(pw)]:
        verifier = (((verifier >> 14) & 1) | ((verifier << 1) & 0x7FFF)) ^ byte
    return verifier ^ 0xCE4B


def xor_decrypt(stream, password):
    pw = password.encode("ascii")
    pos, end = filepass_position(stream)
    key, verifier = struct.unpack_from("<HH", stream, pos + 6)
    assert (key, verifier) == (xor_key(pw), xor_verifier(pw)), "XOR password does not match"
    base = list(pw) + PAD[: 16 - len(pw)]
    xor_array = [rotl8(base[i] ^ (key >> (8 * (i & 1)) & 0xFF), 2) for i in range(16)]
    out = bytearray(stream)
    for rpos, rtype, size in records(stream):
        if rpos < end or rtype in NEVER_ENCRYPTED:
            continue
        first = rpos + 4 + (4 if rtype == BOUNDSHEET else 0)
        for p in range(first, min(rpos + 4 + size, len(out))):
            out[p] = rotl8(out[p], 3) ^ xor_array[(p + size) & 15]
    return bytes(out)


def check_with_xlrd(original_file, decrypted_stream):
    """Puts the decrypted stream back (FILEPASS blanked) and lets xlrd read every cell."""
    pos, end = filepass_position(decrypted_stream)
    blanked = bytearray(decrypted_stream)
    blanked[pos:pos + 2] = bytes(2)  # type 0, length kept: xlrd skips it
    blanked[pos + 4:end] = bytes(end - pos - 4)
    with tempfile.NamedTemporaryFile(suffix=".xls") as tmp:
        with open(original_file, "rb") as f:
            tmp.write(f.read())
        tmp.flush()
        ole = olefile.OleFileIO(tmp.name, write_mode=True)
        ole.write_stream("Workbook", bytes(blanked))
        ole.close()
        book = xlrd.open_workbook(tmp.name)
        cells = sum(book.sheet_by_index(i).nrows * book.sheet_by_index(i).ncols
                    for i in range(book.nsheets))
        print(f"  xlrd: {book.nsheets} sheet(s) {book.sheet_names()}, {cells} cell slot(s)")


def block_hashes(stream, start):
    for block in range(start // BLOCK, (len(stream) + BLOCK - 1) // BLOCK):
        lo, hi = max(block * BLOCK, start), min((block + 1) * BLOCK, len(stream))
        yield block, hashlib.sha256(stream[lo:hi]).hexdigest()


def main():
    lines = ["# Written by make_expected.py; do not edit.",
             "# fixture <file> <password> <filepass offset> <end of filepass> <stream size>",
             "# block <n> <SHA-256 of decrypted bytes [max(n*1024, end of filepass), min((n+1)*1024, size))>"]
    jobs = [(name, pw, "rc4") for name, pw in RC4_FILES] + [(name, pw, "xor") for name, pw in XOR_FILES]
    for name, password, kind in jobs:
        path = os.path.join(FIXTURES, name)
        with open(path, "rb") as f:
            raw = f.read()
        encrypted = workbook_stream(raw)
        if kind == "rc4":
            office = msoffcrypto.OfficeFile(io.BytesIO(raw))
            office.load_key(password=password)
            out = io.BytesIO()
            office.decrypt(out)
            decrypted = workbook_stream(out.getvalue())
        else:
            decrypted = xor_decrypt(encrypted, password)
            check_with_xlrd(path, decrypted)
        assert len(decrypted) == len(encrypted)
        pos, end = filepass_position(encrypted)
        print(f"{name}: FILEPASS at {pos}, {len(decrypted)} bytes")
        lines.append(f"fixture {name} {password} {pos} {end} {len(decrypted)}")
        lines += [f"block {n} {digest}" for n, digest in block_hashes(decrypted, end)]
    with open(OUT, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
