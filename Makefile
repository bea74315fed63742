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
# the upgrade worker and the dialogs' cross-thread requests.
TSAN_TESTS ?= ^(transport|camlib|app|ui|e2e)\.

# Sanitizer runs of the whole suite (address + undefined) and of the tests that use threads.
asan:
	$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=address,undefined"

tsan:
	$(MAKE) build BUILD=build-tsan CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=thread"
	cd build-tsan && ctest --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'

clean:
	rm -rf build build-asan build-tsan

# Further targets (demo, bench, fuzz) live in mk/.
-include mk/*.mk
