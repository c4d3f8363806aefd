# make run   — build and start Vesmor
# make test  — build with warnings as errors, check the includes, run every test (plain and
#              sanitizer builds)
# make deps  — install the Debian packages that building and testing need (as root; as another
#              user through sudo). Every other target only checks them, as root installs them,
#              and never runs sudo.
# make install [PREFIX=/usr/local] [DESTDIR=…] — install the built program; make package — a .deb
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 60
PREFIX     ?= /usr/local
# Warnings stop the build where we test; a user's newer compiler may warn where ours does not.
WERROR     ?= OFF
test test-plain test-asan: WERROR = ON

.PHONY: all deps check-deps configure build run test test-plain test-asan check-includes bench fuzz screenshots install package clean

all: build

deps:
	@scripts/install-deps --sudo

check-deps:
	@scripts/install-deps

# Configured each time, so that the warnings switch follows the target (a no-op when unchanged).
configure: check-deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESMOR_WERROR=$(WERROR)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-vesmor $(BUILD)/vesmor

test: check-includes test-plain test-asan

check-includes:
	@scripts/check-includes

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: check-deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVESMOR_SANITIZE=ON -DVESMOR_BENCH=OFF -DVESMOR_WERROR=$(WERROR)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

bench: build
	@scripts/bench $(BUILD)

$(FUZZ_BUILD)/build.ninja: | check-deps
	@scripts/install-deps fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESMOR_FUZZ=ON -DVESMOR_TESTS=OFF -DVESMOR_BENCH=OFF

fuzz: check-deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_profile_reader
	@scripts/fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Never through sudo: a prefix this user can't write to is said so, with what to do instead.
install: build
	@target="$(DESTDIR)$(PREFIX)"; probe="$$target"; \
	while [ ! -e "$$probe" ]; do probe=$$(dirname "$$probe"); done; \
	if [ ! -w "$$probe" ]; then \
	  echo "make install: $$target is not writable by $$(id -un); run it as root, or choose a prefix of your own: make install PREFIX=$$HOME/.local" >&2; \
	  exit 1; \
	fi
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)" --strip

package: build
	cd $(BUILD) && cpack -G DEB

screenshots: build
	@scripts/screenshots $(BUILD) docs/screenshots

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
