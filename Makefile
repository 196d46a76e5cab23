# Two commands on a fresh machine:
#   make run    build, run the program on the shipped example, show matrix.out
#   make test   build and run every test
BUILD   ?= build
EXAMPLE ?= order2
JOBS    ?= 2

.PHONY: all configure build run test bench clean

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

bench: configure
	cmake --build $(BUILD) -j $(JOBS) --target geneig_bench
	$(BUILD)/bench/geneig_bench

clean:
	rm -rf $(BUILD)
