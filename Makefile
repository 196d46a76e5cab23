# Two commands on a fresh machine:
#   make run    build the program alone (a C++20 compiler, CMake and make are
#               all it needs), run it on the shipped example, show matrix.out
#   make test   build and run every test (GoogleTest, reference LAPACK, and
#               pytest on the Python module); run as root, it first installs
#               the Debian packages the tests need that are missing
# Python:
#   make python the Python module geneig (in $(BUILD)/python), built and
#               imported; cmake --install puts it in the prefix's
#               site-packages
#   make test-python-slow  the module's slow tests (memory growth over
#               repeated stacks of 10,000 pencils)
#   make bench-python  the module's throughput against SciPy, its overhead
#               and its scaling on two threads
# Hardening:
#   make test-asan  every test again, built with AddressSanitizer and
#                   UndefinedBehaviorSanitizer (in build-asan)
#   make fuzz       build the fuzz targets with clang (in build-fuzz) and run
#                   each for FUZZ_SECONDS; fails on any finding
#   make test-baseline  the bitwise digests again with the solver built
#                   without its AVX2/AVX-512 clones (in build-baseline), as a
#                   CPU without AVX2 runs it
#   make test-avx2  the same with the solver built for AVX2 alone (in
#                   build-avx2): the 256-bit registers of the AVX2 kernels,
#                   which a CPU with AVX-512 never calls (needs AVX2)
#   make test-tsan  the threaded reentrancy tests (C++ and C entries) and the
#                   guard of the static workspace, built with ThreadSanitizer
#                   (in build-tsan)
# Installation:
#   make test-install  install into a temporary prefix and build and run the
#                   Fortran, C and C++ examples against the installed tree
#   make test-without-gtest  make run on a fresh clone without GoogleTest
#   make deps       install the Debian packages every command needs (as root)
# Tests and benchmarks are configured only by the commands that need them;
# where a prerequisite is missing, the command stops with one line naming
# the Debian packages. CMAKE_FLAGS is passed to every configure.
BUILD   ?= build
EXAMPLE ?= order2
JOBS    ?= 2
ASAN_BUILD   ?= build-asan
BASELINE_BUILD ?= build-baseline
AVX2_BUILD   ?= build-avx2
TSAN_BUILD   ?= build-tsan
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_CXX     ?= clang++
FUZZ_TARGETS := fuzz_reader fuzz_solver

CMAKE_FLAGS  ?=

.PHONY: all configure build run test python test-python-slow bench-python test-asan test-baseline test-avx2 test-tsan fuzz bench bench-build bench-program test-install \
        test-without-gtest deps fuzz-configure clean

all: build

# $(call configure,DIR,OPTIONS[,SOURCE]): configure DIR from SOURCE (the
# root by default) each time, the options adding to its cache; CMake's log is
# shown only on failure, and only the one line naming the missing packages
# when that is the failure.
configure = @command -v cmake >/dev/null && command -v $${CXX:-c++} >/dev/null || \
  { echo "the build needs the Debian packages: g++ cmake (make deps installs them, as root)" >&2; \
    exit 1; }; \
  mkdir -p $(1) && rm -f $(1)/missing-prerequisites && \
  cmake -S $(or $(3),.) -B $(1) $(CMAKE_FLAGS) $(2) >$(1)/configure.log 2>&1 || \
  { if [ -f $(1)/missing-prerequisites ]; then cat $(1)/missing-prerequisites; \
    else cat $(1)/configure.log; fi >&2; exit 1; }

configure:
	$(call configure,$(BUILD))

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: configure
	cmake --build $(BUILD) -j $(JOBS) --target geneig
	rm -rf $(BUILD)/run && mkdir -p $(BUILD)/run
	cp examples/$(EXAMPLE)/matrix.in $(BUILD)/run/
	cd $(BUILD)/run && ../geneig; status=$$?; cat matrix.out 2>/dev/null; exit $$status

# Run as root, the missing packages of the tests are installed first; else
# configuring stops with one line naming them.
test:
	@if [ "$$(id -u)" = 0 ]; then $(call install_missing,$(TEST_PACKAGES)); fi
	$(call configure,$(BUILD),-DGENEIG_BUILD_TESTS=ON -DGENEIG_BUILD_PYTHON=ON)
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Debian's /usr/bin/python3, which has NumPy (not another Python on the PATH).
PYTHON ?= /usr/bin/python3

python:
	$(call configure,$(BUILD),-DGENEIG_BUILD_PYTHON=ON -DPython_EXECUTABLE=$(PYTHON))
	cmake --build $(BUILD) -j $(JOBS) --target geneig_python geneig
	cd $(BUILD)/python && $(PYTHON) -c 'import geneig, numpy; \
	  w, v = geneig.eigh([[3, 1 - 1j], [1 + 1j, 1]], numpy.eye(2)); \
	  print("geneig imported from", geneig.__file__, "; eigenvalues of the order-2 example:", w)'

# The module's slow tests: a stack of 10,000 order-50 pencils solved again
# and again without the process growing.
test-python-slow: python
	PYTHONPATH=$(BUILD)/python GENEIG_EXE=$(BUILD)/geneig $(PYTHON) -m pytest -q -p no:cacheprovider \
	  -m slow tests/python

bench-python: python
	PYTHONPATH=$(BUILD)/python $(PYTHON) bench/bench_python.py

# A sanitizer report ends the process with its own status, so that it can
# never pass for the program's documented exit status 1.
SANITIZER_ENV := ASAN_OPTIONS=exitcode=86:detect_leaks=1:abort_on_error=0 \
                 UBSAN_OPTIONS=exitcode=87:print_stacktrace=1:halt_on_error=1

test-asan:
	$(call configure,$(ASAN_BUILD),-DCMAKE_BUILD_TYPE=Debug -DGENEIG_SANITIZE=ON -DGENEIG_BUILD_TESTS=ON)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	$(SANITIZER_ENV) ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

test-baseline:
	$(call configure,$(BASELINE_BUILD),-DGENEIG_NO_CLONES=ON -DGENEIG_BUILD_TESTS=ON)
	cmake --build $(BASELINE_BUILD) -j $(JOBS) --target test_digest
	$(BASELINE_BUILD)/tests/test_digest

test-avx2:
	$(call configure,$(AVX2_BUILD),-DGENEIG_NO_CLONES=ON -DGENEIG_BUILD_TESTS=ON -DCMAKE_CXX_FLAGS=-mavx2)
	cmake --build $(AVX2_BUILD) -j $(JOBS) --target test_digest
	$(AVX2_BUILD)/tests/test_digest

# Every file instrumented; a report ends the process with a status of its
# own. The solver is built without its clones: the loader picks a clone
# before ThreadSanitizer has started, and the instrumented choice crashes.
# Every clone touches the same storage as the plain code.
test-tsan:
	$(call configure,$(TSAN_BUILD),-DCMAKE_BUILD_TYPE=Release -DGENEIG_NO_CLONES=ON -DGENEIG_BUILD_TESTS=ON -DCMAKE_CXX_FLAGS="-fsanitize=thread -g" -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target test_reentrant test_c_entries test_edges
	TSAN_OPTIONS=exitcode=88:halt_on_error=1 $(TSAN_BUILD)/tests/test_reentrant
	TSAN_OPTIONS=exitcode=88:halt_on_error=1 $(TSAN_BUILD)/tests/test_c_entries --gtest_filter='CEntriesThreads.*'
	TSAN_OPTIONS=exitcode=88:halt_on_error=1 $(TSAN_BUILD)/tests/test_edges --gtest_filter='StaticWorkspace.*'

fuzz-configure:
	@command -v $(FUZZ_CXX) >/dev/null || { echo "the fuzz targets need the Debian packages:" \
	  "clang libclang-rt-dev (make deps installs them, as root)" >&2; exit 1; }
	$(call configure,$(FUZZ_BUILD),-DCMAKE_CXX_COMPILER=$(FUZZ_CXX),fuzz)

# Each target runs alone (two cores: the build may use both, a fuzzer one),
# growing a working corpus in the build directory from the seeds in
# fuzz/corpus; findings go to $(FUZZ_BUILD)/artifacts and fail the run.
fuzz: fuzz-configure
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

bench-build:
	$(call configure,$(BUILD),-DGENEIG_BUILD_BENCH=ON \
	  -DGENEIG_OPENBLAS_LIBRARY=$$(bench/fetch_openblas.sh $(BUILD)/openblas))
	cmake --build $(BUILD) -j $(JOBS) --target geneig_bench geneig_eigen_program geneig

bench: bench-build
	$(BUILD)/bench/geneig_bench

# The whole program against a program built on Eigen that reads its file
# whole and converts numbers with std::from_chars and std::to_chars, on an
# order-200 file, interleaved rounds of hyperfine.
bench-program: bench-build
	bench/whole_program.sh $(BUILD) 200

# Installs into a temporary prefix, then builds the examples of examples/ with
# gfortran and cc through pkg-config and with CMake through find_package,
# against the installed tree alone, and runs them.
test-install: build
	tests/install/test_install.sh $(BUILD)

# A fresh clone of the current commit with GoogleTest and Google Benchmark
# hidden: make run still works, make test stops with its one line.
test-without-gtest:
	tests/install/test_without_gtest.sh

# The Debian packages of every command: the program needs only the first
# three; tests, benchmarks, fuzzers, the Python module and the install test
# the rest. TEST_PACKAGES: those of make test.
DEBIAN_PACKAGES := g++ cmake make libgtest-dev liblapack-dev libtmglib-dev libbenchmark-dev \
                   libeigen3-dev clang libclang-rt-dev gfortran pkgconf man-db groff-base hyperfine \
                   googletest g++-aarch64-linux-gnu g++-i686-linux-gnu qemu-user python3-numpy \
                   python3-dev pybind11-dev python3-scipy python3-pytest python3-dask \
                   python3-distributed python3-pip python3-setuptools
TEST_PACKAGES := g++ cmake make libgtest-dev liblapack-dev libtmglib-dev python3-dev pybind11-dev \
                 python3-numpy python3-scipy python3-pytest python3-dask python3-distributed

# $(call missing_of,PACKAGES): those of PACKAGES that dpkg does not list as
# installed; $(call install_missing,PACKAGES): a shell command that installs
# them (true when there are none).
missing_of = $$(for p in $(1); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	done)
install_missing = missing=$(call missing_of,$(1)); \
	[ -z "$$missing" ] || { apt-get update && apt-get install -y --no-install-recommends $$missing; }

deps:
	@missing=$(call missing_of,$(DEBIAN_PACKAGES)); \
	if [ -z "$$missing" ]; then echo "all prerequisites are installed"; \
	elif [ "$$(id -u)" = 0 ]; then apt-get update && apt-get install -y --no-install-recommends $$missing; \
	else echo "as root: apt-get install" $$missing >&2; exit 1; fi

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BASELINE_BUILD) $(AVX2_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) build-pip

# Other compilers and architectures: the bitwise digests, and the program's
# result files on generated pencils (cross/make_pencils.sh) byte for byte
# against the x86-64 g++ build in $(BUILD).
#   make test-clang  every test (the Python module's too), and the
#                    program's result files, built with clang++ (in
#                    build-clang)
#   make test-cross  cross-compiled for aarch64, run under qemu-aarch64
#                    (in build-aarch64)
#   make test-i686   cross-compiled for 32-bit x86 with SSE2 arithmetic, run
#                    under qemu-i386 (in build-i686)
CLANG_BUILD ?= build-clang
CLANG_CXX   ?= clang++

.PHONY: test-clang test-cross test-i686 clean-platforms

test-clang: build
	$(call configure,$(CLANG_BUILD),-DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=$(CLANG_CXX) -DGENEIG_BUILD_TESTS=ON -DGENEIG_BUILD_PYTHON=ON)
	cmake --build $(CLANG_BUILD) -j $(JOBS)
	ctest --test-dir $(CLANG_BUILD) --output-on-failure -j $(JOBS)
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
