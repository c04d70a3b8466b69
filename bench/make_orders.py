#!/usr/bin/env python3
"""Writes a CSV table of orders for the command-line comparison: ids, customer names (some
outside ASCII), cities, prices, quantities, order dates as YYYYMMDD numbers and a free-text
note. Prices and quantities are now and then empty, notes mostly are, and some notes carry a
comma and so are quoted. The same seed gives the same file on every machine.

usage: make_orders.py ROWS OUTPUT.csv
"""
import csv
import math
import random
import sys

NAMES = ["Ann", "Bo", "Quinn", "Björn", "Tove", "John", "Joan", "Jonas", "José", "Joe",
         "Maria", "Mark", "Lea", "Liam", "Noah", "Emma", "Olivia", "Zoë", "Ida", "Nils",
         "Sofia", "Hugo", "Mia", "Leo", "Ella", "Oscar", "Alma", "Elias", "Saga", "Juno",
         "Karin", "Per", "Eva", "Ole", "Siri", "Jon", "Ingrid", "Lars", "Anna", "Erik"]
# Cities with falling frequencies, as customers cluster in a few large ones.
CITIES = ["Oslo", "Paris", "Berlin", "Madrid", "Lima", "Boston", "Austin", "Nantes",
          "Basel", "Bergen", "Lyon", "Porto", "Quito", "Rome", "Turku", "Vigo", "Zürich",
          "Dakar", "Hanoi", "Perth", "Cork", "Gent", "Bonn", "Graz", "Kyiv", "Riga",
          "Tartu", "Malmö", "Aarhus", "Split"]
CITY_WEIGHTS = [1.0 / (i + 1) ** 0.8 for i in range(len(CITIES))]
NOTES = ["gift wrap", "express", "fragile, handle with care", "leave at door",
         "second order", "gift card inside", "call before delivery", "no invoice",
         "birthday gift, hide price", "pick-up"]


def main():
    rows, path = int(sys.argv[1]), sys.argv[2]
    rng = random.Random(20240611)
    cities = rng.choices(CITIES, CITY_WEIGHTS, k=rows)
    with open(path, "w", newline="", encoding="utf-8") as f:
        out = csv.writer(f, lineterminator="\n")
        out.writerow(["id", "name", "city", "price", "qty", "date", "note"])
        for i in range(rows):
            r = rng.random()
            price = "" if r < 0.01 else "%.2f" % math.exp(rng.gauss(4.0, 0.8))
            qty = "" if rng.random() < 0.03 else str(min(50, 1 + int(rng.expovariate(0.15))))
            date = "%04d%02d%02d" % (rng.randint(2020, 2024), rng.randint(1, 12),
                                     rng.randint(1, 28))
            note = rng.choice(NOTES) if rng.random() < 0.15 else ""
            out.writerow([i + 1, rng.choice(NAMES), cities[i], price, qty, date, note])


if __name__ == "__main__":
    main()
