# Thin wrapper over CMake + CTest. Every target first installs missing Debian
# packages (scripts/bootstrap.sh does nothing when all are present).
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all bootstrap bootstrap-test configure build run demo package screenshot test test-asan bench format clean

all: build

bootstrap:
	@bash scripts/bootstrap.sh

bootstrap-test:
	@bash scripts/bootstrap.sh --test

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_ARGS)

configure: $(BUILD)/build.ninja

build: bootstrap configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/src/app/brindlecast $(ARGS)

# The program on a private demo mailbox, with temporary settings (scripts/demo.sh).
demo: bootstrap configure
	cmake --build $(BUILD) -j $(JOBS) --target brindlecast
	bash scripts/demo.sh $(BUILD)/src/app/brindlecast

# The Debian package, in $(BUILD)/package/.
package: bootstrap configure
	cmake --build $(BUILD) -j $(JOBS) --target brindlecast bc_desktop_files
	cd $(BUILD) && cpack -G DEB

# The README's picture of the demo, taken under Xvfb.
screenshot: bootstrap configure
	cmake --build $(BUILD) -j $(JOBS) --target brindlecast
	bash scripts/demo-screenshot.sh $(BUILD)/src/app/brindlecast docs/screenshot.png

test: bootstrap-test configure
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: bootstrap-test
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBC_SANITIZE=ON -DBC_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -L unit

bench: build
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
