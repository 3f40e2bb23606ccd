# Front door of the build. `make demo` and `make test` work as the first command on a
# fresh Debian machine: both install what they need first.
JOBS ?= $(shell nproc)

.PHONY: all deps host windows test test-host test-wine demo clean

all: host windows

deps:
	@scripts/install-deps

build/host/CMakeCache.txt:
	cmake --preset host

build/windows/CMakeCache.txt:
	cmake --preset windows

host: deps build/host/CMakeCache.txt
	cmake --build build/host -j $(JOBS)

windows: deps build/windows/CMakeCache.txt
	cmake --build build/windows -j $(JOBS)

# Host tests and the tests of the real Windows programs under Wine.
test: host windows
	ctest --test-dir build/host --output-on-failure -j $(JOBS)

test-host: host
	ctest --test-dir build/host --output-on-failure -j $(JOBS) -LE '^(wine.*|wmi_wine|images)$$'

demo: host
	build/host/veltamoor-lab demo

clean:
	rm -rf build
