# Lathewind: the two set-up commands are `make demo` and `make test`; both install what is missing.
PRESET ?= default
BUILD := build/$(PRESET)
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
# Recursive makes (CMake's generated Makefiles) would announce every folder they enter.
MAKEFLAGS += --no-print-directory

.PHONY: deps configure build lathewind install demo test bench format clean

deps:
	@scripts/install-deps

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET) -j $(JOBS)

# Only the command and the plug-in, without the tests.
lathewind: configure
	@cmake --build --preset $(PRESET) -j $(JOBS) --target lathewind

# The command in PREFIX/bin, the plug-in in PREFIX/lib/lathewind (make install PREFIX=~/.local).
install: lathewind
	@cmake --install $(BUILD) --prefix "$(PREFIX)"

demo: lathewind
	@$(BUILD)/cli/lathewind about
	@mkdir -p out
	@$(BUILD)/cli/lathewind render -o out/demo.png
	@echo "The demo image is out/demo.png: a textured ribbon along an S-shaped mask."

test: build
	@ctest --preset $(PRESET) -j $(JOBS)

bench:
	@echo "no benchmarks yet"

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build out
