# The user's commands. `make run` and `make test` each install what is missing, build, then run.
PRESET   ?= testing
BUILD    := build/$(PRESET)
JOBS     ?= $(shell nproc)

.PHONY: run test build deps configure bench clean

deps:
	@scripts/install-deps

configure: deps
	@test -f $(BUILD)/build.ninja || cmake --preset $(PRESET)

build: configure
	cmake --build $(BUILD) --parallel $(JOBS)

run: configure
	cmake --build $(BUILD) --parallel $(JOBS) --target orvalet
	@scripts/run-orvalet $(BUILD)

test: build
	ctest --preset $(PRESET) --parallel $(JOBS)

bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b --benchmark_min_time=0.5; done

clean:
	rm -rf build
