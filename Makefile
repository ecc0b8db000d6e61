# Wendrake: the web installer, cross-compiled for Windows and tested under Wine.
#
#   make demo    build, lay out a demo folder and run the wizard under Wine
#   make test    build and run every test
#   make build   build the executable and every test program without running anything

BUILD ?= build
# Tests and the demo run the 64-bit build under 64-bit Wine: it runs on any x86-64
# kernel, including those without 32-bit support. The shipped executable is 32-bit.
ARCH ?= x86_64
SHIP_BUILD := $(BUILD)/win32
JOBS ?= $(shell nproc)

.PHONY: all deps build test demo clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$(ARCH).cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS)
	cmake -S . -B $(SHIP_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release -DWENDRAKE_TESTS=OFF >/dev/null
	cmake --build $(SHIP_BUILD) -j $(JOBS) --target Wendrake

test: build
	scripts/run-tests.sh $(BUILD)

demo: build
	demo/run.sh $(BUILD)

clean:
	rm -rf $(BUILD)
