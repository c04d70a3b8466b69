#!/usr/bin/env bash
# The installed tree, as a user meets it: `make install` into a temporary prefix (and once
# more staged under DESTDIR), then the example built against it with pkg-config and with
# find_package and run, the installed command run, the library names and links, the
# run paths, and the manual page against the command's own --help. Run by `make
# install-test` (and so by `make test`) once the release tree is built; everything it makes
# lives in one temporary folder, removed at the end.
# shellcheck disable=SC2015,SC2016  # `a && b || fail` is meant; '$ORIGIN' is literal
set -euo pipefail

src=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/zorv-install.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
failures=0
fail() {
  echo "install-test: FAIL: $*" >&2
  failures=$((failures + 1))
}
# Runs a step whose output only matters when it fails.
quiet() {
  "$@" >"$tmp/step.log" 2>&1 || { cat "$tmp/step.log" >&2; echo "install-test: FAIL: $*" >&2; exit 1; }
}
unset LD_LIBRARY_PATH
cd "$tmp"  # nothing may depend on running from the source tree

quiet make -C "$src" install PREFIX="$prefix"
zorv=$prefix/bin/zorv

# ---- names, links and run paths of the libraries ----
version=$("$zorv" --version) || { echo "install-test: FAIL: the installed zorv does not start" >&2; exit 1; }
version=${version#zorv }
major=${version%%.*}
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "zorv --version printed '$version'"
soname() { readelf -d "$1" | sed -nE 's/.*\(SONAME\).*\[(.*)\]$/\1/p'; }
runpath() { readelf -d "$1" | sed -nE 's/.*\((RUNPATH|RPATH)\).*\[(.*)\]$/\2/p'; }
for lib in libzorv libnqkernel; do
  # lib.so -> lib.so.MAJOR -> lib.so.VERSION (the file), whose SONAME is lib.so.MAJOR: the
  # library's file name carries the version the library itself reports.
  [ "$(readlink "$prefix/lib/$lib.so")" = "$lib.so.$major" ] || fail "$lib.so is no link to $lib.so.$major"
  [ "$(readlink "$prefix/lib/$lib.so.$major")" = "$lib.so.$version" ] ||
    fail "$lib.so.$major is no link to $lib.so.$version"
  if [ -f "$prefix/lib/$lib.so.$version" ] && [ ! -L "$prefix/lib/$lib.so.$version" ]; then
    [ "$(soname "$prefix/lib/$lib.so.$version")" = "$lib.so.$major" ] || fail "SONAME of $lib is not $lib.so.$major"
  else
    fail "$lib.so.$version is not a file"
  fi
done
# The extensions stay in the private folder, out of the linker's path; the kernel's
# libzorv.so there leads to the SONAME link.
for ext in libnqstring libnqetok libnqeparse; do
  [ -f "$prefix/lib/zorv/$ext.so" ] && [ ! -L "$prefix/lib/zorv/$ext.so" ] || fail "lib/zorv/$ext.so is missing"
  [ ! -e "$prefix/lib/$ext.so" ] || fail "$ext.so is in lib/"
done
[ "$(readlink "$prefix/lib/zorv/libzorv.so")" = "../libzorv.so.$major" ] ||
  fail "lib/zorv/libzorv.so is no link to ../libzorv.so.$major"
[ "$(runpath "$zorv")" = '$ORIGIN/../lib' ] || fail "bin/zorv has the run path '$(runpath "$zorv")'"
while IFS= read -r f; do
  path=$(runpath "$f" 2>/dev/null || true)
  [[ $path != *"$src"* ]] || fail "$f keeps a run path into the source tree: $path"
done < <(find "$prefix" -type f \( -name '*.so*' -o -path '*/bin/*' \))
for h in "$src"/include/zorv/*; do
  cmp -s "$h" "$prefix/include/zorv/$(basename "$h")" || fail "include/zorv/$(basename "$h") is not installed"
done

# ---- the installed command, from elsewhere, without LD_LIBRARY_PATH ----
"$zorv" check "qty >= 30" || fail "zorv check failed"
installed=$("$zorv" filter --count "qty >= 30" || true)
built=$("$src/build/release/zorv" filter --count --input "$src/data/sample.csv" "qty >= 30")
[ -n "$installed" ] && [ "$installed" = "$built" ] || fail "zorv filter counted '$installed', the build tree '$built'"
# Without --input it reads the sample table installed beside it, not the source tree's.
if "$zorv" check "nmae = 1" 2>"$tmp/err"; then fail "zorv check took an unknown column"; fi
grep -qF "$prefix/share/zorv/sample.csv has the columns" "$tmp/err" ||
  fail "zorv did not read the installed sample table: $(cat "$tmp/err")"

# ---- the example, built against the installed tree in both ways ----
cat >"$tmp/default.expected" <<'EOF'
rows where price > 10 AND city IN ('Oslo', 'Cork'):
Ann    Oslo       12.50    3
Finn   Cork       15.00    7
EOF
cat >"$tmp/missing.expected" <<'EOF'
rows where qty IS MISSING OR name =: 'C':
Bo     Cork        8.00    .
Cy     Boston     30.00   12
Eve    Bergen     99.00    .
EOF
check_example() {  # $1: the program, $2: how it was built
  "$1" >"$tmp/out" 2>&1 || fail "$2: the example failed"
  diff -u "$tmp/default.expected" "$tmp/out" >&2 || fail "$2: rows of the default clause"
  "$1" "qty IS MISSING OR name =: 'C'" >"$tmp/out" 2>&1 || fail "$2: the example failed"
  diff -u "$tmp/missing.expected" "$tmp/out" >&2 || fail "$2: rows of a clause on missing values"
  if "$1" "cty = 'Oslo'" >"$tmp/out" 2>&1; then fail "$2: an unknown column was taken"; fi
  grep -q "unknown column 'CTY'" "$tmp/out" || fail "$2: no word on the unknown column"
}
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
[ "$(pkg-config --modversion zorv)" = "$version" ] || fail "zorv.pc has version $(pkg-config --modversion zorv)"
# shellcheck disable=SC2046
quiet cc -std=c11 -Wall -Wextra -Werror -pedantic -o "$tmp/by-pkg-config" "$src/examples/filter_rows.c" \
  $(pkg-config --cflags --libs zorv) -Wl,-rpath,"$prefix/lib"
check_example "$tmp/by-pkg-config" pkg-config
quiet cmake -S "$src/examples" -B "$tmp/by-cmake" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_FLAGS=-Werror
quiet cmake --build "$tmp/by-cmake"
check_example "$tmp/by-cmake/filter_rows" find_package

# The program links libzorv.so.1 and the kernel loads lib/zorv/libzorv.so: one copy of the
# library (one set of globals), and the extensions from the installed tree.
LD_DEBUG=files "$tmp/by-pkg-config" >/dev/null 2>"$tmp/ld.log" || fail "the example failed under LD_DEBUG"
copies=$(grep -c 'calling init: .*/libzorv\.so' "$tmp/ld.log" || true)
[ "$copies" = 1 ] || fail "libzorv was initialised $copies times in one process"
for ext in libnqstring libnqetok libnqeparse; do
  grep -q "file=$prefix/lib/zorv/$ext.so .*dynamically loaded" "$tmp/ld.log" ||
    fail "$ext.so was not loaded from $prefix/lib/zorv"
done

# ---- the manual page ----
page=$prefix/share/man/man1/zorv.1
if [ -f "$page" ]; then
  groff -man -ww -z -Tutf8 "$page" 2>"$tmp/warnings" || fail "groff failed on zorv.1"
  [ ! -s "$tmp/warnings" ] || fail "zorv.1 formats with warnings: $(cat "$tmp/warnings")"
  # Wide lines and no hyphenation, so that no option name is split.
  groff -man -Tascii -rLL=400n -rHY=0 "$page" 2>/dev/null | sed 's/.\x08//g' >"$tmp/page.txt"
  mentions() { grep -qE -- "(^|[^A-Za-z0-9-])$1([^A-Za-z0-9-]|\$)" "$tmp/page.txt"; }
  # Every option, short option and listed option value of a --help text.
  listed() {
    sed -nE 's/^  (-[A-Za-z],)?(--[a-z][a-z0-9-]*).*/\2/p; s/^  (-[A-Za-z]),.*/\1/p' "$1"
    sed -nE 's/^  --[a-z0-9-]+ [A-Z]+:\{([^}]*)\}.*/\1/p' "$1" | tr ',' '\n'
  }
  "$zorv" --help >"$tmp/help"
  subcommands=$(awk '/^Subcommands:/ { on = 1; next } on && NF == 0 { on = 0 } on { print $1 }' "$tmp/help")
  [ -n "$subcommands" ] || fail "zorv --help lists no subcommands"
  for word in $(listed "$tmp/help"); do
    mentions "$word" || fail "zorv.1 does not mention '$word' (zorv --help)"
  done
  for sub in $subcommands; do
    mentions "zorv $sub" || fail "zorv.1 does not mention 'zorv $sub'"
    "$zorv" "$sub" --help >"$tmp/help"
    for word in $(listed "$tmp/help"); do
      mentions "$word" || fail "zorv.1 does not mention '$word' (zorv $sub --help)"
    done
  done
else
  fail "share/man/man1/zorv.1 is not installed"
fi

# ---- staged under DESTDIR: the same tree, for the prefix named ----
quiet make -C "$src" install PREFIX=/opt/zorv-test DESTDIR="$tmp/stage"
[ "$(ls "$tmp/stage")" = opt ] && [ "$(ls "$tmp/stage/opt")" = zorv-test ] ||
  fail "the DESTDIR install put files outside DESTDIR/opt/zorv-test"
diff <(cd "$prefix" && find . | sort) <(cd "$tmp/stage/opt/zorv-test" && find . | sort) >&2 ||
  fail "the DESTDIR install differs from the plain one"
grep -qx 'prefix=/opt/zorv-test' "$tmp/stage/opt/zorv-test/lib/pkgconfig/zorv.pc" ||
  fail "zorv.pc under DESTDIR does not name the prefix /opt/zorv-test"

if [ "$failures" -ne 0 ]; then
  echo "install-test: $failures check(s) failed" >&2
  exit 1
fi
echo "install-test: passed (zorv $version installed, example built with pkg-config and find_package)"
