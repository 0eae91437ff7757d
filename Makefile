# The two commands for a new machine: `make run` and `make test`.
BUILD_DIR ?= build
TOOLCHAIN := cmake/mingw-w64-i686.cmake
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all setup configure build test run bench clean

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

run: setup
	$(MAKE) build
	sh scripts/run $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
