# Lathewind: the two set-up commands are `make demo` and `make test`; both install what is missing.
# The other test stages (CI runs them all, see .ci/run and docs/reliability.md):
#   make test-asan        the whole suite under AddressSanitizer + UndefinedBehaviorSanitizer
#   make test-tsan        the concurrency tests under ThreadSanitizer
#   make build-release    a Release build with GCC, warnings as errors
#   make build-clang      a Release build with Clang, warnings as errors
#   make fuzz SECONDS=N   each libFuzzer target for N seconds
#   make tidy             clang-tidy over the plug-in's sources (.clang-tidy), findings fail it
PRESET ?= default
BUILD := build/$(PRESET)
JOBS ?= $(shell nproc)
SECONDS ?= 30
FUZZ_TARGETS := curve_bytes_fuzz scene_text_fuzz svg_path_fuzz render_params_fuzz graph_events_fuzz \
                studio_requests_fuzz
# Tests that run commands on several threads at once (names matched by ctest -R).
TSAN_TESTS := Concurrent|OnTwoThreads|NumberOfJobs|InterruptStops|RenderThreadsTest
PREFIX ?= /usr/local
# Recursive makes (CMake's generated Makefiles) would announce every folder they enter.
MAKEFLAGS += --no-print-directory

.PHONY: deps configure build lathewind install demo test test-asan test-tsan build-release \
	build-clang fuzz bench format tidy clean

deps:
	@scripts/install-deps

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET) -j $(JOBS)

# Only the command, the plug-in and the frei0r plug-ins, without the tests.
lathewind: configure
	@cmake --build --preset $(PRESET) -j $(JOBS) --target lathewind lathewind_frei0r

# The command in PREFIX/bin, the plug-in in PREFIX/lib/lathewind, the frei0r plug-ins in
# PREFIX/lib/frei0r-1 and their Kdenlive descriptions in PREFIX/share/kdenlive (make install
# PREFIX=~/.local).
install: lathewind
	@cmake --install $(BUILD) --prefix "$(PREFIX)"

demo: lathewind
	@$(BUILD)/cli/lathewind about
	@mkdir -p out
	@$(BUILD)/cli/lathewind render -o out/demo.png
	@echo "The demo image is out/demo.png: a textured ribbon along an S-shaped mask."

test: build
	@scripts/install-deps --test
	@ctest --preset $(PRESET) -j $(JOBS)

test-asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@ctest --preset asan -j $(JOBS)

# Only what the concurrency tests need: the plug-in, the command and the two test binaries.
test-tsan: deps
	@cmake --preset tsan >/dev/null
	@cmake --build --preset tsan -j $(JOBS) --target lathewind_plugin_tests lathewind_cli_tests
	@ctest --preset tsan -j $(JOBS) -R '$(TSAN_TESTS)'

build-release: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)

build-clang: deps
	@cmake --preset clang >/dev/null
	@cmake --build --preset clang -j $(JOBS)

# Each target reads its seeds from fuzz/corpus/<target> and keeps what it learns in
# build/fuzz/corpus/<target>; a crashing input is written to build/fuzz/crashes/ and fails the run.
fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS) --target lathewind_fuzz
	@mkdir -p build/fuzz/crashes
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p build/fuzz/corpus/$$t && echo "fuzz: $$t for $(SECONDS) s" && \
	  build/fuzz/fuzz/$$t -max_total_time=$(SECONDS) -timeout=60 -rss_limit_mb=2048 \
	    -print_final_stats=1 -artifact_prefix=build/fuzz/crashes/$$t- \
	    build/fuzz/corpus/$$t fuzz/corpus/$$t 2>build/fuzz/$$t.log || \
	    { tail -n 60 build/fuzz/$$t.log; exit 1; }; \
	  grep -E '^stat::number_of_executed_units|^Done' build/fuzz/$$t.log; \
	done

# `make bench`: builds the bench preset, runs every benchmark, prints one table and writes
# bench/results/latest.json. BASELINE=path/to/Lathewind.so (or BASELINE_REF=<commit>, built by
# scripts/build-baseline-plugin) times a second plug-in side by side in the same run;
# BENCH_ARGS adds options, e.g. BENCH_ARGS='--benchmark_filter=scene/hd --no-memory'.
BASELINE ?=
BASELINE_REF ?=
BENCH_ARGS ?=
bench: deps
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench -j $(JOBS) --target lathewind_bench lathewind lathewind_frei0r
	@base="$(BASELINE)"; \
	if [ -n "$(BASELINE_REF)" ]; then base=$$(scripts/build-baseline-plugin $(BASELINE_REF)) || exit 1; fi; \
	build/bench/bench/lathewind_bench --json=bench/results/latest.json \
	  $${base:+--baseline=$$base} $(BENCH_ARGS)
	@bench/frei0r-ratio build/bench

# Needs only the default preset's compile_commands.json, not a build.
tidy: configure
	@JOBS=$(JOBS) scripts/tidy

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build out
