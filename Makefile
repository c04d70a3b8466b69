# Front door: `make test` installs what is missing, builds both widths and runs every test.
WIDTHS := x86 x64
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc)

.PHONY: all setup setup-bench configure build test run bench release fuzz fuzz-build fuzz-smoke fuzz-campaign clean \
	coverage setup-coverage python python-test bench-python

all: build

setup:
	@bash scripts/setup

build/%/CMakeCache.txt: | setup
	@cmake -S . -B build/$* -DZORV_WIDTH=$* -DCMAKE_BUILD_TYPE=None >/dev/null

configure: $(foreach w,$(WIDTHS),build/$(w)/CMakeCache.txt)

build: setup configure
	@for w in $(WIDTHS); do cmake --build build/$$w -j $(JOBS) || exit 1; done

test: build
	@for w in $(WIDTHS); do \
	  echo "== $$w =="; \
	  (cd build/$$w && ctest --output-on-failure -j $(JOBS)) || exit 1; \
	done
	@$(MAKE) tsan
	@echo "== fuzz smoke =="
	@$(MAKE) fuzz-smoke
	@$(MAKE) install-test
	@$(MAKE) python-test

# A clause over the bundled sample table (data/sample.csv) that shows the language: two
# comparisons of price, which the optimiser merges into one range; a colon comparison
# (=: compares on the shorter value's length: cities that begin with B); and the
# missing-value tests (IS MISSING on a number, IS NOT NULL on text, which is null when blank).
SAMPLE_CLAUSE := price > 50 AND price <= 150 AND city =: 'B' AND (qty IS MISSING OR note IS NOT NULL)

run: build
	@echo "zorv filter \"$(SAMPLE_CLAUSE)\""
	@build/x64/zorv filter "$(SAMPLE_CLAUSE)"

# Benchmarks run in a tree of their own: native, optimised, no sanitizers. They need SQLite,
# sqlite3 and mlr besides the build's packages: `scripts/setup bench` adds them. Every part
# always runs (the last streams ten million rows through the command in bounded memory); the
# target fails afterwards if any missed a target or found a disagreement.
setup-bench:
	@bash scripts/setup bench

build/bench/CMakeCache.txt: | setup-bench
	@cmake -S . -B build/bench -DZORV_WIDTH=x64 -DZORV_SANITIZE=OFF -DZORV_BENCH=ON \
	  -DCMAKE_BUILD_TYPE=None >/dev/null

# The release tree: x64, optimised, no sanitizers and no test suites. It builds what
# `make install` installs and what the Python binding loads.
build/release/CMakeCache.txt: | setup
	@cmake -S . -B build/release -DZORV_WIDTH=x64 -DZORV_SANITIZE=OFF -DZORV_TESTS=OFF \
	  -DCMAKE_BUILD_TYPE=None >/dev/null

release: setup build/release/CMakeCache.txt
	@cmake --build build/release -j $(JOBS)

# The Python binding, for Debian's interpreter (the one whose numpy, pandas and dask the setup
# installs): `make python` assembles the package in build/python/zorv from the release tree,
# usable as PYTHONPATH=build/python /usr/bin/python3. `make python-test` runs its tests, which
# compare it with the release tree's command.
PYTHON ?= /usr/bin/python3

python: release
	@cmake -S . -B build/release -DZORV_PYTHON=ON -DPython_EXECUTABLE=$(PYTHON) >/dev/null
	@cmake --build build/release -j $(JOBS) --target zorv_python_package

python-test: python
	@echo "== python =="
	@ZORV=build/release/zorv PYTHONPATH=build/python $(PYTHON) -m unittest discover \
	  -s python/tests

# zorv.query against DataFrame.query on a million rows.
bench-python: python
	@PYTHONPATH=build/python $(PYTHON) bench/pandas_bench.py

# Installs the release tree under PREFIX (staged under DESTDIR when given), as laid out in
# cmake/install.cmake: bin/zorv, the versioned libraries in lib/ and the extensions in
# lib/zorv/, include/zorv/, zorv.pc, the CMake package, the manual page.
.PHONY: install install-test
PREFIX ?= /usr/local
# Installed into the system's folders (/usr/local, /usr; no DESTDIR; as root), the loader's
# cache is refreshed, as a package's trigger would, so that programs linked with -lzorv start.
install: release
	@DESTDIR="$(DESTDIR)" cmake --install build/release --prefix "$(abspath $(PREFIX))"
	@case "$(DESTDIR):$(abspath $(PREFIX)):$$(id -u)" in :/usr/local:0|:/usr:0) ldconfig ;; esac

# Installs into a temporary prefix and builds the example against it, with pkg-config and
# with find_package; checks the installed command, libraries and manual page.
install-test: release
	@echo "== install =="
	@bash tests/install/install_test.sh

bench: setup-bench build/bench/CMakeCache.txt
	@cmake --build build/bench -j $(JOBS) --target zorv_bench zorv_cli
	@rc=0; build/bench/zorv_bench || rc=1; \
	  ZORV=build/bench/zorv bash bench/cli_compare.sh || rc=1; \
	  python3 bench/stream_rows.py build/bench/zorv || rc=1; \
	  $(MAKE) bench-python || rc=1; exit $$rc

# Fuzzing runs in a tree of its own: clang, libFuzzer, ASan and UBSan. `make fuzz` runs every
# target for FUZZ_SECONDS from its seed corpus; `make test` runs each for SMOKE_SECONDS, so
# that a reproducer committed to a corpus keeps failing until its fault is fixed.
FUZZ_SECONDS ?= 180
SMOKE_SECONDS ?= 30

build/fuzz/CMakeCache.txt: | setup
	@CC=clang CXX=clang++ cmake -S . -B build/fuzz -DZORV_WIDTH=x64 -DZORV_FUZZ=ON \
	  -DCMAKE_BUILD_TYPE=None >/dev/null

fuzz-build: setup build/fuzz/CMakeCache.txt
	@cmake --build build/fuzz -j $(JOBS)

fuzz: fuzz-build
	@tests/fuzz/run build/fuzz $(FUZZ_SECONDS)

# A long campaign whose executions add up across runs, per fingerprint of the code under
# test (tests/fuzz/campaign): corpora and ledger stay in FUZZ_STATE between runs.
FUZZ_STATE ?= build/fuzz-campaign
fuzz-campaign: fuzz-build
	@tests/fuzz/campaign build/fuzz $(FUZZ_STATE) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# The smoke in `make test` uses a fixed seed, so it explores the same inputs on every run and
# a red CI means a real change, not luck; `make fuzz` draws a new seed each time.
fuzz-smoke: fuzz-build
	@FUZZ_SEED=1 tests/fuzz/run build/fuzz $(SMOKE_SECONDS)

clean:
	rm -rf build

# Thread checks in a tree of their own: x64 under ThreadSanitizer, the library, the host
# runtime, the command and the thread tests only. Any report fails the run.
.PHONY: tsan
build/tsan/CMakeCache.txt: | setup
	@cmake -S . -B build/tsan -DZORV_WIDTH=x64 -DZORV_SANITIZE=OFF -DZORV_TSAN=ON -DCMAKE_BUILD_TYPE=None >/dev/null

tsan: setup build/tsan/CMakeCache.txt
	@cmake --build build/tsan -j $(JOBS)
	@echo "== tsan =="
	@cd build/tsan && ctest --output-on-failure -j $(JOBS)

# Coverage, run by hand (not part of `make test`: the instrumented suite takes minutes): x64
# built by gcc with --coverage at -O0, assertions on, no sanitizers. The counters are cleared,
# the whole suite runs, and scripts/coverage prints lines and branches per folder, writes
# build/coverage/coverage.html and fails when a library folder is below 95% of lines or 85%
# of branches. Branches that are no decision of the code are left out of the count:
#   --exclude-unreachable-branches  edges gcc emits on lines without code of their own
#                                   (closing braces, cleanups of locals);
#   --exclude-throw-branches        the exception edge of every call that might throw: the
#                                   library throws nothing, and neither does the rest on any
#                                   path the tests could choose, so no input takes them;
#   assert lines                    an assertion's failing edge is a broken invariant, which
#                                   no correct input reaches (the lines themselves count).
COVERAGE_FLAGS := --exclude-unreachable-branches --exclude-throw-branches \
  --exclude-branches-by-pattern '.*\bassert\('

setup-coverage:
	@bash scripts/setup coverage

build/coverage/CMakeCache.txt: | setup-coverage
	@cmake -S . -B build/coverage -DZORV_WIDTH=x64 -DZORV_SANITIZE=OFF -DZORV_COVERAGE=ON \
	  -DCMAKE_BUILD_TYPE=None >/dev/null

coverage: setup-coverage build/coverage/CMakeCache.txt
	@cmake --build build/coverage -j $(JOBS)
	@find build/coverage -name '*.gcda' -delete
	@cd build/coverage && ctest --output-on-failure -j $(JOBS)
	@python3 scripts/coverage build/coverage $(COVERAGE_FLAGS)
