# Lathewind: the two set-up commands are `make demo` and `make test`; both install what is missing.
PRESET ?= default
BUILD := build/$(PRESET)
JOBS ?= $(shell nproc)

.PHONY: deps configure build demo test bench format clean

deps:
	@scripts/install-deps

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET) -j $(JOBS)

demo: build
	@$(BUILD)/cli/lathewind about
	@mkdir -p out
	@$(BUILD)/cli/lathewind render -o out/demo.png
	@echo "The demo image is out/demo.png: a textured ribbon along an S-shaped mask."

test: build
	@ctest --preset $(PRESET) -j $(JOBS)

# `make bench`: builds the bench preset, runs every benchmark, prints one table and writes
# bench/results/latest.json. BASELINE=path/to/Lathewind.so (or BASELINE_REF=<commit>, built by
# scripts/build-baseline-plugin) times a second plug-in side by side in the same run;
# BENCH_ARGS adds options, e.g. BENCH_ARGS='--benchmark_filter=scene/hd --no-memory'.
BASELINE ?=
BASELINE_REF ?=
BENCH_ARGS ?=
bench: deps
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench -j $(JOBS) --target lathewind_bench lathewind
	@base="$(BASELINE)"; \
	if [ -n "$(BASELINE_REF)" ]; then base=$$(scripts/build-baseline-plugin $(BASELINE_REF)) || exit 1; fi; \
	build/bench/bench/lathewind_bench --json=bench/results/latest.json \
	  $${base:+--baseline=$$base} $(BENCH_ARGS)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build out
