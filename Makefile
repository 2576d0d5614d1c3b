# Entry points:
#   make deps    install packages and build the MinGW libraries (idempotent)
#   make demo    build, then run the main job on the embedded default
#   make test    check the sources' form, build every configuration, run every test
#   make lint    the form alone: C++ layout (clang-format-14), shell scripts (shellcheck)
#   make native | win64 | win32 | release | tsan   build one configuration
# Build trees: build/native (g++, ASan+UBSan, tests and tools),
# build/release (g++ optimised: demo and benchmarks), build/tsan (the threaded
# tests with ThreadSanitizer), build/win64 and
# build/win32 (MinGW-w64 cross builds of zdl.exe).
SHELL := /bin/bash
ROOT := $(abspath .)
CACHE ?= /var/cache/zdl-deps
JOBS ?= $(shell nproc)
SOURCE_URL ?=
WEB_HOST ?=
# The publisher's minisign public key line (and a second one while keys are
# rotated): the built zdl.exe then installs only releases signed with it.
PUBLIC_KEY ?=
PUBLIC_KEY2 ?=
# Each option given sets its CMake variable; one left out returns to the
# default (a loopback demo address, no key), so a tree always matches the
# command line that built it.
opt = $(if $(2),'-D$(1)=$(2)','-U$(1)')
url_opt = $(call opt,ZDL_SOURCE_URL,$(SOURCE_URL)) $(call opt,ZDL_WEB_HOST,$(WEB_HOST)) \
  $(call opt,ZDL_PUBLIC_KEY,$(PUBLIC_KEY)) $(call opt,ZDL_PUBLIC_KEY2,$(PUBLIC_KEY2))
CMAKE_COMMON = -G Ninja -DZDL_WERROR=ON $(url_opt)

.PHONY: FORCE lint deps deps-demo native release tsan tsan-tests win64 win32 demo-win64 demo-keys all test test-native test-win64 demo demo-headless journey bench fuzz clean

deps:
	@scripts/deps.sh

# The demo runs the 64-bit zdl.exe only: no 32-bit Wine, no i686 libraries.
deps-demo:
	@scripts/deps.sh --64-only

# A tree's options as last configured: rewritten only when they change, so
# that a changed SOURCE_URL or PUBLIC_KEY configures an existing tree again
# (cmake otherwise runs only for a new tree).
build/%/zdl-options: FORCE
	@mkdir -p $(@D)
	@printf '%s\n' $(url_opt) > $@.new
	@if cmp -s $@.new $@; then rm $@.new; else mv $@.new $@; fi

build/native/build.ninja: build/native/zdl-options
	cmake -S . -B build/native $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Debug -DZDL_SANITIZE=ON

build/release/build.ninja: build/release/zdl-options
	cmake -S . -B build/release $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Release -DZDL_BUILD_TESTS=OFF

# The cross builds take the skin archive and the host tools' output from the
# native release build (the tools are host programs).
# The threaded tests only (page, poll runs, licence page, core sessions,
# progress, channels) with ThreadSanitizer; the skin comes from the release tree.
TSAN_TESTS := app_page_test app_poll_runs_test app_licence_page_test core_client_session_test core_client_progress_test core_client_channel_test
build/tsan/build.ninja: build/tsan/zdl-options
	cmake -S . -B build/tsan $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZDL_TSAN=ON \
	  -DZDL_HOST_SKIN_DIR=$(ROOT)/build/release/res

build/win64/build.ninja: build/win64/zdl-options
	cmake -S . -B build/win64 $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CACHE)/toolchain-x86_64.cmake -DZDL_HOST_SKIN_DIR=$(ROOT)/build/release/res

# The demo's own Windows tree: the options of build/win64 with the demo's
# key and its two mirrors (make demo gives them), so that the tests' tree
# stays a development build with one server.
build/demo-win64/build.ninja: build/demo-win64/zdl-options
	cmake -S . -B build/demo-win64 $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CACHE)/toolchain-x86_64.cmake -DZDL_HOST_SKIN_DIR=$(ROOT)/build/release/res

build/win32/build.ninja: build/win32/zdl-options
	cmake -S . -B build/win32 $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CACHE)/toolchain-i686.cmake -DZDL_HOST_SKIN_DIR=$(ROOT)/build/release/res

native: build/native/build.ninja
	cmake --build build/native -j $(JOBS)

release: build/release/build.ninja
	cmake --build build/release -j $(JOBS)

tsan: release build/tsan/build.ninja
	cmake --build build/tsan -j $(JOBS) --target $(TSAN_TESTS) zdl_fake_core

tsan-tests:
	@echo $(TSAN_TESTS)

win64: release build/win64/build.ninja
	cmake --build build/win64 -j $(JOBS)

win32: release build/win32/build.ninja
	cmake --build build/win32 -j $(JOBS)

all: native release win64 win32

test: deps
	@scripts/test-all.sh

lint:
	@scripts/lint.sh

# The window journey under Wine and its storyboard, as a publisher ships
# it: a key pair made once in build/demo-keys, zdl.exe built with its public
# key and two loopback mirrors, the sample release signed with it and served
# by two nginx. demo-headless is the download without a window.
DEMO_KEYS := build/demo-keys
DEMO_MIRRORS := http://127.0.0.1:8089/zphdownload_setup.exe.data;http://127.0.0.1:8090/zphdownload_setup.exe.data
demo: deps-demo
	@$(MAKE) --no-print-directory release
	@$(MAKE) --no-print-directory demo-keys
	@$(MAKE) --no-print-directory demo-win64 'SOURCE_URL=$(DEMO_MIRRORS)' "PUBLIC_KEY=$$(sed -n 2p $(DEMO_KEYS)/demo.pub)"
	@ZDL_DEMO_KEY=$(ROOT)/$(DEMO_KEYS)/demo.key scripts/demo-journey.sh

# A key pair without a password (a demo's key guards nothing), made once.
demo-keys: $(DEMO_KEYS)/demo.pub
$(DEMO_KEYS)/demo.pub:
	@mkdir -p $(@D)
	build/release/tools/mkdesc/zdl-mkdesc --keygen $@ $(@D)/demo.key --no-password

# zdl.exe and the journey's helpers only; make demo gives the options.
demo-win64: build/demo-win64/build.ninja
	cmake --build build/demo-win64 -j $(JOBS) --target zdl zdl_standin_game zdl_readlink

demo-headless: deps
	@$(MAKE) --no-print-directory release win64 win32
	@scripts/demo.sh

# A whole install under Wine with real mouse clicks, against a served sample
# client; screenshots in build/journey.
journey: deps
	@$(MAKE) --no-print-directory release win64
	@tests/ui_win/journey.sh build/win64/zdl.exe build/release build/journey

bench: deps release
	@scripts/bench-all.sh

fuzz: deps
	@scripts/run-fuzz.sh

clean:
	rm -rf build
