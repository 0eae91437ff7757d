# The two commands for a new machine: `make run` and `make test`.
BUILD_DIR ?= build
TOOLCHAIN := cmake/mingw-w64-i686.cmake
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all setup configure build test test-matrix run bench clean

all: build

setup:
	sh scripts/setup

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_TOOLCHAIN_FILE=$(TOOLCHAIN) -DCMAKE_BUILD_TYPE=Release

configure: $(BUILD_DIR)/CMakeCache.txt

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: setup
	$(MAKE) build
	cd $(BUILD_DIR) && ctest --output-on-failure

# The whole suite once per Windows version that the test prefix reports, each
# run in a fresh prefix of the build's own test environment.
WINVERS ?= win2k winxp win7 win10
test-matrix: setup
	$(MAKE) build
	@failed=""; \
	for v in $(WINVERS); do \
	    echo "== test-matrix: $$v"; \
	    (cd $(BUILD_DIR) && VANTIX_WINVER=$$v ctest --output-on-failure) || failed="$$failed $$v"; \
	done; \
	if [ -n "$$failed" ]; then echo "test-matrix: failed on$$failed"; exit 1; fi; \
	echo "test-matrix: passed on $(WINVERS)"

run: setup
	$(MAKE) build
	sh scripts/run $(BUILD_DIR)

bench: setup
	$(MAKE) build
	sh scripts/bench $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
