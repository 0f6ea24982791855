# The user's commands. `make run` and `make test` each install what is missing, build, then run.
PRESET   ?= testing
BUILD    := build/$(PRESET)
JOBS     ?= $(shell nproc)

.PHONY: run test build deps configure bench clean check-display

deps:
	@scripts/install-deps

configure: deps
	@test -f $(BUILD)/build.ninja || cmake --preset $(PRESET)

build: configure
	cmake --build $(BUILD) --parallel $(JOBS)

# Without a desktop there is nothing to open: say so in one line before building anything.
check-display:
	$(if $(DISPLAY)$(WAYLAND_DISPLAY)$(QT_QPA_PLATFORM),,$(error no display found (DISPLAY and WAYLAND_DISPLAY are unset): run 'make run' from a desktop session))

run: check-display configure
	cmake --build $(BUILD) --parallel $(JOBS) --target orvalet
	@scripts/run-orvalet $(BUILD)

test: build
	ctest --preset $(PRESET) --parallel $(JOBS)

bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b --benchmark_min_time=0.5; done

clean:
	rm -rf build
