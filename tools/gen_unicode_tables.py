#!/usr/bin/env python3
"""Writes src/categorizer/text/unicode_tables.{hpp,cpp} from the Unicode Character Database.

Reads UnicodeData.txt, SpecialCasing.txt and DerivedCoreProperties.txt (Debian's
unicode-data package installs them under /usr/share/unicode) and writes three-stage
lookup tables for src/categorizer/text/unicode.hpp: the header holds the tables' shape
(shifts and masks), the flag bits, the record type and the tables' declarations; the
source file holds the tables:

- the full lowercase mapping: SpecialCasing's unconditional lower mapping where there is
  one (entries with a condition, language or Final_Sigma, are left out), else the simple
  lowercase mapping of UnicodeData.txt, else the character itself;
- the Cased and Case_Ignorable properties (for the Final_Sigma context);
- "alphanumeric": the Alphabetic property, or general category Nd, Nl or No.

Before it finishes, the script reads the written files back, looks every code point up
through the same three stages that unicode.hpp uses, with the shifts, masks and flag
bits the header declares, and checks the result against the source data; any
difference is an error and the exit status is non-zero.

Usage (from the repository root):
    python3 tools/gen_unicode_tables.py --ucd /usr/share/unicode
"""

import argparse
import os
import re
import shlex
import sys

MAX_CP = 0x10FFFF
N_CP = MAX_CP + 1

# The shape of the tables, written to the header as tables::kLowShift and so on.
LOW_SHIFT = 4
MID_SHIFT = 5
HIGH_SHIFT = LOW_SHIFT + MID_SHIFT

CASED, CASE_IGNORABLE, ALPHANUMERIC = 1, 2, 4
NUMERIC_CATEGORIES = ("Nd", "Nl", "No")

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_OUTPUT = os.path.join(REPO, "src", "categorizer", "text")
HEADER, SOURCE = "unicode_tables.hpp", "unicode_tables.cpp"


# ---- reading the database ------------------------------------------------------------

def data_lines(path):
    """Yields the fields of each non-comment line of a UCD file."""
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                yield [field.strip() for field in line.split(";")]


def file_version(path):
    """The version in a UCD file's first line, e.g. '# SpecialCasing-15.0.0.txt'."""
    with open(path, encoding="utf-8") as f:
        m = re.match(r"#\s*\S+-(\d+\.\d+\.\d+)\.txt", f.readline())
    return m.group(1) if m else None


def read_unicode_data(path):
    """General category and simple lowercase mapping of every code point."""
    category = ["Cn"] * N_CP
    simple_lower = list(range(N_CP))
    range_start = None
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split(";")
            cp, name, gc = int(fields[0], 16), fields[1], fields[2]
            if name.endswith(", First>"):
                range_start = cp
                continue
            if name.endswith(", Last>"):
                for c in range(range_start, cp + 1):
                    category[c] = gc
                range_start = None
                continue
            category[cp] = gc
            if fields[13]:
                simple_lower[cp] = int(fields[13], 16)
    return category, simple_lower


def read_special_lower(path):
    """The unconditional lower mappings of SpecialCasing.txt: cp -> tuple of cps."""
    mappings = {}
    for fields in data_lines(path):
        conditions = fields[4] if len(fields) > 4 else ""
        if conditions:
            continue
        mappings[int(fields[0], 16)] = tuple(int(x, 16) for x in fields[1].split())
    return mappings


def read_properties(path, names):
    """The code points of each named binary property of a derived property file."""
    found = {name: bytearray(N_CP) for name in names}
    for fields in data_lines(path):
        if fields[1] not in found:
            continue
        first, _, last = fields[0].partition("..")
        first = int(first, 16)
        last = int(last, 16) if last else first
        found[fields[1]][first:last + 1] = b"\1" * (last - first + 1)
    return found


def expected_data(ucd):
    """Per code point: (lowercase tuple, flags), straight from the source files."""
    category, simple_lower = read_unicode_data(os.path.join(ucd, "UnicodeData.txt"))
    special = read_special_lower(os.path.join(ucd, "SpecialCasing.txt"))
    props = read_properties(os.path.join(ucd, "DerivedCoreProperties.txt"),
                            ("Alphabetic", "Cased", "Case_Ignorable"))
    lower, flags = [], []
    for cp in range(N_CP):
        lower.append(special.get(cp, (simple_lower[cp],)))
        f = 0
        if props["Cased"][cp]:
            f |= CASED
        if props["Case_Ignorable"][cp]:
            f |= CASE_IGNORABLE
        if props["Alphabetic"][cp] or category[cp] in NUMERIC_CATEGORIES:
            f |= ALPHANUMERIC
        flags.append(f)
    return lower, flags


# ---- building the tables -------------------------------------------------------------

def split_blocks(values, shift):
    """Cuts values into blocks of 1 << shift, shares equal blocks; returns (index, blocks)."""
    size = 1 << shift
    assert len(values) % size == 0
    seen, index, blocks = {}, [], []
    for start in range(0, len(values), size):
        block = tuple(values[start:start + size])
        if block not in seen:
            seen[block] = len(blocks) // size
            blocks.extend(block)
        index.append(seen[block])
    return index, blocks


def build_tables(lower, flags):
    expansions = []
    records = {(0, 0, 0): 0}  # record 0: no mapping, no flags (also used past U+10FFFF)
    record_of = []
    for cp in range(N_CP):
        seq = lower[cp]
        if len(seq) == 1:
            key = (seq[0] - cp, 0, flags[cp])
        else:
            assert 1 < len(seq) <= 3 and 0 not in seq, (hex(cp), seq)
            if seq not in expansions:
                expansions.append(seq)
            key = (0, expansions.index(seq) + 1, flags[cp])
        record_of.append(records.setdefault(key, len(records)))
    props = sorted(records, key=records.get)
    mid, stage3 = split_blocks(record_of, LOW_SHIFT)
    stage1, stage2 = split_blocks(mid, MID_SHIFT)
    assert len(stage1) == (MAX_CP >> HIGH_SHIFT) + 1
    assert max(stage1) < 256, "stage1 no longer fits uint8_t"
    assert max(stage2) < 65536, "stage2 no longer fits uint16_t"
    assert len(props) <= 256, "stage3 no longer fits uint8_t"
    assert len(expansions) < 256, "lower_expansion no longer fits uint8_t"
    return stage1, stage2, stage3, props, expansions


# ---- writing and re-reading ----------------------------------------------------------

def format_array(values, per_line, fmt=str):
    lines = []
    for start in range(0, len(values), per_line):
        lines.append("    " + ", ".join(fmt(v) for v in values[start:start + per_line]) + ",")
    return "\n".join(lines)


def banner(version, command):
    return [
        "// Generated by tools/gen_unicode_tables.py from the Unicode Character Database "
        f"{version}",
        "// (UnicodeData.txt, SpecialCasing.txt, DerivedCoreProperties.txt). Do not edit by hand;",
        "// regenerate with:",
        f"//   {command}",
    ]


def render_header(version, command, stage1, stage2, stage3, props, expansions):
    padded_rows = max(len(expansions), 1)
    parts = banner(version, command) + [
        "//",
        "// The shape of the tables in unicode_tables.cpp, the flags of their records, and",
        "// their declarations.",
        "#pragma once",
        "",
        "#include <cstdint>",
        "",
        "namespace lorvane::categorizer::unicode {",
        "",
        f"inline constexpr char32_t kMaxCodePoint = 0x{MAX_CP:X};",
        "",
        "// Bits of CharProps::flags.",
        "enum CharFlag : std::uint8_t {",
        f"    kCased = {CASED},",
        f"    kCaseIgnorable = {CASE_IGNORABLE},",
        f"    kAlphanumeric = {ALPHANUMERIC},",
        "};",
        "",
        "// One distinct combination of a character's data; most characters share a handful.",
        "struct CharProps {",
        "    std::int32_t lower_delta;      // lowercase is cp + lower_delta (when no expansion)",
        "    std::uint8_t lower_expansion;  // 0, or 1 + the row of tables::lower_expansions",
        "    std::uint8_t flags;            // CharFlag bits",
        "};",
        "",
        "namespace tables {",
        "",
        "// Three stages: cp >> kHighShift picks a block of stage2, whose entry for",
        "// (cp >> kLowShift) & kMidMask picks a block of stage3, whose entry for cp & kLowMask",
        "// picks a record of props.",
        f"inline constexpr unsigned kLowShift = {LOW_SHIFT};",
        f"inline constexpr unsigned kMidShift = {MID_SHIFT};",
        f"inline constexpr unsigned kHighShift = {HIGH_SHIFT};",
        f"inline constexpr char32_t kLowMask = 0x{(1 << LOW_SHIFT) - 1:X};",
        f"inline constexpr char32_t kMidMask = 0x{(1 << MID_SHIFT) - 1:X};",
        "",
        "extern const char unicode_version[];",
        f"extern const std::uint8_t stage1[{len(stage1)}];",
        f"extern const std::uint16_t stage2[{len(stage2)}];",
        f"extern const std::uint8_t stage3[{len(stage3)}];",
        f"extern const CharProps props[{len(props)}];",
        "// Multi-character lowercase mappings, padded with zeros.",
        f"extern const char32_t lower_expansions[{padded_rows}][3];",
        "",
        "}  // namespace tables",
        "",
        "}  // namespace lorvane::categorizer::unicode",
        "",
    ]
    return "\n".join(parts)


def render_source(version, command, stage1, stage2, stage3, props, expansions):
    hexcp = "0x{:04X}".format
    padded = [tuple(seq) + (0,) * (3 - len(seq)) for seq in expansions] or [(0, 0, 0)]
    parts = banner(version, command) + [
        f'#include "categorizer/text/{HEADER}"',
        "",
        "namespace lorvane::categorizer::unicode::tables {",
        "",
        f'const char unicode_version[] = "{version}";',
        "",
        f"const std::uint8_t stage1[{len(stage1)}] = {{",
        format_array(stage1, 24),
        "};",
        "",
        f"const std::uint16_t stage2[{len(stage2)}] = {{",
        format_array(stage2, 16),
        "};",
        "",
        f"const std::uint8_t stage3[{len(stage3)}] = {{",
        format_array(stage3, 24),
        "};",
        "",
        "// {lower_delta, lower_expansion, flags}; flags: 1 cased, 2 case-ignorable, 4 alphanumeric",
        f"const CharProps props[{len(props)}] = {{",
        format_array(props, 6, lambda r: "{%d, %d, %d}" % r),
        "};",
        "",
        f"const char32_t lower_expansions[{len(padded)}][3] = {{",
        format_array(padded, 4, lambda row: "{" + ", ".join(hexcp(c) for c in row) + "}"),
        "};",
        "",
        "}  // namespace lorvane::categorizer::unicode::tables",
        "",
    ]
    return "\n".join(parts)


def parse_array(text, name):
    m = re.search(name + r"\[\d+\](?:\[3\])? = \{\n(.*?)\n\};", text, re.S)
    if not m:
        raise SystemExit(f"verification: array {name} not found in the written file")
    return m.group(1)


def reread(text):
    """The arrays of a written file, as Python lists."""
    ints = lambda body: [int(x, 0) for x in re.findall(r"-?(?:0x[0-9A-F]+|\d+)", body)]
    stage1 = ints(parse_array(text, "stage1"))
    stage2 = ints(parse_array(text, "stage2"))
    stage3 = ints(parse_array(text, "stage3"))
    flat = ints(parse_array(text, "props"))
    props = [tuple(flat[i:i + 3]) for i in range(0, len(flat), 3)]
    flat = ints(parse_array(text, "lower_expansions"))
    expansions = [tuple(c for c in flat[i:i + 3] if c) for i in range(0, len(flat), 3)]
    return stage1, stage2, stage3, props, expansions


def header_constant(header, name):
    m = re.search(r"\b" + name + r" = (0x[0-9A-F]+|\d+)[;,]", header)
    if not m:
        raise SystemExit(f"verification: constant {name} not found in the written header")
    return int(m.group(1), 0)


def verify(header, text, lower, flags):
    """Looks every code point up as unicode.hpp does, with the header's constants, and
    compares with the source data."""
    stage1, stage2, stage3, props, expansions = reread(text)
    low_shift, mid_shift, high_shift, low_mask, mid_mask = (
        header_constant(header, name) for name in ("kLowShift", "kMidShift", "kHighShift", "kLowMask", "kMidMask"))
    bits = [header_constant(header, name) for name in ("kCased", "kCaseIgnorable", "kAlphanumeric")]
    source_bits = [CASED, CASE_IGNORABLE, ALPHANUMERIC]
    errors = 0
    for cp in range(N_CP):
        mid = (stage1[cp >> high_shift] << mid_shift) | ((cp >> low_shift) & mid_mask)
        low = (stage2[mid] << low_shift) | (cp & low_mask)
        delta, expansion, record_flags = props[stage3[low]]
        got_lower = expansions[expansion - 1] if expansion else (cp + delta,)
        got_flags = sum(source for source, bit in zip(source_bits, bits) if record_flags & bit)
        if got_lower != lower[cp] or got_flags != flags[cp]:
            errors += 1
            if errors <= 10:
                print(f"verification: U+{cp:04X}: tables give {got_lower} {got_flags}, "
                      f"source gives {lower[cp]} {flags[cp]}", file=sys.stderr)
    if errors:
        raise SystemExit(f"verification failed for {errors} code points")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ucd", default="/usr/share/unicode",
                        help="directory holding the Unicode Character Database files")
    parser.add_argument("--output", default=DEFAULT_OUTPUT,
                        help=f"the folder to write {HEADER} and {SOURCE} to")
    args = parser.parse_args()

    versions = {file_version(os.path.join(args.ucd, name))
                for name in ("SpecialCasing.txt", "DerivedCoreProperties.txt")}
    if len(versions) != 1 or None in versions:
        raise SystemExit(f"the database files disagree on their version: {versions}")
    version = versions.pop()

    lower, flags = expected_data(args.ucd)
    tables = build_tables(lower, flags)
    script = os.path.relpath(os.path.abspath(sys.argv[0]), REPO)
    command = shlex.join(["python3", script] + sys.argv[1:])
    written = {}
    for name, render in ((HEADER, render_header), (SOURCE, render_source)):
        path = os.path.join(args.output, name)
        with open(path, "w", encoding="utf-8") as f:
            f.write(render(version, command, *tables))
        with open(path, encoding="utf-8") as f:
            written[name] = f.read()
    verify(written[HEADER], written[SOURCE], lower, flags)

    stage1, stage2, stage3, props, expansions = tables
    size = len(stage1) + 2 * len(stage2) + len(stage3) + 8 * len(props)
    print(f"wrote {HEADER} and {SOURCE} in {args.output}: Unicode {version}, {len(props)} records, "
          f"{len(expansions)} expansions, {size} bytes of tables; verified")


if __name__ == "__main__":
    main()
