# The two set-up commands of a new machine are `make run` and `make test`.
BUILD_DIR ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test install bench bench-desktop clean fuzz fuzz-build test-asan test-tsan soak

all: build

deps:
	@scripts/install-deps

$(BUILD_DIR)/build.ninja: CMakeLists.txt | deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS) >/dev/null

configure: deps $(BUILD_DIR)/build.ninja

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@if [ -x $(BUILD_DIR)/Kavrilune/kavrilune ]; then \
		cd $(BUILD_DIR)/Kavrilune && ./kavrilune; \
	else \
		echo "The player window is not built yet; the program folder is staged in $(BUILD_DIR)/Kavrilune."; \
	fi

test: build
	@ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# The program, its data, its menu entry and its icons under PREFIX (below DESTDIR when packaging).
PREFIX ?= /usr/local
install: build
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"

bench: build
	@scripts/run-benches $(BUILD_DIR)

# The whole program beside other desktop players on a private desktop with a sound server; see the
# script for its parameters (ROUND_SECONDS, ROUNDS, BASELINE...).
bench-desktop: build
	@bench/desktop-compare.sh $(BUILD_DIR)

# Reliability runs, kept out of `make test`: fuzzing (clang), the suite under sanitizers, and a soak.
FUZZ_SECONDS ?= 60
SOAK_MINUTES ?= 10

fuzz:
	@JOBS=$(JOBS) scripts/fuzz $(FUZZ_SECONDS)

# The fuzz targets built and not run; CI does this after `make test`.
fuzz-build:
	@JOBS=$(JOBS) scripts/fuzz --compile

test-asan:
	@JOBS=$(JOBS) scripts/test-sanitized asan

test-tsan:
	@JOBS=$(JOBS) scripts/test-sanitized tsan

soak:
	@JOBS=$(JOBS) scripts/soak $(SOAK_MINUTES)

clean:
	@rm -rf $(BUILD_DIR)
