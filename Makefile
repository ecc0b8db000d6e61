# Wendrake: the web installer, cross-compiled for Windows and tested under Wine.
#
#   make demo    build, lay out a demo folder and run the wizard under Wine against nginx
#   make dist    build and zip the shipped executable and checker with the sample package, loose
#                and packed into one signed file, and the guide
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

# The release package: the shipped 32-bit installer and package checker, the sample settings and
# texts with Windows line ends, the two pictures, the distributor's guide, and the sample package
# packed into the installer (CorvanaPokerWebSetup.exe). The executables are signed when SIGN_CERT
# and SIGN_KEY name a certificate and its key (SIGN_TIMESTAMP optional). The packing runs the
# checker under Wine: the shipped one where this machine runs 32-bit programs, else the 64-bit
# build of it, beside the shipped Wendrake.exe.
dist: build
	@arch=$$(scripts/pick-arch.sh | head -n 1); runner=$(SHIP_BUILD); \
	if [ "$$arch" != i686 ]; then scripts/build.sh $(BUILD) $$arch; runner=$(BUILD)/win64; fi; \
	SIGN_CERT='$(SIGN_CERT)' SIGN_KEY='$(SIGN_KEY)' SIGN_TIMESTAMP='$(SIGN_TIMESTAMP)' \
	  tools/dist.sh $(SHIP_BUILD) $(PACKAGE) $(BUILD)/dist $$runner

clean:
	rm -rf $(BUILD)
