# Velmora: `make run` builds and starts the program, `make test` builds and runs every test.
# Each first installs the missing system packages it needs (scripts/setup --run, --test, ...),
# so running the program never pulls in the test tools.

JOBS ?= $(shell nproc)
TEST_DIR := build/test
RUN_DIR := build/release
BENCH_DIR := build/bench

.PHONY: all setup setup-test setup-bench setup-fuzz build run test test-ratio bench fuzz fuzz-build fuzz-campaign mutants format clean

all: build

setup:
	@bash scripts/setup --run
setup-test:
	@bash scripts/setup --test
setup-bench:
	@bash scripts/setup --bench
setup-fuzz:
	@bash scripts/setup --fuzz

$(RUN_DIR)/build.ninja:
	cmake -S . -B $(RUN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_TESTS=OFF

build: setup $(RUN_DIR)/build.ninja
	cmake --build $(RUN_DIR) -j $(JOBS)

# Starts the desktop window when it is built and a display is there, otherwise the headless
# bridge on this terminal.
run: build
	@if [ -x $(RUN_DIR)/velmora ] && [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then exec $(RUN_DIR)/velmora; \
	else if [ -x $(RUN_DIR)/velmora ]; then echo "velmora: no display (DISPLAY or WAYLAND_DISPLAY) here; starting the headless bridge."; fi; \
	echo "velmora-bridge: type one JSON request per line, e.g. {\"action\":\"getSettings\",\"id\":\"1\"}"; \
	exec $(RUN_DIR)/velmora-bridge; fi

# Debug build with AddressSanitizer and UndefinedBehaviorSanitizer for every test.
$(TEST_DIR)/build.ninja:
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON

test: setup-test $(TEST_DIR)/build.ninja
	cmake --build $(TEST_DIR) -j $(JOBS)
	cd $(TEST_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)
	@python3 scripts/test-ratio

test-ratio:
	@python3 scripts/test-ratio

# Seeds single faults into a scratch clone and reports which ones the tests catch (slow; not CI).
mutants:
	python3 scripts/mutants

bench: setup-bench
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=ON -DVELMORA_BENCH=ON
	cmake --build $(BENCH_DIR) -j $(JOBS)
	bash bench/run.sh $(BENCH_DIR)

# A libFuzzer campaign (clang, ASan + UBSan): make fuzz FUZZ_TARGET=bridge_request FUZZ_SECONDS=600
FUZZ_DIR := build/fuzz
FUZZ_TARGET ?= bridge_request
FUZZ_SECONDS ?= 600
$(FUZZ_DIR)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DVELMORA_SANITIZE=ON -DVELMORA_FUZZ=ON -DVELMORA_TESTS=OFF -DVELMORA_SHELL=OFF

fuzz: setup-fuzz $(FUZZ_DIR)/build.ninja
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzz_$(FUZZ_TARGET)
	mkdir -p fuzz/corpus-work/$(FUZZ_TARGET)
	$(FUZZ_DIR)/fuzz/fuzz_$(FUZZ_TARGET) -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
		fuzz/corpus-work/$(FUZZ_TARGET) fuzz/corpus/$(FUZZ_TARGET)

# Every target in turn for FUZZ_SECONDS each; writes fuzz/REPORT.md (executions, coverage, findings).
fuzz-campaign: setup-fuzz $(FUZZ_DIR)/build.ninja
	cmake --build $(FUZZ_DIR) -j $(JOBS)
	bash fuzz/campaign.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

format:
	find src tests bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build
