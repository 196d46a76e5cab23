# Two commands on a fresh machine:
#   make run    build, run the program on the shipped example, show matrix.out
#   make test   build and run every test
# Hardening:
#   make test-asan  every test again, built with AddressSanitizer and
#                   UndefinedBehaviorSanitizer (in build-asan)
#   make fuzz       build the fuzz targets with clang (in build-fuzz) and run
#                   each for FUZZ_SECONDS; fails on any finding
#   make test-baseline  the bitwise digests again with the solver built
#                   without its AVX2/AVX-512 clones (in build-baseline), as a
#                   CPU without AVX2 runs it
BUILD   ?= build
EXAMPLE ?= order2
JOBS    ?= 2
ASAN_BUILD   ?= build-asan
BASELINE_BUILD ?= build-baseline
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_CXX     ?= clang++
FUZZ_TARGETS := fuzz_reader fuzz_solver

.PHONY: all configure build run test test-asan test-baseline fuzz bench clean

all: build

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

configure: $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	rm -rf $(BUILD)/run && mkdir -p $(BUILD)/run
	cp examples/$(EXAMPLE)/matrix.in $(BUILD)/run/
	cd $(BUILD)/run && ../geneig; status=$$?; cat matrix.out 2>/dev/null; exit $$status

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# A sanitizer report ends the process with its own status, so that it can
# never pass for the program's documented exit status 1.
SANITIZER_ENV := ASAN_OPTIONS=exitcode=86:detect_leaks=1:abort_on_error=0 \
                 UBSAN_OPTIONS=exitcode=87:print_stacktrace=1:halt_on_error=1

$(ASAN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DGENEIG_SANITIZE=ON

test-asan: $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	$(SANITIZER_ENV) ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

$(BASELINE_BUILD)/CMakeCache.txt:
	cmake -S . -B $(BASELINE_BUILD) -DCMAKE_BUILD_TYPE=Release -DGENEIG_NO_CLONES=ON

test-baseline: $(BASELINE_BUILD)/CMakeCache.txt
	cmake --build $(BASELINE_BUILD) -j $(JOBS) --target test_digest
	$(BASELINE_BUILD)/tests/test_digest

$(FUZZ_BUILD)/CMakeCache.txt:
	cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=$(FUZZ_CXX)

# Each target runs alone (two cores: the build may use both, a fuzzer one),
# growing a working corpus in the build directory from the seeds in
# fuzz/corpus; findings go to $(FUZZ_BUILD)/artifacts and fail the run.
fuzz: $(FUZZ_BUILD)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(FUZZ_TARGETS)
	mkdir -p $(FUZZ_BUILD)/artifacts
	set -e; for t in $(FUZZ_TARGETS); do \
	  seeds=fuzz/corpus/$${t#fuzz_}; work=$(FUZZ_BUILD)/corpus/$${t#fuzz_}; \
	  mkdir -p $$work; dict=; [ -f fuzz/$${t#fuzz_}.dict ] && dict=-dict=fuzz/$${t#fuzz_}.dict; \
	  echo "== $$t: $(FUZZ_SECONDS) s"; \
	  $(FUZZ_BUILD)/$$t $$dict -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 \
	    -close_fd_mask=1 -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$t- \
	    $$work $$seeds 2>$(FUZZ_BUILD)/$$t.log || { tail -n 60 $(FUZZ_BUILD)/$$t.log; exit 1; }; \
	  grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added)' $(FUZZ_BUILD)/$$t.log; \
	done

bench: configure
	cmake --build $(BUILD) -j $(JOBS) --target geneig_bench
	$(BUILD)/bench/geneig_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BASELINE_BUILD) $(FUZZ_BUILD)

# Other compilers and architectures: the bitwise digests, and the program's
# result files on generated pencils (cross/make_pencils.sh) byte for byte
# against the x86-64 g++ build in $(BUILD).
#   make test-clang  built with clang++ (in build-clang)
#   make test-cross  cross-compiled for aarch64, run under qemu-aarch64
#                    (in build-aarch64)
#   make test-i686   cross-compiled for 32-bit x86 with SSE2 arithmetic, run
#                    under qemu-i386 (in build-i686)
CLANG_BUILD ?= build-clang
CLANG_CXX   ?= clang++

.PHONY: test-clang test-cross test-i686 clean-platforms

$(CLANG_BUILD)/CMakeCache.txt:
	cmake -S . -B $(CLANG_BUILD) -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=$(CLANG_CXX)

test-clang: build $(CLANG_BUILD)/CMakeCache.txt
	cmake --build $(CLANG_BUILD) -j $(JOBS) --target test_digest geneig
	$(CLANG_BUILD)/tests/test_digest
	cross/same_results.sh $(BUILD)/geneig $(CLANG_BUILD)/geneig

build-%/CMakeCache.txt: cmake/%-linux-gnu.cmake
	cmake -S cross -B build-$* --toolchain $(CURDIR)/$<

# $(call cross_check,ARCH,EMULATOR)
cross_check = cmake --build build-$(1) -j $(JOBS) && $(2) build-$(1)/test_digest && \
              cross/same_results.sh $(BUILD)/geneig build-$(1)/geneig $(2)

test-cross: build build-aarch64/CMakeCache.txt
	$(call cross_check,aarch64,qemu-aarch64)

test-i686: build build-i686/CMakeCache.txt
	$(call cross_check,i686,qemu-i386)

clean: clean-platforms
clean-platforms:
	rm -rf $(CLANG_BUILD) build-aarch64 build-i686
