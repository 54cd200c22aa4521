# The README's commands. `make run` and `make test` install what is missing,
# configure and build first.
.PHONY: all deps build run test test-asan test-tsan test-windows windows bench package clean

JOBS ?= $(shell nproc)

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)

run: build
	@scripts/run.sh

test: build
	@cd build && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@cd build-asan && ctest --output-on-failure -j $(JOBS) -L engine -LE slow

test-tsan: deps
	@cmake --preset tsan >/dev/null
	@cmake --build --preset tsan -j $(JOBS)
	@cd build-tsan && ctest --output-on-failure -j $(JOBS) -L engine -LE slow

# The Windows programs (build-windows/bin: tessor-cli.exe, tessor-vdrive.exe,
# WNASPI32.DLL), cross-built with mingw-w64; test-windows runs them under wine.
windows: deps
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows -j $(JOBS)

test-windows: deps
	@JOBS=$(JOBS) scripts/test-windows.sh

# The Debian package, in build/ (tessor_VERSION_ARCH.deb).
package: build
	@cmake --build --preset release --target package

bench: build
	@scripts/bench.sh

clean:
	rm -rf build build-debug build-asan build-tsan build-windows
