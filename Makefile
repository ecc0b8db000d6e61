# Wendrake: the web installer, cross-compiled for Windows and tested under Wine.
#
#   make demo    build, lay out a demo folder and run the wizard under Wine against nginx
#   make dist    build and pack the shipped executable with sample files and the guide
#   make test    build and run every test
#   make build   build the executable and every test program without running anything

BUILD ?= build
# Tests and the demo run the 64-bit build under 64-bit Wine: it runs on any x86-64
# kernel, including those without 32-bit support. The shipped executable is 32-bit.
ARCH ?= x86_64
SHIP_BUILD := $(BUILD)/win32
JOBS ?= $(shell nproc)

VERSION := $(shell sed -n 's/.*"ProductVersion", "\([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' resources/Wendrake.rc)
PACKAGE := Wendrake-$(VERSION)

.PHONY: all deps build test demo dist clean

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

# The release package: the shipped 32-bit executable, the sample settings and texts (with
# Windows line ends, for Notepad), the two pictures and the distributor's guide.
dist: build
	rm -rf $(BUILD)/dist/$(PACKAGE) $(BUILD)/dist/$(PACKAGE).zip
	mkdir -p $(BUILD)/dist/$(PACKAGE)
	cp $(SHIP_BUILD)/Wendrake.exe docs/DISTRIBUTING.md $(BUILD)/dist/$(PACKAGE)/
	sed 's/$$/\r/' demo/ConfigParams.ini > $(BUILD)/dist/$(PACKAGE)/ConfigParams.ini
	sed 's/$$/\r/' demo/Language.ini > $(BUILD)/dist/$(PACKAGE)/Language.ini
	demo/make_pictures.sh $(BUILD)/dist/$(PACKAGE)
	cd $(BUILD)/dist && zip -q -X -r $(PACKAGE).zip $(PACKAGE)
	@unzip -l $(BUILD)/dist/$(PACKAGE).zip

clean:
	rm -rf $(BUILD)
