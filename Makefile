# The two commands for a new machine: `make run` and `make test`.
BUILD_DIR ?= build
TOOLCHAIN := cmake/mingw-w64-i686.cmake
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

# The build that runs here: the program's own 32-bit build, or, where the
# kernel runs no 32-bit code, a 64-bit build of the same sources in
# $(BUILD_DIR)/x86_64 (scripts/arch). `make build` always builds the former.
# scripts/arch can tell only once setup has installed Wine, so the targets
# that run something call make again after setup.
ARCH := $(shell sh scripts/arch)
ifeq ($(ARCH),x86_64)
RUN_DIR := $(BUILD_DIR)/x86_64
else
RUN_DIR := $(BUILD_DIR)
endif

.PHONY: all setup configure build build-run test test-here test-matrix \
        test-matrix-here run run-here bench bench-here clean

all: build

setup:
	sh scripts/setup

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_TOOLCHAIN_FILE=$(TOOLCHAIN) -DCMAKE_BUILD_TYPE=Release

configure: $(BUILD_DIR)/CMakeCache.txt

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

build-run: build
ifneq ($(RUN_DIR),$(BUILD_DIR))
	cmake -S . -B $(RUN_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	    -DCMAKE_BUILD_TYPE=Release
	cmake --build $(RUN_DIR) -j $(JOBS)
endif

test: setup
	$(MAKE) test-here

test-here: build-run
	cd $(RUN_DIR) && ctest --output-on-failure

# The whole suite once per Windows version that the test prefix reports, each
# run in a fresh prefix of the build's own test environment.
WINVERS ?= win2k winxp win7 win10
test-matrix: setup
	$(MAKE) test-matrix-here

test-matrix-here: build-run
	@failed=""; \
	for v in $(WINVERS); do \
	    echo "== test-matrix: $$v"; \
	    (cd $(RUN_DIR) && VANTIX_WINVER=$$v ctest --output-on-failure) || failed="$$failed $$v"; \
	done; \
	if [ -n "$$failed" ]; then echo "test-matrix: failed on$$failed"; exit 1; fi; \
	echo "test-matrix: passed on $(WINVERS)"

run: setup
	$(MAKE) run-here

run-here: build-run
	sh scripts/run $(RUN_DIR)

bench: setup
	$(MAKE) bench-here

bench-here: build-run
	sh scripts/bench $(RUN_DIR)

clean:
	rm -rf $(BUILD_DIR)
