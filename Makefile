# One-command set-up on a fresh Debian machine: the targets install what is missing, build, then act.
BUILD      ?= build
GENERATOR  ?= Ninja
JOBS       ?= $(shell nproc)
PACKAGES   := cmake ninja-build g++ pkgconf qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev \
              qt6-tools-dev qt6-l10n-tools \
              libgtest-dev libgmock-dev libbenchmark-dev libjpeg-turbo-progs \
              libjpeg62-turbo-dev libheif-dev libheif-examples qt6-image-formats-plugins libexif-dev libglib2.0-dev \
              libraw-dev libsqlite3-dev
RUN_PACKAGES := fonts-noto-cjk qt6-translations-l10n
# Building the Debian package and checking it and the installed tree (the package test).
PACKAGE_TOOLS := dpkg-dev file lintian desktop-file-utils appstream libxml2-utils man-db \
              shared-mime-info

FUZZ_PACKAGES := clang libclang-rt-dev
# The sanitizer run also starts the program on a virtual X server (xvfb-run needs xauth).
ASAN_PACKAGES := xvfb xauth
# The chart of similarity levels (tools/levels.sh).
LEVELS_PACKAGES := jq gnuplot-nox

# The sanitizer build and the fuzz build, each in a folder of its own.
ASAN_BUILD   ?= build-asan
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
# Halt on the first report. A leak may be suppressed only inside Qt and the libraries under
# it, each with its reason, in tools/sanitizers/lsan.supp.
# The full unwinder on every allocation: GLib is built without frame pointers, and only a
# whole stack tells a leak inside GIO from one of ours.
SANITIZER_ENV := ASAN_OPTIONS=halt_on_error=1:abort_on_error=0:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:fast_unwind_on_malloc=0 \
                 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
                 LSAN_OPTIONS=suppressions=$(CURDIR)/tools/sanitizers/lsan.supp:print_suppressions=0

.PHONY: all deps run-deps package-tools fuzz-deps asan-deps levels-deps configure build run test bench levels package test-asan fuzz clean

all: build

deps:
	@bash tools/install-deps.sh $(PACKAGES)

run-deps:
	@bash tools/install-deps.sh $(PACKAGES) $(RUN_PACKAGES)

package-tools:
	@bash tools/install-deps.sh $(PACKAGE_TOOLS)

fuzz-deps:
	@bash tools/install-deps.sh $(PACKAGES) $(FUZZ_PACKAGES)

asan-deps:
	@bash tools/install-deps.sh $(PACKAGES) $(ASAN_PACKAGES)

levels-deps:
	@bash tools/install-deps.sh $(LEVELS_PACKAGES)

configure: deps
	@cmake -S . -B $(BUILD) -G $(GENERATOR) -DLUMO_BUILD_TESTS=ON -DLUMO_BUILD_BENCH=ON >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: run-deps configure
	@cmake --build $(BUILD) -j $(JOBS) --target lumo
	$(BUILD)/bin/lumo $(ARGS)

test: build package-tools
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

bench: build
	@for b in $(BUILD)/bin/bench_*; do echo "== $$b"; $$b --benchmark_min_time=0.2 || exit 1; done

# docs/levels.png and docs/levels.md from a real-photo corpus: make levels CORPUS=DIR.
levels: build levels-deps
	@test -n "$(CORPUS)" || { echo "usage: make levels CORPUS=DIR (a corpus made by make_corpus.sh)" >&2; exit 2; }
	LUMO_CLI=$(BUILD)/bin/lumo-cli bash tools/levels.sh $(CORPUS)

# $(BUILD)/lumo_<version>_<arch>.deb, then the package test on it.
package: build package-tools
	cd $(BUILD) && cpack -G DEB
	cd $(BUILD) && LUMO_PACKAGE_REQUIRED=1 ctest -L package --output-on-failure

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer; no benchmarks. With
# xvfb-run there, the suite includes the program on a virtual X server (x11.lumo).
test-asan: asan-deps
	@cmake -S . -B $(ASAN_BUILD) -G $(GENERATOR) -DLUMO_SANITIZE=ON -DLUMO_BUILD_TESTS=ON -DLUMO_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && $(SANITIZER_ENV) QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 600

# Builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS seconds.
fuzz: fuzz-deps
	@CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G $(GENERATOR) -DLUMO_BUILD_FUZZ=ON -DLUMO_BUILD_TESTS=OFF -DLUMO_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	@$(SANITIZER_ENV) bash fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
