# Two entry points for a fresh Debian machine: `make test` and `make demo`.
JOBS ?= $(shell nproc)
BUILD ?= build
# CMake's own makefiles run make in make: without this each of them says where it goes.
MAKEFLAGS += --no-print-directory

.PHONY: all deps build test demo release clean fuzz bench tsan memcheck

all: build

deps:
	@scripts/install-deps

# The benchmarks are built (and their warnings heard) in the release tree, where they are run.
$(BUILD)/asan/CMakeCache.txt:
	cmake -S . -B $(BUILD)/asan -DCMAKE_BUILD_TYPE=Debug -DPVK_SANITIZE=ON -DPVK_BENCH=OFF -DPVK_WERROR=ON

$(BUILD)/release/CMakeCache.txt:
	cmake -S . -B $(BUILD)/release -DCMAKE_BUILD_TYPE=Release -DPVK_TESTS=OFF -DPVK_WERROR=ON

# The stop tests alone under ThreadSanitizer: the library unoptimised (quick to build), one test.
$(BUILD)/tsan/CMakeCache.txt:
	cmake -S . -B $(BUILD)/tsan -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS=-g1 -DCMAKE_C_FLAGS=-g1 \
	  -DPVK_TSAN=ON -DPVK_BENCH=OFF -DPVK_WERROR=ON

build: deps $(BUILD)/asan/CMakeCache.txt
	cmake --build $(BUILD)/asan -j $(JOBS)

release: deps $(BUILD)/release/CMakeCache.txt
	cmake --build $(BUILD)/release -j $(JOBS)

tsan: deps $(BUILD)/tsan/CMakeCache.txt
	cmake --build $(BUILD)/tsan -j $(JOBS) --target test_api_stop

# The raster library's and image output's tests built without the sanitizers, to run under
# valgrind: a byte a file writer never set shows there (the sanitizers fill fresh memory).
memcheck: release
	cmake -S . -B $(BUILD)/release -DPVK_MEMCHECK_TESTS=ON >/dev/null
	cmake --build $(BUILD)/release -j $(JOBS) --target memcheck_rasterlib memcheck_image

# The sanitized build runs every test, the stop tests run again under ThreadSanitizer, then the
# fuzzers; the plain release build of the library is built too. The last line is the verdict
# over all of it.
test: build release tsan memcheck
	@scripts/run-tests $(BUILD) $(JOBS)

# The demo runs inside one directory: the library (and the scan demo's copy of it) linked there
# beside an INI file that names that directory, so configuration, trace, calibration files and
# pictures all stay in it, inside the build tree.
DEMO_DIR = $(abspath $(BUILD)/release/demo)
demo: release
	@rm -rf $(DEMO_DIR) && mkdir -p $(DEMO_DIR)
	@ln -s ../libPlavikMS.so $(DEMO_DIR)/libPlavikMS.so
	@ln -s ../examples/libPlavikMS.so.scan $(DEMO_DIR)/libPlavikMS.so.scan
	@printf '[General]\r\nCnfDir=%s\r\n[OCR]\r\nDBDir=%s\r\n' "$(DEMO_DIR)" "$(abspath $(BUILD)/release/fontdb)" > $(DEMO_DIR)/libPlavikMS.ini
	LD_LIBRARY_PATH=$(BUILD)/release/emulator:$(DEMO_DIR) $(BUILD)/release/examples/pvkdemo
	LD_LIBRARY_PATH=$(BUILD)/release/emulator:$(DEMO_DIR) $(BUILD)/release/examples/pvkscan
	$(BUILD)/release/tools/demo_cheque/demo_cheque $(DEMO_DIR)
	LD_LIBRARY_PATH=$(BUILD)/release/emulator:$(DEMO_DIR) $(BUILD)/release/examples/pvkread $(DEMO_DIR)
	@for c in e13b cmc7; do $(BUILD)/release/tools/demo_cheque/demo_cheque --annotate $(DEMO_DIR) $$c || exit 1; done
	@! grep -a 'err - \|war - ' $(DEMO_DIR)/*.log || { echo "make demo: the traces above hold errors or warnings"; exit 1; }
	@echo "make demo: everything it wrote is in $(DEMO_DIR); the cheques read: e13b_zones.png, cmc7_zones.png"

# The fuzzers for longer, each from a random seed, keeping what they find between runs (make test
# runs them briefly from fixed seeds instead).
FUZZ_SECONDS ?= 60
fuzz: deps
	@BUILD=$(BUILD) JOBS=$(JOBS) scripts/run-fuzzers --long $(FUZZ_SECONDS)

bench: release
	@for b in $$(find $(BUILD)/release/bench -name 'bench_*' -type f -perm -u+x | sort); do [ -x "$$b" ] && LD_LIBRARY_PATH=$(BUILD)/release/emulator:$(BUILD)/release "$$b"; done; true

clean:
	rm -rf $(BUILD)
