# The two commands of the README, and a few more. Each one installs what it needs first.
.PHONY: deps run test test-release build release package bench bench-colour bench-formats bench-tree fuzz format docs clean

WERROR ?= $(if $(VELMORA_WERROR),$(VELMORA_WERROR),OFF)

deps:
	./scripts/install-deps.sh

# The release preset also holds the tests (CI runs them there too); run and bench build only what they start.
PROGRAMS = velmora velmora-batch
BENCHMARKS = velmora-make-corpus velmora-bench-resample velmora-bench-settings velmora-bench-orientation velmora-bench-colour

release: deps
	cmake --preset release -DVELMORA_WERROR=$(WERROR)
	cmake --build --preset release --target $(PROGRAMS)

# The release build as a Debian package: build/velmora_<version>_amd64.deb (apt install ./build/velmora_*.deb as root).
package: release
	cpack --config build/release/CPackConfig.cmake -B build

# Every test of a preset, then those it skipped with the reasons they give (ctest's summary names them
# without one); the exit status is ctest's.
define ctest_and_skips
rm -f build/$(1)/tests.xml; ctest --preset $(1) -j2 --output-junit tests.xml; status=$$?; \
  cmake -DJUNIT=build/$(1)/tests.xml -P cmake/SkippedTests.cmake; exit $$status
endef

# Builds and starts the program.
run: release
	./scripts/run.sh

# Builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test.
test: deps
	@mkdir -p build && chmod 700 build
	cmake --preset asan -DVELMORA_WERROR=$(WERROR)
	cmake --build --preset asan
	$(call ctest_and_skips,asan)

# The optimised build and every test in it: timing-dependent faults hide under the sanitizers.
test-release: deps
	@mkdir -p build && chmod 700 build
	cmake --preset release -DVELMORA_WERROR=$(WERROR)
	cmake --build --preset release
	$(call ctest_and_skips,release)

build: deps
	cmake --preset dev -DVELMORA_WERROR=$(WERROR)
	cmake --build --preset dev

bench: release
	cmake --build --preset release --target $(BENCHMARKS)
	./bench/run.sh

# The colour step against jpgicc (accuracy) and its cost on 24 MP Adobe RGB pictures.
bench-colour: release
	cmake --build --preset release --target $(BENCHMARKS)
	./bench/colour.sh

# HEIC sources against heif-convert: colours after the same colour rule, orientation, speed.
bench-formats: release
	cmake --build --preset release --target $(BENCHMARKS)
	./bench/formats.sh

# A tree of 10,000 pictures in 200 folders: the listing with subfolders and the window's list of it.
bench-tree: release
	cmake --build --preset release --target velmora-bench-tree
	QT_QPA_PLATFORM=offscreen ./build/release/bench/velmora-bench-tree

# The pictures in docs/ (screenshots of the window), from the release build.
docs: deps
	cmake --preset release -DVELMORA_WERROR=$(WERROR)
	cmake --build --preset release --target docs

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
