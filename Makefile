# Front door: `make test` installs what is missing, builds both widths and runs every test.
WIDTHS := x86 x64
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc)

.PHONY: all setup configure build test run bench clean

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
