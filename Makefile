# Two commands: `make demo` runs the main job, `make test` runs every test.
BUILD   ?= build
NATIVE  := $(BUILD)/native
JOBS    ?= $(shell nproc)

FUZZ_SECONDS ?= 36

ASAN    := $(BUILD)/asan

.PHONY: all bootstrap native windows test test-win32 test-win64 sanitize fuzz-smoke demo clean

all: windows

bootstrap:
	@bash scripts/bootstrap

native: bootstrap
	@cmake -S . -B $(NATIVE) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELV_COMGEN_ONLY=OFF >/dev/null
	@cmake --build $(NATIVE) -j $(JOBS)

# comgen alone, the native tool the Windows build needs: in a tree of its own kind when
# there is no native tree yet (it needs none of the image libraries), else in that tree.
.PHONY: comgen
comgen:
	@[ -f $(NATIVE)/CMakeCache.txt ] || cmake -S . -B $(NATIVE) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKELV_COMGEN_ONLY=ON >/dev/null
	@cmake --build $(NATIVE) -j $(JOBS) --target comgen

windows: native
	@bash scripts/build-windows

# The Wine suite runs on both builds, the 64-bit one even when the 32-bit one failed, so
# one run shows where they differ.
test: bootstrap
	@bash scripts/timed "native build" $(MAKE) --no-print-directory native
	@bash scripts/timed "Windows builds" $(MAKE) --no-print-directory windows
	@python3 scripts/lint
	@bash scripts/timed "native unit tests" ctest --test-dir $(NATIVE) --output-on-failure -j $(JOBS)
	@rc=0; KELV_WIN_ARCH=i686 bash scripts/wine-run suite || rc=1; \
	  KELV_WIN_ARCH=x86_64 bash scripts/wine-run suite || rc=1; exit $$rc
	@bash scripts/timed "sanitizer build and tests" $(MAKE) --no-print-directory sanitize
	@bash scripts/timed "fuzz smoke" $(MAKE) --no-print-directory fuzz-smoke
	@bash scripts/timed "ThreadSanitizer build and test" $(MAKE) --no-print-directory tsan
	@bash scripts/timed "page host tests" $(MAKE) --no-print-directory test-pagehost
	@bash scripts/timed "release package tests" $(MAKE) --no-print-directory test-dist

# The Wine suite of one build alone: the 32-bit product under a 32-bit script host (native
# 32-bit Wine, or emulated where the kernel refuses 32-bit programs), or the 64-bit build.
test-win32: windows
	@KELV_WIN_ARCH=i686 bash scripts/wine-run suite

test-win64: windows
	@KELV_WIN_ARCH=x86_64 bash scripts/wine-run suite

# The native unit tests built with clang's AddressSanitizer and UndefinedBehaviorSanitizer;
# any report fails them. The same tree holds the fuzz targets (fuzz-smoke runs them).
sanitize: bootstrap
	@cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELV_SANITIZE=ON \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(ASAN) -j $(JOBS)
	@ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(abspath tests/lsan.supp) ctest --test-dir $(ASAN) --output-on-failure -j $(JOBS)

# Each fuzz target for FUZZ_SECONDS, from the test inputs.
fuzz-smoke: bootstrap
	@bash scripts/fuzz smoke $(FUZZ_SECONDS)

# The main job: the 32-bit product registered in the project's 32-bit Wine prefix, driven
# by a script under the real script host. It builds only what it runs (scripts/demo says
# what, and how long each stage took); `make test` builds the rest.
demo:
	@bash scripts/demo

# The page host (tools/pagehost/, a stand-in web server for tests and the demo, not a
# product): a real browser's uploads, a short load run, and the long one (soak).
.PHONY: serve test-pagehost soak tsan
TSAN := $(BUILD)/tsan

serve: windows
	@bash tools/pagehost/serve

test-pagehost: windows
	@bash tests/pagehost/run-browser-test
	@bash tests/pagehost/run-heic-test
	@bash tests/pagehost/run-load-test 300 100

soak: windows
	@bash tests/pagehost/run-load-test 10000 1000

# Pages running at once in one process, natively, under ThreadSanitizer.
tsan: bootstrap
	@cmake -S . -B $(TSAN) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELV_TSAN=ON \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(TSAN) -j $(JOBS) --target concurrency_tests
	@TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 $(TSAN)/tests/concurrency_tests

clean:
	rm -rf $(BUILD)

# The release packages: dist/kelvutil-<version>-x86.msi and -x64.msi (Windows Installer),
# -x86.zip and -x64.zip, and SHA256SUMS.
.PHONY: dist test-dist
dist: windows
	@python3 scripts/dist

# Each package installed, used, upgraded and removed in a fresh 32-bit and a fresh 64-bit
# Wine prefix (the x86 packages in both), the packages signed with a throwaway certificate
# and their signatures checked, and two builds of one commit compared byte for byte (this
# rebuilds the Windows trees).
test-dist: dist
	@bash tests/dist/check-dist
	@bash tests/dist/check-signing
	@bash tests/dist/check-reproducible

# The sources formatted as .clang-format says; `make lint` checks that and that comments
# say what the code does rather than where a rule came from (make test runs it first).
.PHONY: format lint
format: bootstrap
	@python3 scripts/lint --fix

lint: bootstrap
	@python3 scripts/lint
