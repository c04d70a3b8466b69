# Front door: `make test` installs what is missing, builds both widths and runs every test.
WIDTHS := x86 x64
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc)

.PHONY: all setup setup-bench configure build test run bench release fuzz fuzz-build fuzz-smoke clean \
	python python-test bench-python

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
# sqlite3 and mlr besides the build's packages: `scripts/setup bench` adds them. Both parts
# always run; the target fails afterwards if either missed a target or found a disagreement.
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

bench: setup-bench build/bench/CMakeCache.txt
	@cmake --build build/bench -j $(JOBS) --target zorv_bench zorv_cli
	@rc=0; build/bench/zorv_bench || rc=1; \
	  ZORV=build/bench/zorv bash bench/cli_compare.sh || rc=1; \
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
