# Benchmarks, fuzzing, and the settings that make every sanitizer report fatal.
# docs/performance.md and docs/fuzzing.md describe them.
#
#   make bench                   builds, then runs the benchmark program (BENCH_ARGS: its options)
#   make fuzz                    builds the fuzz targets with Clang in build-fuzz and runs
#                                each for FUZZ_SECONDS (default 60); FUZZ_TARGETS picks some
#   make fuzz-build              only builds them

# Any sanitizer report fails the program that made it (and with it the test or
# the CI step): AddressSanitizer with LeakSanitizer, UndefinedBehaviorSanitizer
# (also built with -fno-sanitize-recover=all), ThreadSanitizer.
export ASAN_OPTIONS ?= detect_leaks=1:halt_on_error=1
# Leaks inside system libraries we do not own are listed, one library a line, here.
export LSAN_OPTIONS ?= suppressions=$(CURDIR)/mk/lsan-suppressions.txt:print_suppressions=0
export UBSAN_OPTIONS ?= halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS ?= halt_on_error=1:second_deadlock_stack=1

.PHONY: bench fuzz fuzz-build

BENCH_ARGS ?=

bench: build
	$(BUILD)/bench/quillon_bench $(BENCH_ARGS)

FUZZ_SECONDS ?= 60
FUZZ_BUILD ?= build-fuzz
FUZZ_TARGETS ?= fw_package uvc_descriptors scenario version_text
FUZZ_CC ?= $(or $(shell command -v clang-14),clang)
FUZZ_CXX ?= $(or $(shell command -v clang++-14),clang++)

# The whole library is instrumented for coverage (fuzzer-no-link) and built
# with AddressSanitizer, UndefinedBehaviorSanitizer and the standard library's
# bounds assertions; only the fuzz targets link libFuzzer itself.
fuzz-build: deps
	CC=$(FUZZ_CC) CXX=$(FUZZ_CXX) cmake -S . -B $(FUZZ_BUILD) -G Ninja \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_FUZZ=ON -DQUILLON_BUILD_TESTS=OFF \
	  -DQUILLON_SANITIZE=address,undefined \
	  "-DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link" \
	  "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link -D_GLIBCXX_ASSERTIONS"
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(FUZZ_TARGETS:%=%_fuzzer)

# Each target grows its own corpus in the build directory from the seeds in
# fuzz/corpus/<target>/; a crashing input lands in $(FUZZ_BUILD)/findings/.
fuzz: fuzz-build
	@set -e; mkdir -p $(FUZZ_BUILD)/findings; \
	for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t; \
	  echo "== fuzzing $$t for $(FUZZ_SECONDS) s"; \
	  $(FUZZ_BUILD)/fuzz/$${t}_fuzzer -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/findings/$$t- \
	    $(FUZZ_BUILD)/corpus/$$t fuzz/corpus/$$t; \
	done
