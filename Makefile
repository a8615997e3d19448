# make test   installs what is missing, builds and runs every test
# make demo   runs the program on a simulated balance line
# make test-windows   cross-builds TRUTINA.DLL and tests it under Wine
# make package   builds the Debian package build/pondus_<version>_amd64.deb
# make test-package   builds it, installs it on this machine, tests it, purges it (as root)
BUILD_DIR ?= build
WINDOWS_BUILD_DIR ?= build-windows
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
ifneq ($(CI),)
CMAKE_FLAGS += -DPONDUS_WERROR=ON
endif

.PHONY: all deps build test test-sanitizers test-windows package test-package demo bench clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR)

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j2

# The library and simulator tests under ThreadSanitizer and under
# AddressSanitizer with UndefinedBehaviorSanitizer.
test-sanitizers: deps
	cmake -S . -B $(BUILD_DIR)-tsan -G Ninja $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DPONDUS_BUILD_APP=OFF -DPONDUS_SANITIZE=thread
	cmake --build $(BUILD_DIR)-tsan
	ctest --test-dir $(BUILD_DIR)-tsan --output-on-failure -j2 -LE nosan
	cmake -S . -B $(BUILD_DIR)-asan -G Ninja $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DPONDUS_BUILD_APP=OFF -DPONDUS_SANITIZE=address,undefined
	cmake --build $(BUILD_DIR)-asan
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest --test-dir $(BUILD_DIR)-asan --output-on-failure -j2 -LE nosan

# TRUTINA.DLL built with MinGW-w64 and run under Wine against balance-sim,
# which comes from the native build.
test-windows: deps
	@bash scripts/install-deps.sh --windows
	cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j2 --target balance-sim
	cmake -S . -B $(WINDOWS_BUILD_DIR) -G Ninja $(CMAKE_FLAGS) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64-posix.cmake
	cmake --build $(WINDOWS_BUILD_DIR) -j2
	bash scale_link/tests/windows/run-under-wine.sh $(WINDOWS_BUILD_DIR) $(BUILD_DIR)/bin/balance-sim

# The package installs under /usr, whatever an older build folder was told.
package: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS) -DCMAKE_INSTALL_PREFIX=/usr
	cmake --build $(BUILD_DIR) --target package

test-package: package
	bash packaging/test-package.sh $(BUILD_DIR)

demo: build
	@bash scripts/demo.sh $(BUILD_DIR)

bench: build
	@bash bench/run.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) $(BUILD_DIR)-tsan $(BUILD_DIR)-asan $(WINDOWS_BUILD_DIR)
