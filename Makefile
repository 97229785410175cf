# Two commands: `make demo` runs the main job, `make test` runs every test.
BUILD   ?= build
NATIVE  := $(BUILD)/native
JOBS    ?= $(shell nproc)

.PHONY: all bootstrap native test demo clean

all: native

bootstrap:
	@bash scripts/bootstrap

native: bootstrap
	@cmake -S . -B $(NATIVE) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(NATIVE) -j $(JOBS)

test: native
	@ctest --test-dir $(NATIVE) --output-on-failure -j $(JOBS)

demo: native
	@KELVUTIL_REGISTRY=$(abspath $(NATIVE))/demo-registry $(NATIVE)/kelvdemo

clean:
	rm -rf $(BUILD)
