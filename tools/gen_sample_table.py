#!/usr/bin/env python3
"""Generates data/sample.csv, the bundled sample table: 200 rows of made-up orders with
numeric columns (some missing, ordinary and lettered), character columns of several widths,
and the columns l and max, whose names are keywords of the clause language.

    tools/gen_sample_table.py            rewrite data/sample.csv
    tools/gen_sample_table.py --check    regenerate in memory, compare with the committed file
                                         (exit 1 on a difference)

The rows come from a fixed linear congruential generator, so every run writes the same bytes
whatever the Python version.
"""

import argparse
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT = os.path.join(HERE, "..", "data", "sample.csv")
ROWS = 200

NAMES = ["Ann", "Bo", "Cy", "Dee", "Eve", "Finn", "Greta", "Hugo", "Ines", "Jonas", "Kai",
         "Lena", "Mats", "Nora", "Otto", "Pia", "Quinn", "Rosa", "Sven", "Tove", "Ulla",
         "Viggo", "Wanda", "Xenia", "Yusuf", "Zoë", "Anneliese", "Björn", "Maximilian"]
CITIES = [("Oslo", "NO"), ("Bergen", "NO"), ("Malmö", "SE"), ("Uppsala", "SE"),
          ("Zürich", "CH"), ("Basel", "CH"), ("São Paulo", "BR"), ("Lyon", "FR"),
          ("Nantes", "FR"), ("Leeds", "GB"), ("Cork", "IE"), ("Porto", "PT"),
          ("Boston", "USA"), ("Austin", "USA"), ("Toronto", "CAN"), ("Graz", "AT")]
NOTES = ["", "", "", "", "gift wrap", "rush", "call first", "leave at door, side gate",
         'fragile: "glass"', "paid by card", "second order", "back-ordered, ships later"]


class Lcg:
    """The 32-bit generator of Numerical Recipes: small, fixed and portable."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self, n):
        self.state = (1664525 * self.state + 1013904223) & 0xFFFFFFFF
        return (self.state >> 8) % n


def cell(text):
    """A cell as CSV writes it: quoted when it holds a delimiter, a quote or a line break."""
    if any(c in text for c in ',"\r\n'):
        return '"' + text.replace('"', '""') + '"'
    return text


def days_in(year, month):
    if month == 2:
        return 29 if year % 4 == 0 else 28
    return [31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31][month - 1]


def generate():
    rng = Lcg(1987)
    lines = ["id,name,city,code,price,qty,flag,date,l,max,note"]
    for i in range(1, ROWS + 1):
        name = NAMES[rng.next(len(NAMES))]
        city, code = CITIES[rng.next(len(CITIES))]
        cents = 50 + rng.next(25000)
        price = "%d.%02d" % (cents // 100, cents % 100)
        if rng.next(20) == 0:
            price = "."
        qty = str(rng.next(40))
        r = rng.next(25)
        if r == 0:
            qty = ".A"
        elif r == 1:
            qty = ".B"
        elif r == 2:
            qty = ""
        flag = str(1 if rng.next(3) == 0 else 0)
        year, month = 2023 + rng.next(2), 1 + rng.next(12)
        date = "%d%02d%02d" % (year, month, 1 + rng.next(days_in(year, month)))
        length = "%d.%d" % (5 + rng.next(120), rng.next(10))
        top = str(5 * rng.next(11))
        if rng.next(30) == 0:
            top = "._"
        note = NOTES[rng.next(len(NOTES))]
        lines.append(",".join(cell(c) for c in [str(i), name, city, code, price, qty, flag,
                                                date, length, top, note]))
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="compare with the committed file")
    args = parser.parse_args()
    text = generate()
    if args.check:
        with open(OUTPUT, encoding="utf-8", newline="") as f:
            if f.read() != text:
                print("data/sample.csv differs from what tools/gen_sample_table.py makes",
                      file=sys.stderr)
                return 1
        return 0
    os.makedirs(os.path.dirname(OUTPUT), exist_ok=True)
    with open(OUTPUT, "w", encoding="utf-8", newline="") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
