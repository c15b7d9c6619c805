# The two commands a newcomer needs: `make run` and `make test`.
BUILD      ?= build
BUILD_SAN  ?= build-san
BUILD_FUZZ ?= build-fuzz
BUILD_BENCH ?= build-bench
CMAKE_GEN  := -G Ninja
JOBS       ?= $(shell nproc)

.PHONY: deps build run test test-sanitize fuzz-smoke bench clean

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run-viewer.sh $(BUILD)/kest32 samples/sample.log

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

test-sanitize: deps
	@cmake -S . -B $(BUILD_SAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DKEST_SANITIZE=ON \
	  -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(BUILD_SAN) -j $(JOBS)
	@cd $(BUILD_SAN) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \
	  UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

fuzz-smoke: deps
	@cmake -S . -B $(BUILD_FUZZ) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEST_BUILD_FUZZ=ON \
	  -DKEST_BUILD_UI=OFF -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(BUILD_FUZZ) -j $(JOBS) --target fuzz_scan fuzz_profile
	@bash scripts/fuzz-smoke.sh $(BUILD_FUZZ)/fuzz/fuzz_scan
	@FUZZ_SECONDS=$${FUZZ_PROFILE_SECONDS:-30} bash scripts/fuzz-smoke.sh $(BUILD_FUZZ)/fuzz/fuzz_profile

bench: deps
	@cmake -S . -B $(BUILD_BENCH) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DKEST_BUILD_BENCH=ON >/dev/null
	@cmake --build $(BUILD_BENCH) -j $(JOBS)
	@$(BUILD_BENCH)/bench/kest_bench
	@$(BUILD_BENCH)/bench/kest_bench_bookmarks

clean:
	rm -rf $(BUILD) $(BUILD_SAN) $(BUILD_FUZZ) $(BUILD_BENCH)
