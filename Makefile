# One-command set-up on a fresh Debian machine: the targets install what is missing, build, then act.
BUILD      ?= build
GENERATOR  ?= Ninja
JOBS       ?= $(shell nproc)
PACKAGES   := cmake ninja-build g++ pkgconf qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev \
              libgtest-dev libgmock-dev libbenchmark-dev libjpeg-turbo-progs
RUN_PACKAGES := fonts-noto-cjk qt6-translations-l10n
# Building the Debian package and checking it and the installed tree (the package test).
PACKAGE_TOOLS := dpkg-dev file lintian desktop-file-utils appstream libxml2-utils man-db \
              shared-mime-info

.PHONY: all deps run-deps package-tools configure build run test bench package clean

all: build

deps:
	@bash tools/install-deps.sh $(PACKAGES)

run-deps:
	@bash tools/install-deps.sh $(PACKAGES) $(RUN_PACKAGES)

package-tools:
	@bash tools/install-deps.sh $(PACKAGE_TOOLS)

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

# $(BUILD)/lumo_<version>_<arch>.deb, then the package test on it.
package: build package-tools
	cd $(BUILD) && cpack -G DEB
	cd $(BUILD) && LUMO_PACKAGE_REQUIRED=1 ctest -L package --output-on-failure

clean:
	rm -rf $(BUILD)
