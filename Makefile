# The user's commands. `make run` and `make test` each install what is missing, build, then run.
PRESET   ?= testing
BUILD    := build/$(PRESET)
JOBS     ?= $(shell nproc)

.PHONY: run test build deps configure bench fuzz package clean check-display

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
	cmake --build $(BUILD) --parallel $(JOBS) --target orvalet things3-standin
	@scripts/run-orvalet $(BUILD)

test: build
	ctest --preset $(PRESET) --parallel $(JOBS)

bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b --benchmark_min_time=0.5; done

# A Debian package of a release build of the two programs: build/package/orvalet_VERSION_ARCH.deb.
package: deps
	@test -f build/package/build.ninja || cmake --preset package
	cmake --build build/package --parallel $(JOBS)
	cd build/package && cpack

# Not part of `make test`: needs clang and its sanitizer runtimes, which it installs when missing.
FUZZ_SECONDS ?= 600
fuzz: deps
	@scripts/install-deps --fuzz
	@test -f build/fuzz/build.ninja || cmake --preset fuzz
	cmake --build build/fuzz --parallel $(JOBS) --target standin_fuzz
	@mkdir -p build/fuzz/corpus
	build/fuzz/fuzz/standin_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -timeout=10 -rss_limit_mb=4096 -artifact_prefix=build/fuzz/ \
		-dict=fuzz/standin/applescript.dict build/fuzz/corpus fuzz/standin/corpus

clean:
	rm -rf build
