# Two entry points for a fresh Debian machine: `make test` and `make demo`.
JOBS ?= $(shell nproc)
BUILD ?= build

.PHONY: all deps build test demo release clean fuzz bench tsan

all: build

deps:
	@scripts/install-deps

$(BUILD)/asan/CMakeCache.txt:
	cmake -S . -B $(BUILD)/asan -DCMAKE_BUILD_TYPE=Debug -DPVK_SANITIZE=ON

$(BUILD)/release/CMakeCache.txt:
	cmake -S . -B $(BUILD)/release -DCMAKE_BUILD_TYPE=Release -DPVK_TESTS=OFF

# The stop tests alone under ThreadSanitizer: the library unoptimised (quick to build), one test.
$(BUILD)/tsan/CMakeCache.txt:
	cmake -S . -B $(BUILD)/tsan -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS=-g1 -DCMAKE_C_FLAGS=-g1 \
	  -DPVK_TSAN=ON -DPVK_BENCH=OFF

build: deps $(BUILD)/asan/CMakeCache.txt
	cmake --build $(BUILD)/asan -j $(JOBS)

release: deps $(BUILD)/release/CMakeCache.txt
	cmake --build $(BUILD)/release -j $(JOBS)

tsan: deps $(BUILD)/tsan/CMakeCache.txt
	cmake --build $(BUILD)/tsan -j $(JOBS) --target test_api_stop

# The sanitized build runs every test; the plain release build of the library is built too, and
# the stop tests run again under ThreadSanitizer.
test: build release tsan
	cd $(BUILD)/asan && ctest --output-on-failure -j $(JOBS) --timeout 300
	cd $(BUILD)/tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) --timeout 300
	@if [ -x scripts/run-fuzzers ]; then scripts/run-fuzzers; fi

# The demo's INI file beside the release library keeps its configuration and trace inside the
# build tree, so the demo runs wherever /home/ is not writable.
DEMO_DIR = $(abspath $(BUILD)/release/demo)
demo: release
	@mkdir -p $(DEMO_DIR)
	@printf '[General]\r\nCnfDir=%s\r\n[OCR]\r\nDBDir=%s\r\n' "$(DEMO_DIR)" "$(abspath $(BUILD)/release/fontdb)" > $(BUILD)/release/libPlavikMS.ini
	LD_LIBRARY_PATH=$(BUILD)/release/emulator:$(BUILD)/release $(BUILD)/release/examples/pvkdemo
	LD_LIBRARY_PATH=$(BUILD)/release/emulator:$(BUILD)/release $(BUILD)/release/examples/pvkscan

bench: release
	@for b in $$(find $(BUILD)/release/bench -name 'bench_*' -type f -perm -u+x | sort); do [ -x "$$b" ] && LD_LIBRARY_PATH=$(BUILD)/release/emulator:$(BUILD)/release "$$b"; done; true

clean:
	rm -rf $(BUILD)
