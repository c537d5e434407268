# Short front door to the CMake presets.
PRESETS := linux-x64 win32 win64
PREFIX ?= /usr/local

.PHONY: all test demo install deps clean $(PRESETS)

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

demo: deps
	$(MAKE) all
	scripts/demo

install: all
	cmake --install build/linux-x64 --prefix $(PREFIX)

clean:
	rm -rf build
