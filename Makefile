# The two commands of the README: `make demo` and `make test`.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps configure build test demo asan tsan clean

all: build

deps:
	@scripts/install-deps --check 2>/dev/null || scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The test programs whose code uses threads: timed calls, enumeration probes,
# the upgrade worker and the dialogs' cross-thread requests. Only they (and
# what they need) are built for ThreadSanitizer: camlib's tests also run a C
# program against the shared library.
TSAN_PROGRAMS ?= transport camlib app ui e2e
TSAN_TARGETS ?= $(TSAN_PROGRAMS:%=%_tests) camlib camlib_c_test
TSAN_TESTS ?= ^($(subst $(eval) ,|,$(strip $(TSAN_PROGRAMS))))\.

# Sanitizer runs of the whole suite (address + undefined) and of the tests that use threads.
asan:
	$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=address,undefined"

tsan:
	$(MAKE) configure BUILD=build-tsan CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=thread"
	cmake --build build-tsan -j $(JOBS) --target $(TSAN_TARGETS)
	cd build-tsan && ctest --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'

clean:
	rm -rf build build-asan build-tsan

# Further targets (demo, bench, fuzz) live in mk/.
-include mk/*.mk
