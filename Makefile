# Entry points: `make run` (build and run the sample script) and `make test` (build and
# run every suite). Both install what they need first through tools/bootstrap.
BUILD  ?= build
WIN    := $(BUILD)/win
NATIVE := $(BUILD)/native
JOBS   ?= $(shell nproc)

.PHONY: all bootstrap build build-win build-native test test-win test-native run fuzz bench installer clean

all: build

bootstrap:
	@tools/bootstrap

build: build-win build-native

build-win: bootstrap
	@cmake -S . -B $(WIN) $(if $(wildcard $(WIN)/CMakeCache.txt),,-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake) >/dev/null
	@tools/build $(WIN) $(JOBS)

build-native: bootstrap
	@cmake -S . -B $(NATIVE) -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc >/dev/null
	@tools/build $(NATIVE) $(JOBS)

test: build
	@tools/test-summary $(NATIVE) $(WIN)

test-native: build-native
	@tools/test-summary $(NATIVE)

test-win: build-win
	@tools/test-summary $(WIN)

# The tour runs in the console host (kestrun.exe runs it in the window), then the page
# host shows the gateway with the sample page.
run: build-win
	@tools/winerun $(WIN)/bin/regdll.exe T:/bin/OrvantaVessa.dll T:/bin/Vantor.dll
	@tools/winerun --tree $(WIN) $(WIN)/bin/kestrunc.exe T:/samples/tour.js
	@echo "The gateway's sample page (pagehost plays the browser and a user who agrees):"
	@tools/winerun --tree $(WIN) $(WIN)/bin/pagehost.exe --run file:///T:/samples/page.htm

# The installer package: build/win/Orvanta.msi.
installer: build-win
	@tools/installer/make-msi $(WIN) . $(WIN)/Orvanta.msi

fuzz: bootstrap
	@tools/fuzz

bench: build
	@tools/bench $(NATIVE) $(WIN)

clean:
	rm -rf $(BUILD)
