#!/usr/bin/env bash
# `make run` builds the program alone, not the tests: its build names only
# the program, and nothing the program needs comes from the tests.
# Usage: check-make-run.sh SOURCE_DIR BUILD_DIR
# Exit status 0 passed, 1 failed, 77 skipped.
set -uo pipefail
command -v make >/dev/null 2>&1 || { echo "SKIPPED: make is not installed"; exit 77; }
src=$(cd "${1:?usage: check-make-run.sh SOURCE_DIR BUILD_DIR}" && pwd)
build=$(cd "${2:?}" && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# What `make run` would do, without doing it.
plan=$(make -n -C "$src" run BUILD="$build" 2>&1) || { echo "FAIL: make -n run: $plan"; exit 1; }
builds=$(grep -- 'cmake --build' <<<"$plan")
[ -n "$builds" ] || fail "make run builds nothing: $plan"
while IFS= read -r line; do
  [[ $line == *"--target kest32"* ]] || fail "make run builds more than the program: $line"
done <<<"$builds"

# Everything the program's target needs.
if command -v ninja >/dev/null 2>&1 && [ -f "$build/build.ninja" ]; then
  needed=$(ninja -C "$build" -t commands kest32) || fail "ninja -t commands kest32"
  if grep -E -q '/tests/|gtest|Qt6Test|QtTest' <<<"$needed"; then
    fail "the program's build needs test sources: $(grep -E -m1 '/tests/|gtest|QtTest' <<<"$needed")"
  fi
fi
[ "$failures" -eq 0 ] || exit 1
echo "make run: builds the program alone"
