# make run   — build the program alone (in build/) and start it
# make test  — build with warnings as errors in build-test/ and, with the sanitizers, in
#              build-asan/, check the includes, run every test in both (the link check,
#              scripts/check-links, is one of them). The folders are the tests' own: switching
#              between make run and make test rebuilds neither.
# make deps  — install the Debian packages that building and running need (as root; as another
#              user through sudo); make deps-test adds what the tests need. Every other target
#              only checks the packages it needs, as root installs them, and never runs sudo.
# make install [PREFIX=/usr/local] [DESTDIR=…] — install the built program; make uninstall
#              removes it again; make package — a .deb
BUILD      ?= build
TEST_BUILD ?= build-test
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 60
PREFIX     ?= /usr/local
# Warnings stop the build where we test; a user's newer compiler may warn where ours does not.
WERROR     ?= OFF

.PHONY: all deps deps-test check-deps build run test test-build test-plain test-asan check-includes check-links bench fuzz \
        screenshots install uninstall package installed packed clean

all: build

deps:
	@scripts/install-deps --sudo

deps-test:
	@scripts/install-deps --sudo test

check-deps:
	@scripts/install-deps

# Configures a build folder when it is new or when one of the switches given differs from its
# cache; otherwise the build itself reruns CMake where a CMakeLists.txt changed.
define configure
	@ok=1; for d in $(2); do nv=$${d#-D}; grep -q "^$${nv%%=*}:[A-Z]*=$${nv#*=}$$" $(1)/CMakeCache.txt 2>/dev/null || ok=0; done; \
	if [ $$ok = 0 ] || [ ! -f $(1)/build.ninja ]; then \
	  echo "cmake -S . -B $(1) -G Ninja $(2)"; cmake -S . -B $(1) -G Ninja $(2); \
	fi
endef

# The program only: no test or benchmark is built or linked here.
build: check-deps
	$(call configure,$(BUILD),-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESMOR_WERROR=$(WERROR) -DVESMOR_TESTS=OFF -DVESMOR_BENCH=OFF)
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-vesmor $(BUILD)/vesmor

test: check-includes test-plain test-asan

check-includes:
	@scripts/check-includes

# The built libraries against the same READMEs (make test runs it among the tests).
check-links: test-build
	@scripts/check-links $(TEST_BUILD)

test-build:
	@scripts/install-deps test
	$(call configure,$(TEST_BUILD),-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESMOR_WERROR=ON -DVESMOR_TESTS=ON -DVESMOR_BENCH=ON)
	cmake --build $(TEST_BUILD) -j $(JOBS)

test-plain: test-build
	cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan:
	@scripts/install-deps test
	$(call configure,$(ASAN_BUILD),-DCMAKE_BUILD_TYPE=Debug -DVESMOR_SANITIZE=ON -DVESMOR_WERROR=ON -DVESMOR_TESTS=ON -DVESMOR_BENCH=OFF)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# The benchmarks are built beside the tests, optimised like the program.
bench: test-build
	@scripts/bench $(TEST_BUILD)

$(FUZZ_BUILD)/build.ninja: | check-deps
	@scripts/install-deps fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESMOR_FUZZ=ON -DVESMOR_TESTS=OFF -DVESMOR_BENCH=OFF

fuzz: check-deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_profile_reader
	@scripts/fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)

# install and package are run as root in a user's checkout (sudo make install): whatever root
# writes in the build folder, built or not, is handed back to the checkout's owner afterwards.
install:
	@$(MAKE) --no-print-directory build installed; status=$$?; scripts/hand-back $(BUILD); exit $$status

package:
	@$(MAKE) --no-print-directory build packed; status=$$?; scripts/hand-back $(BUILD); exit $$status

# Never through sudo: a prefix this user can't write to is said so, with what to do instead.
installed:
	@target="$(DESTDIR)$(PREFIX)"; probe="$$target"; \
	while [ ! -e "$$probe" ]; do probe=$$(dirname "$$probe"); done; \
	if [ ! -w "$$probe" ]; then \
	  echo "make install: $$target is not writable by $$(id -un); run it as root, or choose a prefix of your own: make install PREFIX=$$HOME/.local" >&2; \
	  exit 1; \
	fi
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)" --strip

# cpack installs into a tree of its own through the same install script, which rewrites the
# install manifest: the one of the real install is kept, or make uninstall would remove the
# package's files.
packed:
	@scripts/install-deps package
	@cd $(BUILD) && if [ -f install_manifest.txt ]; then mv install_manifest.txt install_manifest.kept; fi; \
	cpack -G DEB; status=$$?; \
	rm -f install_manifest.txt; if [ -f install_manifest.kept ]; then mv install_manifest.kept install_manifest.txt; fi; \
	exit $$status

uninstall:
	@DESTDIR="$(DESTDIR)" scripts/uninstall $(BUILD)/install_manifest.txt

screenshots: build
	@scripts/install-deps screenshots
	@scripts/screenshots $(BUILD) docs/screenshots

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
