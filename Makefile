# Two entry points on a fresh Debian 12 machine: `make test` installs what is missing,
# configures, builds and runs the whole suite; `make run` does the same and runs vorm's
# survey report on the project's sample data.
BUILD      ?= build/release
ASAN_BUILD ?= build/asan
TSAN_BUILD ?= build/tsan
BENCH_BUILD?= build/bench
FUZZ_BUILD ?= build/fuzz
FUZZ_SECONDS ?= 60
STAGE      ?= build/stage
PREFIX     ?= /usr/local
JOBS       ?= $(shell nproc)
CXX        ?= g++
WERROR     ?= OFF
PACKAGES   := g++ clang cmake ninja-build make libgtest-dev libgmock-dev libbenchmark-dev libpugixml-dev libcurl4-openssl-dev libxml2-utils findutils coreutils pkg-config dpkg-dev

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build test run install package consumer asan tsan bench fuzz clean
all: build

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

define configure
	cmake -S . -B $(1) -G Ninja -DCMAKE_BUILD_TYPE=$(2) -DVORM_WERROR=$(WERROR) $(3)
endef

# `deps` is asked for by the entry points, not by every build.
build:
	$(call configure,$(BUILD),RelWithDebInfo,)
	cmake --build $(BUILD) -j $(JOBS)

test: deps
	$(MAKE) --no-print-directory build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

run: deps
	$(MAKE) --no-print-directory build
	$(BUILD)/tools/vorm/vorm survey report data/samples

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	cd $(BUILD) && cpack -G DEB

# Another project using the installed library: through its CMake package and through
# pkg-config, both built against a staged install and run.
consumer: build
	rm -rf $(STAGE) build/consumer
	cmake --install $(BUILD) --prefix $(CURDIR)/$(STAGE)
	cmake -S tests/consumer -B build/consumer -G Ninja -DCMAKE_PREFIX_PATH=$(CURDIR)/$(STAGE)
	cmake --build build/consumer
	build/consumer/consumer
	PKG_CONFIG_PATH=$(CURDIR)/$(STAGE)/lib/pkgconfig; export PKG_CONFIG_PATH; \
	  $(CXX) -o build/consumer/consumer-pc tests/consumer/main.cpp $$(pkg-config --cflags --libs vormwin32utils) \
	    -Wl,-rpath,$(CURDIR)/$(STAGE)/lib
	build/consumer/consumer-pc

asan: deps
	$(call configure,$(ASAN_BUILD),Debug,-DVORM_SANITIZE=address)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

tsan: deps
	$(call configure,$(TSAN_BUILD),Debug,-DVORM_SANITIZE=thread)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target vorm_threaded_tests
	cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) -L threaded --no-tests=error

# The bench compares against inotifywait as well.
bench: PACKAGES += inotify-tools
bench: deps
	$(call configure,$(BENCH_BUILD),Release,-DVORM_BUILD_BENCH=ON -DVORM_BUILD_TESTS=OFF)
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	bench/run_all.sh $(BENCH_BUILD)

# libFuzzer targets built by clang with AddressSanitizer + UBSan, each run FUZZ_SECONDS in turn
# (fuzz/run.sh; inputs found go to $(FUZZ_BUILD)/fuzz/corpus/, failures to .../findings/).
# The test runs only replay the committed corpora.
fuzz: PACKAGES += libclang-rt-14-dev
fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DVORM_WERROR=$(WERROR) -DVORM_SANITIZE=address -DVORM_BUILD_TESTS=OFF -DVORM_BUILD_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target vorm_fuzz_targets
	fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf build
