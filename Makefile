# The two commands a newcomer needs on a fresh Debian 12 machine:
#   make run    install what is missing, build, start the program
#   make test   install what is missing, build, run the whole test suite
# Also: make bench (benchmarks and the performance table), make fuzz, make sanitize,
#   make install [PREFIX=/usr/local] [DESTDIR=...], make package (a .deb in
#   build/package/), make lintian (checks that package).

PACKAGES := build-essential cmake pkg-config \
            qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6printsupport6 \
            libjpeg62-turbo-dev zlib1g-dev libpng-dev libgif-dev \
            libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev libxxhash-dev \
            clang libclang-rt-14-dev lld \
            fonts-liberation xvfb xauth \
            librsvg2-bin desktop-file-utils appstream \
            openbox trayer xdotool x11-utils faketime \
            systemd man-db prometheus \
            dbus dbus-x11 libglib2.0-bin python3-dbusmock iproute2 curl \
            chromium python3-websocket

BUILD      ?= build
FUZZ_BUILD ?= build-fuzz
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
TSAN_TESTS := test_ThdTimer test_UnseenSampler test_ClientTable test_HttpServer test_WebServiceDispatch test_EventStreams test_WebServiceEvents
BUILD_TYPE ?= RelWithDebInfo
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 5
PREFIX     ?= /usr/local
DESTDIR    ?=

.PHONY: all deps configure build run test fuzz sanitize bench clean install package lintian

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing missing packages:$$missing"; \
	  SUDO=""; [ "$$(id -u)" -ne 0 ] && SUDO=sudo; \
	  $$SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq $$missing; \
	fi

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) > /dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "No display found: starting Flowloom on a virtual display (Xvfb)."; \
	  xvfb-run -a $(BUILD)/app/flowloom; \
	else \
	  $(BUILD)/app/flowloom; \
	fi

test: build
	@$(MAKE) --no-print-directory fuzz
	@$(MAKE) --no-print-directory sanitize
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

# Parsers of outside input, each fuzzed for a few seconds (clang + libFuzzer).
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DFLOWLOOM_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug > /dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_all
	@set -e; for f in $(FUZZ_BUILD)/tests/fuzz/fuzz_*; do \
	  [ -x "$$f" ] || continue; name=$$(basename $$f); \
	  corpus=tests/fuzz/corpus/$$name; work=$$(mktemp -d); \
	  [ -d "$$corpus" ] && cp -r $$corpus/. $$work/; \
	  echo "fuzzing $$name for $(FUZZ_SECONDS) s"; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -timeout=5 -rss_limit_mb=1024 -print_final_stats=0 $$work > $(FUZZ_BUILD)/$$name.log 2>&1 \
	    || { tail -50 $(FUZZ_BUILD)/$$name.log; rm -rf $$work; exit 1; }; \
	  rm -rf $$work; \
	done; echo "fuzz: all targets ran clean"

# The tests without Qt under AddressSanitizer and UndefinedBehaviorSanitizer, and
# the threaded ones (timer, HTTP server, web service) under ThreadSanitizer.
sanitize: deps
	@tests/sanitizers/run_sanitized.sh $(ASAN_BUILD) address,undefined $(JOBS) plain
	@tests/sanitizers/run_sanitized.sh $(TSAN_BUILD) thread $(JOBS) $(TSAN_TESTS)

# DESTDIR stages the files for a packager; PREFIX is where they will live.
install: build
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

package: build
	@cd $(BUILD) && cpack -G DEB > cpack.log || { cat cpack.log; exit 1; }
	@ls -l $(BUILD)/package/flowloom_*.deb

lintian: package
	@$(MAKE) --no-print-directory deps PACKAGES=lintian
	@lintian --info $(BUILD)/package/flowloom_*.deb

bench: deps
	@BENCH_REFERENCE=$(BENCH_REFERENCE) bash bench/scripts/run_all.sh

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
