#!/usr/bin/env python3
"""Ten million rows through `zorv filter` in bounded memory.

The rows are made as they are sent, on standard input under a typed header, so neither this
script nor the command stores them: the command streams a typed table block by block. The
command's peak memory (VmHWM, read from /proc while it runs) is measured for a tenth of the
rows and for all of them; it must not grow with the rows and must stay under LIMIT_MB.
The count the command prints must be the one worked out here.

Usage: stream_rows.py [ZORV]   (default build/bench/zorv)
Environment: ROWS (10000000), LIMIT_MB (32), GROWTH_KB (2048).
Exit status: 0 all met, 1 a bound missed or a wrong count, 2 the command missing or failing.
"""
import os
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ZORV = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build", "bench", "zorv")
ROWS = int(os.environ.get("ROWS", "10000000"))
LIMIT_KB = int(os.environ.get("LIMIT_MB", "32")) * 1024
GROWTH_KB = int(os.environ.get("GROWTH_KB", "2048"))
CLAUSE = "v = 3 AND name IN ('n5', 'n7')"


def expected(rows):
    """Rows i with i % 7 == 3 and i % 1000 in (5, 7), as the clause selects them: the
    pattern repeats every 7000 rows."""
    picked = [i for i in range(7000) if i % 7 == 3 and i % 1000 in (5, 7)]
    return rows // 7000 * len(picked) + sum(1 for i in picked if i < rows % 7000)


def feed(pipe, rows):
    try:
        pipe.write(b"id:num,name:char(8),v:num\n")
        step = 100000
        for start in range(0, rows, step):
            stop = min(rows, start + step)
            pipe.write(
                "".join(f"{i},n{i % 1000},{i % 7}\n" for i in range(start, stop)).encode()
            )
        pipe.close()
    except BrokenPipeError:
        pass


def peak_of(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def run(rows):
    """Count, seconds and peak memory (KB) of one run over `rows` rows."""
    start = time.monotonic()
    child = subprocess.Popen(
        [ZORV, "filter", "--count", "--input", "-", CLAUSE],
        stdin=subprocess.PIPE,
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
    )
    writer = threading.Thread(target=feed, args=(child.stdin, rows))
    writer.start()
    peak = 0
    while child.poll() is None:
        peak = max(peak, peak_of(child.pid))
        time.sleep(0.02)
    writer.join()
    out, err = child.stdout.read(), child.stderr.read()
    if child.returncode != 0:
        print(f"stream_rows: zorv failed ({child.returncode}): {err.decode().strip()}",
              file=sys.stderr)
        sys.exit(2)
    return int(out), time.monotonic() - start, peak


def main():
    if not os.access(ZORV, os.X_OK):
        print(f"stream_rows: no zorv command at {ZORV}", file=sys.stderr)
        return 2
    ok = True
    results = []
    for rows in (ROWS // 10, ROWS):
        count, seconds, peak = run(rows)
        results.append(peak)
        right = count == expected(rows)
        ok = ok and right
        print(f"stream_rows: {rows:>10,} rows  {seconds:6.1f} s  {rows / seconds / 1e6:5.2f} M rows/s"
              f"  peak {peak / 1024:5.1f} MB  count {count}{'' if right else ' WRONG'}")
    growth = results[1] - results[0]
    if growth > GROWTH_KB:
        print(f"stream_rows: memory grew by {growth} KB with the rows (bound {GROWTH_KB} KB)")
        ok = False
    if results[1] > LIMIT_KB:
        print(f"stream_rows: peak {results[1]} KB over the bound of {LIMIT_KB} KB")
        ok = False
    print(f"stream_rows: {'met' if ok else 'MISSED'}: peak memory does not grow with the rows"
          f" and stays under {LIMIT_KB // 1024} MB")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
