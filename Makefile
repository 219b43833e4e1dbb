# Thin wrapper over CMake so that one command does all set-up on a fresh Debian 12 machine.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
WERROR ?= $(if $(FERRODOCK_WERROR),$(FERRODOCK_WERROR),OFF)
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)
# make install: a Release build in RELEASE_DIR installed under PREFIX (and DESTDIR, if set).
PREFIX ?= /usr/local
RELEASE_DIR ?= build-release
# make package: a Release build in PACKAGE_DIR packed into a .deb there.
PACKAGE_DIR ?= build-package
# make bench: a Release build in BENCH_DIR whose harness prints the table of figures.
BENCH_DIR ?= build-bench
RELEASE_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=Release -DFERRODOCK_BUILD_TESTS=OFF \
                -DFERRODOCK_BUILD_BENCH=OFF -DFERRODOCK_WERROR=$(WERROR)

.PHONY: all deps configure build run test bench screenshots format format-check install package clean

all: build

deps:
	@tools/ensure-deps

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
	      -DFERRODOCK_WERROR=$(WERROR) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/bin/ferrodock

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j 2

bench: deps
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DFERRODOCK_BUILD_TESTS=OFF \
	      -DFERRODOCK_BUILD_BENCH=ON -DFERRODOCK_WERROR=$(WERROR) $(CMAKE_FLAGS)
	cmake --build $(BENCH_DIR) -j $(JOBS) --target ferrodock-bench
	xvfb-run -a -s '-screen 0 1280x1024x24 -noreset' $(BENCH_DIR)/bench/ferrodock-bench

# The README's pictures, rendered offscreen at 100%, and the same at 200%, drawn as the suite
# draws them to compare.
screenshots: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target update-screenshots

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

install: deps
	cmake -S . -B $(RELEASE_DIR) $(RELEASE_FLAGS) -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS)
	cmake --build $(RELEASE_DIR) -j $(JOBS)
	DESTDIR="$(DESTDIR)" cmake --install $(RELEASE_DIR) --prefix "$(PREFIX)"

package: deps
	cmake -S . -B $(PACKAGE_DIR) $(RELEASE_FLAGS) $(CMAKE_FLAGS)
	cmake --build $(PACKAGE_DIR) -j $(JOBS)
	rm -f $(PACKAGE_DIR)/ferrodock_*.deb
	cd $(PACKAGE_DIR) && cpack -G DEB
	@echo "Package: $$(ls $(abspath $(PACKAGE_DIR))/ferrodock_*.deb)"

clean:
	rm -rf $(BUILD_DIR)
