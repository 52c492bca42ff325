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
	@scripts/install-deps --test
	@ctest --preset $(PRESET) -j $(JOBS)

bench:
	@echo "no benchmarks yet"

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build out
