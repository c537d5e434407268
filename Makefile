# Short front door to the CMake presets.
PRESETS := linux-x64 win32 win64 linux-x64-asan
FUZZ_SECONDS ?= 300
PREFIX ?= /usr/local

.PHONY: all test fuzz demo install deps clean $(PRESETS)

all: $(PRESETS)

$(PRESETS):
	cmake --preset $@ >/dev/null
	cmake --build --preset $@

deps:
	scripts/install-deps

test: deps
	$(MAKE) all
	scripts/wine-run --init
	scripts/run-tests $(PRESETS)

# Each fuzz target for FUZZ_SECONDS (make test gives them a few seconds each).
fuzz: deps linux-x64-asan
	scripts/fuzz $(FUZZ_SECONDS)

demo: deps
	$(MAKE) all
	scripts/demo

install: linux-x64 win32 win64
	cmake --install build/linux-x64 --prefix $(PREFIX)

clean:
	rm -rf build
