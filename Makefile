# The front door: thin targets over meson.
#   make / make build   build build/ridaviduvo
#   make test           build and run every test
#   make bench          run the renderers' microbenchmarks
#   make demo           run the commands against the mock compositor's demo desktop
#   make scene-picture  redraw docs/demo-scene.svg from the demo's scene
#   make sanitize       build and test with AddressSanitizer and UBSan in build-sanitize/

BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
MESON_FLAGS ?=

.PHONY: all build test bench demo scene-picture sanitize deps test-deps clean

all: build

deps:
	@tools/install-deps.sh build

test-deps:
	@tools/install-deps.sh test

$(BUILD)/build.ninja: | deps
	meson setup $(BUILD) $(MESON_FLAGS)

build: deps $(BUILD)/build.ninja
	ninja -C $(BUILD)

test: test-deps build
	meson test -C $(BUILD) --print-errorlogs

$(SANITIZE_BUILD)/build.ninja: | deps
	meson setup $(SANITIZE_BUILD) -Db_sanitize=address,undefined -Db_lundef=false $(MESON_FLAGS)

sanitize: test-deps $(SANITIZE_BUILD)/build.ninja
	ninja -C $(SANITIZE_BUILD)
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ASAN_OPTIONS=detect_leaks=1 \
		meson test -C $(SANITIZE_BUILD) --print-errorlogs

demo: build
	@tools/demo.sh $(BUILD)

# Microbenchmarks of the renderers (Google Benchmark, Debian libbenchmark-dev).
bench: build
	$(BUILD)/benchmarks/renderers-bench

# The README's picture of the demo scene, drawn by Graphviz from `scene --dot`.
scene-picture: build
	@mkdir -p docs
	tools/demo.sh $(BUILD) examples/desktop.json scene --dot | dot -Tsvg -o docs/demo-scene.svg

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD)
