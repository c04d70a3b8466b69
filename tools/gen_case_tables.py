#!/usr/bin/env python3
"""Generates support/case_tables.cpp, the case-mapping tables behind nqzstup, nqzstlo and
nqzseqn, from the Unicode character data (UnicodeData.txt and DerivedAge.txt).

    tools/gen_case_tables.py            rewrite support/case_tables.cpp
    tools/gen_case_tables.py --check    regenerate in memory, compare with the committed file
                                        (exit 1 on a difference, 77 when the data is absent)
"""

import argparse
import difflib
import os
import sys

SKIP = 77  # CTest's SKIP_RETURN_CODE for the check
HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT = os.path.join(HERE, "..", "support", "case_tables.cpp")
DATA_DIR = "/usr/share/unicode"

# The 19 blocks of 128 code points that have mappings, in the order of their delta rows.
BLOCKS = [0x0000, 0x0080, 0x0100, 0x0180, 0x0200, 0x0280, 0x0380, 0x0400, 0x0480, 0x0500,
          0x0580, 0x1080, 0x1E00, 0x1E80, 0x1F00, 0x1F80, 0x2100, 0x2480, 0xFF00]

# The tables keep the mappings of an early edition of the character database. The lists
# below are how that edition differs from the simple mappings of Unicode 13.0 inside the
# covered blocks; every entry is checked against the data before it is applied.
LOWER_DROPPED = (
    "0130 0189 019F 01A6 01F6..01F8 0218 021A 021C 021E 0220 0222 0224 0226 0228 022A"
    " 022C 022E 0230 0232 023A..023B 023D..023E 0241 0243..0246 0248 024A 024C 024E 03CF"
    " 03D8 03F4 03F7 03F9..03FA 03FD..0400 040D 048A 048C 048E 04C0 04C5 04C9 04CD 04EC"
    " 04F6 04FA 04FC 04FE 0500..052E/2 10C7 10CD 1E9E 1EFA 1EFC 1EFE 2126 212A..212B 2132")
UPPER_DROPPED = (
    "00B5 0131 0180 0195 019A 019E 01BF 01DD 01F9 0219 021B 021D 021F 0223 0225 0227 0229"
    " 022B 022D 022F 0231 0233 023C 023F..0240 0242 0247 0249 024B 024D 024F..0252 0256"
    " 025C 0261 0265..0266 026A..026C 0271 0275 027D 0280 0282 0287 0289 028C 029D..029E"
    " 03C2 03D7 03D9 03DB 03DD 03DF 03E1 03F2..03F3 03F5 03F8 03FB 0450 045D 048B 048D"
    " 048F 04C6 04CA 04CE..04CF 04ED 04F7 04FB 04FD 04FF 0501..052F/2 10D0..10FA"
    " 10FD..10FF 1E9B 1EFB 1EFD 1EFF 1FBE 214E")
# (character, target in 13.0, target in the tables)
LOWER_RETARGETED = [(0x018E, 0x01DD, 0x0258)] + [
    (c, c - 0x10A0 + 0x2D00, c - 0x10A0 + 0x10D0) for c in range(0x10A0, 0x10C6)]
UPPER_ADDED = [(0x0258, 0x018E)]

EXPECTED_LOWER, EXPECTED_UPPER = 706, 671
# Mappings whose distance does not fit a signed 8-bit delta (-128 is the escape itself).
EXPECTED_UPAUX = [
    (0x017F, 0x0053), (0x0253, 0x0181), (0x0254, 0x0186), (0x0257, 0x018A), (0x0258, 0x018E),
    (0x0259, 0x018F), (0x025B, 0x0190), (0x0260, 0x0193), (0x0263, 0x0194), (0x0268, 0x0197),
    (0x0269, 0x0196), (0x026F, 0x019C), (0x0272, 0x019D), (0x0283, 0x01A9), (0x0288, 0x01AE),
    (0x028A, 0x01B1), (0x028B, 0x01B2), (0x0292, 0x01B7), (0x1F78, 0x1FF8), (0x1F79, 0x1FF9)]
EXPECTED_DOWNAUX = [
    (0x0181, 0x0253), (0x0186, 0x0254), (0x018A, 0x0257), (0x018E, 0x0258), (0x018F, 0x0259),
    (0x0190, 0x025B), (0x0193, 0x0260), (0x0194, 0x0263), (0x0196, 0x0269), (0x0197, 0x0268),
    (0x019C, 0x026F), (0x019D, 0x0272), (0x01A9, 0x0283), (0x01AE, 0x0288), (0x01B1, 0x028A),
    (0x01B2, 0x028B), (0x01B7, 0x0292), (0x1FF8, 0x1F78), (0x1FF9, 0x1F79)]

ESCAPE = -128
BASE_AGE = (13, 0)


class DataMissing(Exception):
    pass


def code_points(text):
    """Expands "0130 01F6..01F8 0500..052E/2" into a list of code points."""
    out = []
    for item in text.split():
        step = 1
        if "/" in item:
            item, s = item.split("/")
            step = int(s)
        lo, _, hi = item.partition("..")
        out.extend(range(int(lo, 16), int(hi or lo, 16) + 1, step))
    return out


def covered(c):
    return c <= 0xFFFF and (c & ~127) in BLOCKS


def read_ages(path):
    """Maps each assigned code point to the (major, minor) version that added it."""
    ages = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            rng, age = (x.strip() for x in line.split(";"))
            lo, _, hi = rng.partition("..")
            version = tuple(int(x) for x in age.split("."))
            for c in range(int(lo, 16), int(hi or lo, 16) + 1):
                ages[c] = version
    return ages


def read_mappings(data_dir):
    """Simple upper and lower mappings of the covered blocks, as they stood in 13.0."""
    paths = [os.path.join(data_dir, n) for n in ("UnicodeData.txt", "DerivedAge.txt")]
    for p in paths:
        if not os.path.isfile(p):
            raise DataMissing(p)
    ages = read_ages(paths[1])

    # A later data file may bring characters, or mappings to characters, that 13.0 did not
    # have; both are dropped here. (Up to 15.0 there are none in the covered blocks, so
    # this changes nothing today; the counts below would catch any other drift.)
    def known(c):
        return ages.get(c, (99, 0)) <= BASE_AGE

    upper, lower = {}, {}
    with open(paths[0], encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split(";")
            c = int(fields[0], 16)
            if not covered(c) or not known(c):
                continue
            for field, table in ((fields[12], upper), (fields[13], lower)):
                if field and known(int(field, 16)):
                    table[c] = int(field, 16)
    return upper, lower


def adjust(upper, lower):
    """Applies the early edition's differences, checking each against the data."""
    for name, table, dropped in (("lower", lower, LOWER_DROPPED), ("upper", upper, UPPER_DROPPED)):
        for c in code_points(dropped):
            assert c in table, f"{name}: U+{c:04X} has no mapping to drop"
            del table[c]
    for c, old, new in LOWER_RETARGETED:
        assert lower.get(c) == old, f"lower: U+{c:04X} does not map to U+{old:04X}"
        lower[c] = new
    for c, new in UPPER_ADDED:
        assert c not in upper, f"upper: U+{c:04X} already maps"
        upper[c] = new

    assert len(lower) == EXPECTED_LOWER, f"{len(lower)} lower-case mappings"
    assert len(upper) == EXPECTED_UPPER, f"{len(upper)} upper-case mappings"
    for c in list(upper) + list(lower):
        assert covered(c), f"U+{c:04X} outside the covered blocks"
    for b in BLOCKS:
        assert any(b <= c < b + 128 for c in list(upper) + list(lower)), f"block {b:04X} empty"


def encode(mapping):
    """Deltas of all covered blocks in row order, and the pairs that need the aux list."""
    deltas, aux = [], []
    for b in BLOCKS:
        for c in range(b, b + 128):
            d = mapping[c] - c if c in mapping else 0
            if -128 < d < 128:
                deltas.append(d)
            else:
                deltas.append(ESCAPE)
                aux.append((c, mapping[c]))
    froms = {f for f, _ in aux}
    assert not any(t in froms for _, t in aux), "an aux target is also an aux source"
    return deltas, aux


def rows(values, per_line, width):
    lines = []
    for i in range(0, len(values), per_line):
        chunk = values[i:i + per_line]
        lines.append("    " + " ".join(f"{v},".rjust(width) for v in chunk).rstrip())
    return lines


def aux_rows(pairs):
    lines = [f"    0x{f:04X}, 0x{t:04X},  // U+{f:04X} -> U+{t:04X}" for f, t in pairs]
    return lines + ["    0,"]


def render(upper, lower):
    up, upaux = encode(upper)
    down, downaux = encode(lower)
    assert upaux == EXPECTED_UPAUX, f"upaux is {upaux}"
    assert downaux == EXPECTED_DOWNAUX, f"downaux is {downaux}"

    meta = [-1] * 512
    for i, b in enumerate(BLOCKS):
        meta[b // 128] = i * 128

    out = [
        "// Case-mapping tables of the support library: block index, delta rows and the",
        "// lists of mappings too far for a delta. Generated by tools/gen_case_tables.py",
        "// from the Unicode character data; do not edit by hand.",
        '#include "support/case_tables.h"',
        "",
        "namespace zorv {",
        "",
        "// clang-format off",
        "const int16_t metatable[512] = {",
    ]
    out += rows(meta, 16, 5)
    out += ["};", ""]
    for name, deltas in (("upshift", up), ("downshift", down)):
        out.append(f"const int8_t {name}[{len(deltas)}] = {{")
        for i, b in enumerate(BLOCKS):
            out.append(f"    // U+{b:04X}")
            out += rows(deltas[i * 128:(i + 1) * 128], 16, 5)
        out += ["};", ""]
    for name, pairs in (("upaux", upaux), ("downaux", downaux)):
        out.append(f"const uint32_t {name}[{2 * len(pairs) + 1}] = {{")
        out += aux_rows(pairs)
        out += ["};", ""]
    out += ["// clang-format on", "", "}  // namespace zorv", ""]
    return "\n".join(out)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--check", action="store_true",
                    help="compare with the committed file instead of writing it")
    ap.add_argument("--data", default=DATA_DIR, help="folder of UnicodeData.txt")
    ap.add_argument("--output", default=OUTPUT, help="file to write or check")
    args = ap.parse_args()

    try:
        upper, lower = read_mappings(args.data)
    except DataMissing as e:
        print(f"gen_case_tables: {e.args[0]} not found (package unicode-data)", file=sys.stderr)
        return SKIP if args.check else 1
    adjust(upper, lower)
    text = render(upper, lower)

    if args.check:
        with open(args.output, encoding="utf-8") as f:
            committed = f.read()
        if committed == text:
            name = os.path.relpath(args.output, os.path.join(HERE, ".."))
            print(f"gen_case_tables: {name} is current")
            return 0
        sys.stdout.writelines(difflib.unified_diff(
            committed.splitlines(True), text.splitlines(True), "committed", "generated"))
        print("gen_case_tables: committed tables differ; rerun tools/gen_case_tables.py")
        return 1
    with open(args.output, "w", encoding="utf-8") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
