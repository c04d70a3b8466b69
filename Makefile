# Front door: `make test` installs what is missing, builds both widths and runs every test.
WIDTHS := x86 x64
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc)

.PHONY: all setup configure build test run bench fuzz fuzz-build fuzz-smoke clean

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
	@echo "== fuzz smoke =="
	@$(MAKE) fuzz-smoke

# A clause over the bundled sample table (data/sample.csv) that shows the optimiser at work:
# two comparisons of price merged into one range, the IN list sorted and its duplicate
# dropped, the NOT pushed down into its comparisons and the AND flattened, cheap tests first.
SAMPLE_CLAUSE := price > 100 AND price <= 200 AND city IN ('Oslo', 'Basel', 'Oslo', 'Austin') AND NOT (qty < 10 OR flag = 1)

run: build
	@echo "zorv explain \"$(SAMPLE_CLAUSE)\""
	@build/x64/zorv explain "$(SAMPLE_CLAUSE)"

# Benchmarks run in a tree of their own: native, optimised, no sanitizers.
build/bench/CMakeCache.txt: | setup
	@cmake -S . -B build/bench -DZORV_WIDTH=x64 -DZORV_SANITIZE=OFF -DCMAKE_BUILD_TYPE=None >/dev/null

bench: setup build/bench/CMakeCache.txt
	@cmake --build build/bench -j $(JOBS) --target zorv_bench && build/bench/zorv_bench

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

fuzz-smoke: fuzz-build
	@tests/fuzz/run build/fuzz $(SMOKE_SECONDS)

clean:
	rm -rf build
