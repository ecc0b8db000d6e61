# Wendrake: the web installer, cross-compiled for Windows and tested under Wine.
#
#   make demo    build, lay out a demo folder and run the wizard under Wine against nginx
#   make dist    build and pack the shipped executable with sample files and the guide
#   make test    build and run every test
#   make build   build the executable and every test program without running anything

BUILD ?= build
# The tests and the demo run the shipped 32-bit build ($(BUILD)/win32) wherever this machine runs
# 32-bit Windows programs, and the 64-bit build ($(BUILD)/win64) elsewhere; scripts/pick-arch.sh
# decides by running a tiny 32-bit program. ARCH=i686 or ARCH=x86_64 decides instead.
export ARCH
export JOBS ?= $(shell nproc)
SHIP_BUILD := $(BUILD)/win32

VERSION := $(shell sed -n 's/.*"ProductVersion", "\([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' resources/Wendrake.rc)
PACKAGE := Wendrake-$(VERSION)

.PHONY: all deps build test demo dist clean

all: build

deps:
	@tools/install-deps.sh

# The shipped executable and the 32-bit test programs.
build: deps
	scripts/build.sh $(BUILD) i686

test: deps
	scripts/test.sh $(BUILD)

demo: deps
	scripts/demo.sh $(BUILD)

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
