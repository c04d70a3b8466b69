#!/usr/bin/env bash
# The zorv command against mlr and the sqlite3 shell on one generated table of a million
# orders. For each filter every tool counts the rows it selects; the counts must agree. Each
# time is the best of RUNS wall-clock runs (CPU time beside it, since mlr spreads its work
# over several threads of its own; both are given over zorv's on one thread, and the targets
# are judged by the clock). sqlite3 is timed for import and query together, which
# is what a user of a CSV file pays, and for the query alone as its own timer reports it.
# Target: `zorv filter --count` at least 5x faster than either tool on one thread, and faster
# still with --threads 2. Exit status: 0 all met, 1 a target missed or counts disagree,
# 2 a tool missing or failing.
#
# Environment: ZORV (the command; default build/bench/zorv), ROWS (1000000), RUNS (5).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
ZORV=${ZORV:-$here/../build/bench/zorv}
ROWS=${ROWS:-1000000}
RUNS=${RUNS:-5}

for tool in mlr sqlite3 python3; do
  command -v "$tool" >/dev/null || { echo "cli_compare: $tool is missing (scripts/setup bench installs it)" >&2; exit 2; }
done
[ -x "$ZORV" ] || { echo "cli_compare: no zorv command at $ZORV" >&2; exit 2; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
csv=$tmp/orders.csv
python3 "$here/make_orders.py" "$ROWS" "$csv"

# The filters, each as zorv, mlr and SQL write it. An empty price or quantity is a missing
# value to zorv (false in any comparison here) and an empty string to mlr (false too); the
# sqlite3 shell imports it as the text '', which SQL orders above every number, so the SQL
# says in words that an empty cell is not a number. `=:` compares over the shorter length:
# with the name column wider than two characters, that is "begins with".
names=(numbers_and_set prefix_or_contains)
zorv_clauses=(
  "price > 100 AND qty >= 5 AND city IN ('Oslo', 'Paris', 'Lima')"
  "name =: 'Jo' OR note CONTAINS 'gift'"
)
mlr_filters=(
  '$price > 100 && $qty >= 5 && ($city == "Oslo" || $city == "Paris" || $city == "Lima")'
  'truncate($name, 2) == "Jo" || $note =~ "gift"'
)
sql_wheres=(
  "price <> '' AND price > 100 AND qty <> '' AND qty >= 5 AND city IN ('Oslo', 'Paris', 'Lima')"
  "substr(name, 1, 2) = 'Jo' OR instr(note, 'gift') > 0"
)
schema="CREATE TABLE t(id INTEGER, name TEXT, city TEXT, price REAL, qty INTEGER, date INTEGER, note TEXT);"

# timed CMD...: runs CMD RUNS times; its output of the fastest run in $tmp/best.out, and
# best_real, best_cpu (seconds) of that run. A failing run ends the script.
timed() {
  local i real user sys
  best_real=""
  for ((i = 0; i < RUNS; i++)); do
    local TIMEFORMAT="%3R %3U %3S"
    if ! { time "$@" >"$tmp/run.out" 2>"$tmp/run.err"; } 2>"$tmp/time"; then
      echo "cli_compare: failed: $*" >&2
      cat "$tmp/run.err" >&2
      exit 2
    fi
    read -r real user sys <"$tmp/time"
    if [ -z "$best_real" ] || awk -v a="$real" -v b="$best_real" 'BEGIN { exit !(a < b) }'; then
      best_real=$real
      best_cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')
      cp "$tmp/run.out" "$tmp/best.out"
    fi
  done
}

first_number() { grep -Eo '[0-9]+' "$1" | head -n 1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.1f", a / b; else print "-" }'; }
at_least() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b) }'; }
# row LABEL REAL CPU COUNT: one line of the table, with both times over zorv's on one thread.
row() {
  printf '  %-36s %8s %8s %10s %9s %9s\n' "$1" "$2" "$3" "$4" "$(ratio "$2" "$z1")" "$(ratio "$3" "$z1_cpu")"
}

status=0
size=$(du -m "$csv" | cut -f1)
echo
echo "Command-line comparison: $ROWS rows, $size MB of CSV; best of $RUNS runs, seconds (load average $(cut -d' ' -f1-3 /proc/loadavg))"
echo "  $("$ZORV" --version 2>/dev/null | head -n 1 || true); mlr $(mlr --version | awk '{print $2}'); sqlite3 $(sqlite3 --version | awk '{print $1}')"

for f in "${!names[@]}"; do
  echo
  echo "${names[$f]}: ${zorv_clauses[$f]}"
  printf '  %-36s %8s %8s %10s %9s %9s\n' tool real cpu count "t/zorv" "cpu/zorv"

  # One thread said explicitly: the command's default is every core on a file this large.
  timed "$ZORV" filter --count --threads 1 --input "$csv" "${zorv_clauses[$f]}"
  z1=$best_real; z1_cpu=$best_cpu; z1_count=$(first_number "$tmp/best.out")
  row "zorv filter --count --threads 1" "$z1" "$z1_cpu" "$z1_count"

  timed "$ZORV" filter --count --threads 2 --input "$csv" "${zorv_clauses[$f]}"
  z2=$best_real; z2_count=$(first_number "$tmp/best.out")
  row "zorv filter --count --threads 2" "$z2" "$best_cpu" "$z2_count"

  timed mlr --icsv --onidx filter "${mlr_filters[$f]}" then count "$csv"
  m=$best_real; m_count=$(first_number "$tmp/best.out")
  row "mlr filter ... then count" "$m" "$best_cpu" "$m_count"

  printf '%s\n.import --csv --skip 1 %s t\n.timer on\nSELECT count(*) FROM t WHERE %s;\n' \
    "$schema" "$csv" "${sql_wheres[$f]}" >"$tmp/query.sql"
  timed sqlite3 -batch -init /dev/null :memory: ".read $tmp/query.sql"
  s=$best_real; s_count=$(first_number "$tmp/best.out")
  s_query=$(awk '/^Run Time:/ { print $4 }' "$tmp/best.out" | tail -n 1)
  row "sqlite3 .import + query" "$s" "$best_cpu" "$s_count"
  printf '  %-36s %8s %8s %10s %9s\n' "sqlite3 query alone (its timer)" "$s_query" "" "" "$(ratio "$s_query" "$z1")"

  if [ "$z1_count" != "$m_count" ] || [ "$z1_count" != "$s_count" ] || [ "$z1_count" != "$z2_count" ]; then
    echo "cli_compare: the counts disagree: zorv $z1_count, zorv on 2 threads $z2_count, mlr $m_count, sqlite3 $s_count" >&2
    status=1
    continue
  fi
  m_ok=no; s_ok=no; t_ok=no
  at_least "$m" "$(awk -v z="$z1" 'BEGIN { print 5 * z }')" && m_ok=yes
  at_least "$s" "$(awk -v z="$z1" 'BEGIN { print 5 * z }')" && s_ok=yes
  awk -v a="$z2" -v b="$z1" 'BEGIN { exit !(a < b) }' && t_ok=yes
  echo "  target >= 5x faster than mlr: $m_ok ($(ratio "$m" "$z1")x); than sqlite3 import+query: $s_ok ($(ratio "$s" "$z1")x); faster with 2 threads: $t_ok"
  [ "$m_ok$s_ok$t_ok" = yesyesyes ] || status=1
done
exit $status
