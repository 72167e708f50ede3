# Thin wrapper over CMake + CTest. Every target first installs missing Debian
# packages (scripts/bootstrap.sh does nothing when all are present).
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
# BC_WERROR=ON turns every warning (BC_WARNINGS in CMakeLists.txt) into an
# error (CI sets it).
BC_WERROR  ?= OFF
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=
# ccache, where the machine has it, makes a rebuild in a fresh clone quick.
LAUNCHER   := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: all bootstrap bootstrap-test bootstrap-orca configure build run demo package screenshot \
        test test-asan test-tsan test-orca bench format format-check clean

all: build

bootstrap:
	@bash scripts/bootstrap.sh

bootstrap-test:
	@bash scripts/bootstrap.sh --test

bootstrap-orca:
	@bash scripts/bootstrap.sh --orca

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DBC_WERROR=$(BC_WERROR) $(LAUNCHER) $(CMAKE_ARGS)

configure: $(BUILD)/build.ninja

build: bootstrap configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/src/app/brindlecast $(ARGS)

# The program on a private demo mailbox, with temporary settings (scripts/demo.sh).
demo: bootstrap configure
	cmake --build $(BUILD) -j $(JOBS) --target brindlecast
	bash scripts/demo.sh $(BUILD)/src/app/brindlecast

# The Debian package, in $(BUILD)/package/. bc_installed builds all that the
# package installs (cmake/Install.cmake), and nothing else.
package: bootstrap configure
	cmake --build $(BUILD) -j $(JOBS) --target bc_installed
	cd $(BUILD) && cpack -G DEB

# The README's picture of the demo, taken under Xvfb.
screenshot: bootstrap configure
	cmake --build $(BUILD) -j $(JOBS) --target brindlecast
	bash scripts/demo-screenshot.sh $(BUILD)/src/app/brindlecast docs/screenshot.png

# The benchmarks are built too (not run), so one that no longer builds fails here.
test: bootstrap-test configure
	cmake --build $(BUILD) -j $(JOBS) --target all benchmarks
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The unit tests (label "unit", the keyring's too) again under AddressSanitizer
# and UndefinedBehaviorSanitizer.
test-asan: bootstrap-test
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBC_SANITIZE=ON -DBC_BUILD_BENCH=OFF \
	  -DBC_WERROR=$(BC_WERROR) $(LAUNCHER) $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -L unit

# The unit tests that run threads (label "threads": the scheduler, the
# controller and its workers, the speech engine and its player, the envelope
# store, the keyring) under ThreadSanitizer, in a build of their own; the target
# bc_thread_tests builds just their programs (tests/CMakeLists.txt). The
# libraries it cannot see into (D-Bus, PulseAudio, Qt) run threads of their
# own: ignore_noninstrumented_modules leaves what they do inside to them, and
# tests/tsan.supp lists their hand-overs to our code.
test-tsan: bootstrap-test
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBC_TSAN=ON -DBC_BUILD_BENCH=OFF \
	  -DBC_WERROR=$(BC_WERROR) $(LAUNCHER) $(CMAKE_ARGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target bc_thread_tests
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 \
	  suppressions=$(CURDIR)/tests/tsan.supp" \
	  ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -L threads

# The program under the real Orca screen reader on a private desktop, driven by
# key presses and checked by what Orca says (tests/orca/; not part of `test`).
# The transcript, Orca's debug file and the logs land in $(BUILD)/orca-test/.
# ORCA_ARGS=--pending also runs the rows of what is not built yet.
ORCA_ARGS ?=
test-orca: bootstrap-orca configure
	cmake --build $(BUILD) -j $(JOBS) --target brindlecast
	timeout 900 /usr/bin/python3 tests/orca/orca_test.py --out $(BUILD)/orca-test $(ORCA_ARGS) \
	  $(BUILD)/src/app/brindlecast

bench: build
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Fails when any tracked (or new, not ignored) C++ file is not as clang-format
# would write it.
format-check:
	@{ git ls-files '*.cpp' '*.h'; git ls-files --others --exclude-standard '*.cpp' '*.h'; } | \
	  sort -u | xargs -r clang-format --dry-run -Werror

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
