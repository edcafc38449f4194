#!/usr/bin/env python3
"""Generates the code page tables of the .xls engine from Python's codecs.

Writes
  spreadsheet/xls/codepage_tables.cpp   the decoding tables (see codepage_tables.h)
  tests/data/text/codepage_samples.tsv  byte strings with their text, for text_encoding_test

Regenerate from the repository root with
  python3 tools/gen_codepage_tables.py
Both outputs are committed; run this again only when a code page is added or changed.

Python's codecs are the reference, with one change: Windows code page 936 maps the single
byte 0x80 to the euro sign, which Python's cp936 leaves undefined.
"""

import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TABLES_PATH = os.path.join(ROOT, "spreadsheet", "xls", "codepage_tables.cpp")
SAMPLES_PATH = os.path.join(ROOT, "tests", "data", "text", "codepage_samples.tsv")

UNMAPPED = 0xFFFD
LEAD_BYTE = 0xFFFF
RUN_TOKEN = 0xD800
HOLE_TOKEN = 0xDC00
MAX_TOKEN_COUNT = 0x400

SINGLE_BYTE_PAGES = [
    (367, "ascii"), (437, "cp437"), (720, "cp720"), (737, "cp737"), (775, "cp775"),
    (850, "cp850"), (852, "cp852"), (855, "cp855"), (857, "cp857"), (858, "cp858"),
    (860, "cp860"), (861, "cp861"), (862, "cp862"), (863, "cp863"), (864, "cp864"),
    (865, "cp865"), (866, "cp866"), (869, "cp869"), (874, "cp874"),
    (1250, "cp1250"), (1251, "cp1251"), (1252, "cp1252"), (1253, "cp1253"),
    (1254, "cp1254"), (1255, "cp1255"), (1256, "cp1256"), (1257, "cp1257"),
    (1258, "cp1258"),
    (10000, "mac_roman"), (10006, "mac_greek"), (10007, "mac_cyrillic"),
    (10029, "mac_latin2"), (10079, "mac_iceland"), (10081, "mac_turkish"),
]

# Lead byte ranges as Windows defines them; a lead byte outside the mapped grid still
# swallows its trail byte.
DOUBLE_BYTE_PAGES = [
    (932, "cp932", [(0x81, 0x9F), (0xE0, 0xFC)]),
    (936, "cp936", [(0x81, 0xFE)]),
    (949, "cp949", [(0x81, 0xFE)]),
    (950, "cp950", [(0x81, 0xFE)]),
    (1361, "johab", [(0x84, 0xD3), (0xD8, 0xDE), (0xE0, 0xF9)]),
]
SINGLE_BYTE_OVERRIDES = {936: {0x80: 0x20AC}}

# Code pages Excel writes that mean another one.
ALIASES = [(32768, 10000), (32769, 1252)]

# Text every reader of these pages must get right, beyond the table samples.
NAMED_SAMPLES = {
    936: ["资产负债表", "合计", "汇总", "丂亐乚", "龥郎凉秊裏隣", "年度报表（单位：元）"],
    950: ["報表", "資產負債表", "合計", "年度彙總"],
    932: ["カタカナと漢字", "ｶﾀｶﾅ", "売上合計", "①②Ⅲ㈱", "ひらがな・表"],
    949: ["대차대조표", "합계", "똠방각하", "漢字", "뷁"],
    1361: ["대차대조표", "합계", "똠방각하"],
    1253: ["Ισολογισμός", "Σύνολο"],
    1251: ["Баланс", "Итого"],
    10000: ["Café – “quoted” ©", "Œuvre ƒ ∞"],
    32768: ["Café ∑"],
    32769: ["Café € œ"],
}
# Byte strings whose text Python's codec cannot produce.
EXTRA_SAMPLES = [(936, b"\x80", "€"), (936, b"\x80100\xba\xcf\xbc\xc6", "€100合计")]


def decode(codec, data):
    try:
        return data.decode(codec)
    except UnicodeDecodeError:
        return None


def single_byte_map(code_page, codec):
    """Byte -> code unit for every byte that decodes on its own."""
    result = {}
    for byte in range(256):
        text = decode(codec, bytes([byte]))
        if text is not None:
            assert len(text) == 1, (code_page, byte)
            result[byte] = ord(text)
    result.update(SINGLE_BYTE_OVERRIDES.get(code_page, {}))
    return result


def singles_table(singles, lead_bytes=()):
    low_is_ascii = all(singles.get(b) == b for b in range(0x80))
    first = 0x80 if low_is_ascii else 0x00
    table = []
    for byte in range(first, 256):
        if byte in lead_bytes:
            table.append(LEAD_BYTE)
        else:
            table.append(singles.get(byte, UNMAPPED))
    return first, table


def check_unit(unit, where):
    assert unit <= 0xFFFF and not (0xD800 <= unit < 0xE000), where
    assert unit not in (UNMAPPED, LEAD_BYTE), where


def pair_map(code_page, codec, lead_bytes):
    pairs = {}
    for lead in lead_bytes:
        for trail in range(0x21, 0x100):
            text = decode(codec, bytes([lead, trail]))
            if text is not None and len(text) == 1:
                check_unit(ord(text), (code_page, lead, trail))
                pairs[(lead, trail)] = ord(text)
    # Every two-byte character must start with a declared lead byte.
    for lead in range(0x80, 0x100):
        if lead not in lead_bytes:
            for trail in range(0x21, 0x100):
                text = decode(codec, bytes([lead, trail]))
                assert text is None or len(text) == 2, (code_page, lead, trail)
    return pairs


def pack(cells):
    """Run-length packing described in codepage_tables.h."""
    tokens = []
    i = 0
    while i < len(cells):
        if cells[i] == UNMAPPED:
            n = 1
            while i + n < len(cells) and cells[i + n] == UNMAPPED and n < MAX_TOKEN_COUNT:
                n += 1
            tokens.append(HOLE_TOKEN + n - 1)
            i += n
            continue
        tokens.append(cells[i])
        i += 1
        n = 0
        while (i + n < len(cells) and n < MAX_TOKEN_COUNT
               and cells[i + n] != UNMAPPED and cells[i + n] == cells[i + n - 1] + 1):
            n += 1
        if n:
            tokens.append(RUN_TOKEN + n - 1)
            i += n
    return tokens


def unpack(tokens):
    cells = []
    for token in tokens:
        if HOLE_TOKEN <= token < 0xE000:
            cells.extend([UNMAPPED] * (token - HOLE_TOKEN + 1))
        elif RUN_TOKEN <= token < HOLE_TOKEN:
            for _ in range(token - RUN_TOKEN + 1):
                cells.append(cells[-1] + 1)
        else:
            cells.append(token)
    return cells


def encoded_bytes(codec, code_page, text):
    if code_page == 936 and text == "\u20ac":
        return b"\x80"
    try:
        return text.encode(codec)
    except UnicodeEncodeError:
        return None


def format_numbers(values, fmt, indent="    ", width=100):
    lines, line = [], indent
    for value in values:
        item = fmt(value) + ","
        if len(line) + len(item) > width:
            lines.append(line.rstrip())
            line = indent
        line += item
    if line.strip():
        lines.append(line.rstrip())
    return "\n".join(lines)


def build():
    codecs_by_page = {cp: codec for cp, codec in SINGLE_BYTE_PAGES}
    codecs_by_page.update({cp: codec for cp, codec, _ in DOUBLE_BYTE_PAGES})
    out = []
    samples = []
    out.append("// Generated by tools/gen_codepage_tables.py from Python's codecs; do not edit.\n"
               "// Regenerate with: python3 tools/gen_codepage_tables.py\n"
               "// Single-byte tables hold the units of bytes 0x80-0xFF (0x00-0xFF where the low\n"
               "// half is not ASCII); double-byte grids are packed as codepage_tables.h describes.\n"
               '#include "spreadsheet/xls/codepage_tables.h"\n\n'
               "#include <array>\n\n"
               "namespace sbx::xls::codepages {\n"
               "namespace {\n")
    entries = {}
    for code_page, codec in SINGLE_BYTE_PAGES:
        singles = single_byte_map(code_page, codec)
        for unit in singles.values():
            assert unit not in (UNMAPPED, LEAD_BYTE) and not (0xD800 <= unit < 0xE000)
        first, table = singles_table(singles)
        name = f"kSingles{code_page}"
        out.append(f"\n// {code_page}: Python '{codec}'\n"
                   f"constexpr char16_t {name}[{len(table)}] = {{\n"
                   + format_numbers(table, lambda v: f"0x{v:04X}") + "\n};\n")
        entries[code_page] = (first, name, -1)
        # The whole upper half (and any non-ASCII lower byte) in one line.
        data = bytes(b for b in range(256) if b in singles and (b >= 0x80 or singles[b] != b))
        if code_page == 367:
            data = b"Plain ASCII ~!"
        if data:
            samples.append((code_page, data, data.decode(codec)))

    double_tables = []
    for index, (code_page, codec, lead_ranges) in enumerate(DOUBLE_BYTE_PAGES):
        lead_bytes = {b for lo, hi in lead_ranges for b in range(lo, hi + 1)}
        singles = single_byte_map(code_page, codec)
        assert not (lead_bytes & singles.keys()), code_page
        first, table = singles_table(singles, lead_bytes)
        assert first == 0x80, code_page
        pairs = pair_map(code_page, codec, lead_bytes)
        lead_first = min(lead for lead, _ in pairs)
        lead_last = max(lead for lead, _ in pairs)
        trail_first = min(trail for _, trail in pairs)
        trail_last = max(trail for _, trail in pairs)
        cells = [pairs.get((lead, trail), UNMAPPED)
                 for lead in range(lead_first, lead_last + 1)
                 for trail in range(trail_first, trail_last + 1)]
        tokens = pack(cells)
        assert unpack(tokens) == cells, code_page

        # The encoder takes the lowest byte sequence of a unit; list where Python differs.
        by_unit = {}
        for byte, unit in sorted(singles.items()):
            by_unit.setdefault(unit, (byte,))
        for (lead, trail), unit in sorted(pairs.items()):
            by_unit.setdefault(unit, (lead, trail))
        preferred = []
        for unit, lowest in sorted(by_unit.items()):
            wanted = encoded_bytes(codec, code_page, chr(unit))
            assert wanted is not None and decode(codec, wanted) == chr(unit) or unit == 0x20AC
            if wanted != bytes(lowest):
                assert len(wanted) == 2, (code_page, unit)
                preferred.append((unit, wanted[0] << 8 | wanted[1]))

        singles_name = f"kSingles{code_page}"
        out.append(f"\n// {code_page}: Python '{codec}'\n"
                   f"constexpr char16_t {singles_name}[128] = {{\n"
                   + format_numbers(table, lambda v: f"0x{v:04X}") + "\n};\n"
                   f"constexpr uint16_t kPacked{code_page}[{len(tokens)}] = {{\n"
                   + format_numbers(tokens, str) + "\n};\n")
        preferred_name = "{}"
        if preferred:
            preferred_name = f"kPreferred{code_page}"
            out.append(f"constexpr PreferredEncoding {preferred_name}[{len(preferred)}] = {{\n"
                       + format_numbers(preferred, lambda p: f"{{0x{p[0]:04X},0x{p[1]:04X}}}")
                       + "\n};\n")
        double_tables.append(f"    DoubleByteTable{{0x{lead_first:02X}, 0x{lead_last:02X}, "
                             f"0x{trail_first:02X}, 0x{trail_last:02X}, kPacked{code_page}, "
                             f"{preferred_name}}},  // {code_page}")
        entries[code_page] = (0x80, singles_name, index)

        # Samples: named text, an even spread over the grid, the preferred encodings.
        for text in NAMED_SAMPLES.get(code_page, []):
            data = encoded_bytes(codec, code_page, text)
            assert data is not None and decode(codec, data) == text, (code_page, text)
            samples.append((code_page, data, text))
        round_trip = [(lead, trail) for (lead, trail), unit in sorted(pairs.items())
                      if encoded_bytes(codec, code_page, chr(unit)) == bytes([lead, trail])]
        spread = round_trip[::max(1, len(round_trip) // 160)]
        for start in range(0, len(spread), 40):
            chunk = spread[start:start + 40]
            data = b"".join(bytes(pair) for pair in chunk)
            samples.append((code_page, data, decode(codec, data)))
        for unit, value in preferred:
            samples.append((code_page, bytes([value >> 8, value & 0xFF]), chr(unit)))
        single_data = bytes(b for b in sorted(singles) if b >= 0x80)
        if single_data:
            samples.append((code_page, single_data, "".join(chr(singles[b]) for b in single_data)))

    assert len(DOUBLE_BYTE_PAGES) == 5  # kDoubleByteTableCount
    for code_page, target in ALIASES:
        entries[code_page] = entries[target]
    for code_page in (1253, 1251, 10000, 32768, 32769):
        codec = codecs_by_page.get(code_page) or codecs_by_page[dict(ALIASES)[code_page]]
        for text in NAMED_SAMPLES[code_page]:
            samples.append((code_page, text.encode(codec), text))
    samples.extend(EXTRA_SAMPLES)

    out.append("\nconstexpr std::array<DoubleByteTable, kDoubleByteTableCount> kDoubleByteTables{\n"
               + "\n".join(double_tables) + "\n};\n")
    rows = [f"    CodePageTable{{{cp}, 0x{first:02X}, {name}, {index}}},"
            for cp, (first, name, index) in sorted(entries.items())]
    out.append(f"\nconstexpr CodePageTable kCodePageTables[{len(rows)}] = {{\n"
               + "\n".join(rows) + "\n};\n\n"
               "}  // namespace\n\n"
               "std::span<const CodePageTable> codePageTables() { return kCodePageTables; }\n\n"
               "std::span<const DoubleByteTable, kDoubleByteTableCount> doubleByteTables() {\n"
               "    return kDoubleByteTables;\n"
               "}\n\n"
               "}  // namespace sbx::xls::codepages\n")
    return "".join(out), samples


def write_samples(samples):
    lines = ["# Generated by tools/gen_codepage_tables.py from Python's codecs; do not edit.\n",
             "# code page<TAB>bytes in hex<TAB>the text they decode to (UTF-8). Every line also\n",
             "# round-trips: encoding the text in that code page gives the same bytes.\n"]
    for code_page, data, text in samples:
        assert "\t" not in text and "\n" not in text
        lines.append(f"{code_page}\t{data.hex()}\t{text}\n")
    os.makedirs(os.path.dirname(SAMPLES_PATH), exist_ok=True)
    with open(SAMPLES_PATH, "w", encoding="utf-8", newline="\n") as f:
        f.writelines(lines)


def main():
    source, samples = build()
    with open(TABLES_PATH, "w", encoding="utf-8", newline="\n") as f:
        f.write(source)
    write_samples(samples)
    print(f"wrote {TABLES_PATH} ({len(source)} bytes) and {SAMPLES_PATH} ({len(samples)} lines)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
