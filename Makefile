# The two commands a newcomer needs: `make run` and `make test`.
BUILD      ?= build
BUILD_SAN  ?= build-san
BUILD_FUZZ ?= build-fuzz
BUILD_BENCH ?= build-bench
CMAKE_GEN  := -G Ninja
JOBS       ?= $(shell nproc)
# CI sets KEST_WERROR=ON: a warning fails the build there.
KEST_WERROR ?= OFF

.PHONY: deps build run test test-sanitize fuzz-smoke bench package screenshot clean

deps:
	@bash scripts/install-deps.sh

# The program alone (its help file comes with it): `make run` waits for no test.
build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEST_WERROR=$(KEST_WERROR) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target kest32

run: build
	@bash scripts/run-viewer.sh $(BUILD)/kest32 samples/sample.log

# Everything, the tests included, then the tests.
test: build
	@cmake --build $(BUILD) -j $(JOBS)
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

test-sanitize: deps
	@cmake -S . -B $(BUILD_SAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DKEST_SANITIZE=ON \
	  -DCMAKE_CXX_COMPILER=clang++ -DKEST_WERROR=$(KEST_WERROR) >/dev/null
	@cmake --build $(BUILD_SAN) -j $(JOBS)
	@cd $(BUILD_SAN) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \
	  UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

fuzz-smoke: deps
	@cmake -S . -B $(BUILD_FUZZ) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEST_BUILD_FUZZ=ON \
	  -DKEST_BUILD_UI=OFF -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(BUILD_FUZZ) -j $(JOBS) --target fuzz_scan fuzz_profile fuzz_archive
	@bash scripts/fuzz-smoke.sh $(BUILD_FUZZ)/fuzz/fuzz_scan
	@FUZZ_SECONDS=$${FUZZ_PROFILE_SECONDS:-30} bash scripts/fuzz-smoke.sh $(BUILD_FUZZ)/fuzz/fuzz_profile
	@FUZZ_SECONDS=$${FUZZ_ARCHIVE_SECONDS:-30} bash scripts/fuzz-smoke.sh $(BUILD_FUZZ)/fuzz/fuzz_archive

bench: deps
	@cmake -S . -B $(BUILD_BENCH) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DKEST_BUILD_BENCH=ON >/dev/null
	@cmake --build $(BUILD_BENCH) -j $(JOBS)
	@$(BUILD_BENCH)/bench/kest_bench
	@$(BUILD_BENCH)/bench/kest_bench_bookmarks
	@$(BUILD_BENCH)/bench/kest_bench_library

# The Debian package kest32_VERSION_ARCH.deb, into this folder:
#   sudo apt install ./kest32_*.deb
package: build
	@cmake --build $(BUILD) -j $(JOBS) --target kest32 kest32_man
	@cd $(BUILD) && cpack -G DEB
	@cp $(BUILD)/kest32_*.deb .
	@ls -1 kest32_*.deb

# docs/screenshot.png: the window on the sample log, under Xvfb on display :21.
SCREENSHOT_TOOLS := xvfb xdotool imagemagick
screenshot: build
	@missing=""; for p in $(SCREENSHOT_TOOLS); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  sudo=""; [ "$$(id -u)" -eq 0 ] || sudo=sudo; \
	  echo "screenshot: installing$$missing"; \
	  $$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq; \
	  $$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	fi
	@bash scripts/screenshot.sh $(BUILD)/kest32 samples/sample.log docs/screenshot.png

clean:
	rm -rf $(BUILD) $(BUILD_SAN) $(BUILD_FUZZ) $(BUILD_BENCH)
