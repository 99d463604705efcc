# The front door: thin targets over meson.
#   make / make build   build the program, build/src/ridaviduvo
#   make test           build and run every test
#   make bench          the tool at three scales against its floor and wlr-randr,
#                       and the microbenchmarks (docs/benchmarks.md), in build-bench/,
#                       with the release build of build-bench-release/ beside it
#   make demo           run the commands against the mock compositor's demo desktop
#   make scene-picture  redraw docs/demo-scene.svg from the demo's scene
#   make sanitize       build and test with AddressSanitizer and UBSan in build-sanitize/
#   make install        install under PREFIX (default /usr/local), into DESTDIR if set
#   make stress         the sanitizer build against hostile random compositors, SEEDS per command
#   make stress-valgrind  the same under valgrind memcheck, in build-faults-valgrind/
#   make fuzz           the libFuzzer targets (clang), FUZZ_SECONDS each, in build-fuzz/
#   make faults         memory shortage at every allocation, broken connections and streams, in build-faults/
#   make valgrind       every end-to-end case under valgrind memcheck, in build-faults-valgrind/
#   make fresh-check RELEASE=bookworm|trixie
#                       make demo and make test in a minimal Debian 12 or 13 root (as root)
#   make clang-check    make test with clang (16 or later: Debian 13's 19) in build-clang/
#   make cross-check ARCH="i386 s390x" RELEASE=bookworm|trixie
#                       cross builds for Debian architectures and their unit and e2e
#                       suites, under qemu-user where needed, in a minimal root (as root)

# Build directories. They are set before any rule, since make expands a
# rule's prerequisites as it reads it.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
BENCH_BUILD ?= build-bench
BENCH_RELEASE_BUILD ?= build-bench-release
STRESS_BUILD ?= build-stress
FUZZ_BUILD ?= build-fuzz
FAULTS_BUILD ?= build-faults
VALGRIND_BUILD ?= build-faults-valgrind
CLANG_BUILD ?= build-clang
MESON_FLAGS ?=

.PHONY: all build test bench demo scene-picture sanitize deps test-deps bench-deps clean

all: build

deps:
	@tools/install-deps.sh build

test-deps:
	@tools/install-deps.sh test

$(BUILD)/build.ninja: | deps
	meson setup $(BUILD) $(MESON_FLAGS)

# A build directory configured before scdoc was there builds no manual page;
# once scdoc is installed, it is configured again (unless the page is
# disabled by -Dman-pages=disabled).
define man_page_check
@if command -v scdoc >/dev/null 2>&1 && ! grep -q 'ridaviduvo\.1' $(1)/build.ninja && \
	    ! meson configure $(1) 2>/dev/null | grep -qE '^ *man-pages +disabled'; then \
		echo "scdoc is installed now: configuring $(1) again to build the manual page"; \
		meson setup --reconfigure $(1) >/dev/null; \
	fi
endef

build: deps $(BUILD)/build.ninja
	$(call man_page_check,$(BUILD))
	ninja -C $(BUILD)

# The tools of every suite are installed before the build is configured;
# the suites that still skipped are named at the end, with what they lack
# (under CI a skip is a failure).
test: test-deps
	@$(MAKE) --no-print-directory build
	@status=0; meson test -C $(BUILD) --print-errorlogs || status=$$?; \
		python3 tests/report_skips.py $(BUILD) || status=1; exit $$status

$(SANITIZE_BUILD)/build.ninja: | deps
	meson setup $(SANITIZE_BUILD) -Db_sanitize=address,undefined -Db_lundef=false $(MESON_FLAGS)

sanitize: test-deps $(SANITIZE_BUILD)/build.ninja
	$(call man_page_check,$(SANITIZE_BUILD))
	ninja -C $(SANITIZE_BUILD)
	@status=0; UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ASAN_OPTIONS=detect_leaks=1 \
		meson test -C $(SANITIZE_BUILD) --print-errorlogs || status=$$?; \
		python3 tests/report_skips.py $(SANITIZE_BUILD) || status=1; exit $$status

demo: build
	@tools/demo.sh $(BUILD)

# Whole-process benchmarks (hyperfine, /usr/bin/time, callgrind) against the
# bare baseline client and wlr-randr on headless phoc, then the renderers'
# microbenchmarks. The report goes to $(BENCH_BUILD)/bench-results/report.md.
bench-deps:
	@tools/install-deps.sh bench

$(BENCH_BUILD)/build.ninja: | bench-deps
	meson setup $(BENCH_BUILD) -Dbenchmarks=enabled $(MESON_FLAGS)

# The tool as `meson install` users get it, measured beside the other.
$(BENCH_RELEASE_BUILD)/build.ninja: | bench-deps
	meson setup $(BENCH_RELEASE_BUILD) --buildtype=release -Dtests=false -Dmock-compositor=false \
		-Dbenchmarks=disabled -Dman-pages=disabled $(MESON_FLAGS)

bench: bench-deps $(BENCH_BUILD)/build.ninja $(BENCH_RELEASE_BUILD)/build.ninja
	ninja -C $(BENCH_BUILD)
	ninja -C $(BENCH_RELEASE_BUILD) src/ridaviduvo
	python3 benchmarks/run_bench.py --build $(BENCH_BUILD) --release $(BENCH_RELEASE_BUILD)

# The README's picture of the demo scene, drawn by Graphviz from `scene --dot`.
scene-picture: build
	@mkdir -p docs
	tools/demo.sh $(BUILD) examples/desktop.json scene --dot | dot -Tsvg -o docs/demo-scene.svg

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(BENCH_BUILD) $(BENCH_RELEASE_BUILD)

# Install the program, its manual page, shell completions and JSON Schemas
# under PREFIX (an absolute path), into the staging directory DESTDIR when it
# is set: make install PREFIX=/usr DESTDIR=/tmp/stage
PREFIX ?= /usr/local
DESTDIR ?=
.PHONY: install
install: build
	meson configure $(BUILD) -Dprefix=$(PREFIX)
	meson install -C $(BUILD) $(if $(DESTDIR),--destdir "$(DESTDIR)")

# Hostile compositor stress (docs/reliability.md): the sanitizer build of the
# tool against the mock compositor's seeded random mode, seeds FIRST_SEED to
# FIRST_SEED + SEEDS - 1 for every command. Failing runs are kept, with their
# scenario, in $(STRESS_BUILD)/stress-failures/.
SEEDS ?= 50
FIRST_SEED ?= 1
.PHONY: stress stress-valgrind fuzz

$(STRESS_BUILD)/build.ninja: | deps
	meson setup $(STRESS_BUILD) -Db_sanitize=address,undefined -Db_lundef=false -Dtests=false $(MESON_FLAGS)

stress: test-deps $(STRESS_BUILD)/build.ninja
	ninja -C $(STRESS_BUILD) src/ridaviduvo tools/mock-compositor/mock-compositor
	python3 tests/stress/run_stress.py --tool $(STRESS_BUILD)/src/ridaviduvo \
		--mock $(STRESS_BUILD)/tools/mock-compositor/mock-compositor --seeds $(SEEDS) --first-seed $(FIRST_SEED) \
		--keep $(STRESS_BUILD)/stress-failures --figures $(STRESS_BUILD)/stress-figures.json

# The same scenarios under valgrind memcheck, with the tool of the build
# that marks the snapshot store's unused bytes for memcheck (VALGRIND_BUILD).
stress-valgrind: test-deps $(VALGRIND_BUILD)/build.ninja
	ninja -C $(VALGRIND_BUILD) src/ridaviduvo tools/mock-compositor/mock-compositor
	python3 tests/stress/run_stress.py --valgrind --tool $(VALGRIND_BUILD)/src/ridaviduvo \
		--mock $(VALGRIND_BUILD)/tools/mock-compositor/mock-compositor --seeds $(SEEDS) --first-seed $(FIRST_SEED) \
		--keep $(VALGRIND_BUILD)/stress-valgrind-failures --figures $(VALGRIND_BUILD)/stress-valgrind-figures.json

# libFuzzer targets (fuzz/Makefile), built with clang into $(FUZZ_BUILD)
# and run for FUZZ_SECONDS each.
FUZZ_SECONDS ?= 60
fuzz:
	$(MAKE) -C fuzz BUILD=$(abspath $(FUZZ_BUILD)) FUZZ_SECONDS=$(FUZZ_SECONDS) run

# Fault injection (docs/reliability.md): memory shortage at every allocation,
# broken connections and broken streams, run by the sanitizer build in
# $(FAULTS_BUILD) (configured with -Dfault-injection=true), against the mock
# compositor of $(VALGRIND_BUILD), built without sanitizers because it is
# faster so. FAULTS_SUBSET=ci plays the bounded subset that CI runs.
# `make valgrind` plays every end-to-end case under valgrind memcheck with the
# tool of $(VALGRIND_BUILD), which tells memcheck which bytes of the snapshot
# store are handed out (-Dmemcheck=true).
FAULTS_SUBSET ?=
.PHONY: faults valgrind

$(FAULTS_BUILD)/build.ninja: | deps
	meson setup $(FAULTS_BUILD) -Dfault-injection=true -Db_sanitize=address,undefined -Db_lundef=false \
		-Dbenchmarks=disabled $(MESON_FLAGS)

$(VALGRIND_BUILD)/build.ninja: | deps
	meson setup $(VALGRIND_BUILD) -Dfault-injection=true -Dmemcheck=true -Dbenchmarks=disabled $(MESON_FLAGS)

faults: test-deps $(FAULTS_BUILD)/build.ninja $(VALGRIND_BUILD)/build.ninja
	ninja -C $(VALGRIND_BUILD) tools/mock-compositor/mock-compositor
	ninja -C $(FAULTS_BUILD) src/ridaviduvo tests/faults/ridaviduvo-failalloc
	RDV_FAULTS_MOCK=$(abspath $(VALGRIND_BUILD))/tools/mock-compositor/mock-compositor \
	RDV_FAULTS_SUBSET=$(FAULTS_SUBSET) meson test -C $(FAULTS_BUILD) --no-rebuild --suite faults --print-errorlogs

valgrind: test-deps $(VALGRIND_BUILD)/build.ninja
	ninja -C $(VALGRIND_BUILD) src/ridaviduvo tools/mock-compositor/mock-compositor
	meson test -C $(VALGRIND_BUILD) --no-rebuild --suite valgrind --print-errorlogs

# The README's promise where a newcomer starts (tools/fresh-check.sh): a
# minimal Debian root of RELEASE, the committed tree cloned into it, only
# the README's bare-machine packages installed, then make demo and make test
# with CI=true. Needs root and the network to Debian's mirror.
RELEASE ?= bookworm
.PHONY: fresh-check
fresh-check:
	tools/fresh-check.sh $(RELEASE)

# make test with clang in $(CLANG_BUILD). Debian 12's clang 14 cannot build
# the tool: libstdc++ 12 offers it no std::expected (its <expected> asks for
# the C++20 concepts that clang has only from 16 on).
.PHONY: clang-check
clang-check:
	@tools/install-deps.sh fuzz
	@major=$$(clang++ -dumpversion 2>/dev/null | cut -d. -f1); \
	if [ "$${major:-0}" -lt 16 ]; then \
		echo "clang-check: needs clang 16 or later (Debian 13's clang 19); this clang++ is $${major:-missing}" >&2; \
		exit 1; \
	fi
	@CC=clang CXX=clang++ $(MAKE) --no-print-directory test BUILD=$(CLANG_BUILD)

# Cross builds in a minimal Debian root of RELEASE (tools/fresh-check.sh
# --cross, tools/cross-test.sh), for every Debian architecture in ARCH.
ARCH ?= i386 s390x
.PHONY: cross-check
cross-check:
	tools/fresh-check.sh --cross "$(ARCH)" $(RELEASE)
