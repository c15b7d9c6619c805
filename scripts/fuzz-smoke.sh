#!/usr/bin/env bash
# `make fuzz-smoke`: runs a libFuzzer target for a short, bounded time over a
# small seed corpus and fails when it finds a crash, a hang or a memory blow-up.
# Usage: fuzz-smoke.sh FUZZ_BINARY        (FUZZ_SECONDS overrides the 60 s)
set -u

bin=${1:?usage: fuzz-smoke.sh FUZZ_BINARY}
seconds=${FUZZ_SECONDS:-60}
case $seconds in
  ''|*[!0-9]*) echo "fuzz: FUZZ_SECONDS must be a whole number of seconds, not '$seconds'" >&2; exit 2 ;;
esac
if [ ! -x "$bin" ]; then
  echo "fuzz: $bin is missing or not executable" >&2
  exit 2
fi

repo=$(cd "$(dirname "$0")/.." && pwd)
outdir=$(cd "$(dirname "$bin")" && pwd)
corpus=$outdir/corpus
log=$outdir/fuzz-smoke.log
name=$(basename "$bin")
case $name in
fuzz_profile)
  # Kest.INI: a corpus and a log of its own. Seeds: both bookmark sections in
  # both forms, a parent stored after its child, entries that fit neither
  # form, quotes, headings in other letter cases.
  corpus=$outdir/corpus-$name
  log=$outdir/fuzz-smoke-$name.log
  mkdir -p "$corpus"
  printf '[Option]\r\nSortType=0\r\n[Book Dir]\r\nNews=A0|0\r\nOld=A1|A0\r\nLate=A3|A2\r\nLater=A2|0\r\n[Book Mark]\r\nFirst reply=A1|15|/log/F1.LOG\r\nStart=3|/log/F2.LOG\r\nbad=A0|x|/p\r\nempty=\r\nq="\x27x\x27"\r\n' > "$corpus/seed-bookmarks"
  printf '[book mark]\nA=0|0|utf-8:/%%E3%%81%%82.log\n[BOOK DIR]\nG=A0\n[Book Mark]\na=1|/dup\n' > "$corpus/seed-cases"
  ;;
fuzz_archive)
  # Archives: the samples in every form, and a few tiny ones.
  corpus=$outdir/corpus-$name
  log=$outdir/fuzz-smoke-$name.log
  mkdir -p "$corpus"
  for f in "$repo"/samples/*.lzh "$repo"/samples/*.zip; do
    [ -f "$f" ] && cp "$f" "$corpus/seed-$(basename "$f")"
  done
  printf '\0' > "$corpus/seed-empty-lzh"
  printf 'PK\005\006\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0' > "$corpus/seed-empty-zip"
  ;;
*)
mkdir -p "$corpus"

# Seeds: the sample log when there is one, and a few tiny inputs that reach the
# title line, a remark header with its date line, and the end-of-file byte.
if [ -f "$repo/samples/sample.log" ]; then
  cp "$repo/samples/sample.log" "$corpus/seed-sample.log"
fi
printf 'Forum title line\r\n' > "$corpus/seed-title"
printf '00001/00002 ABC01234  name             title\r\n     96/03/01   21:00  \r\nbody\r\n' > "$corpus/seed-header"
printf 'Forum title line\r\n00001/00002 ABC01234  name             title\r\n     96/03/01   21:00  \r\nbody\r\n\032' > "$corpus/seed-eof"
printf '\032\r\n' > "$corpus/seed-eof-only"
  ;;
esac

echo "fuzz: running $(basename "$bin") for ${seconds}s over $corpus (log: $log)"
# Crash reproducers land next to the binary, not in the current directory.
"$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -artifact_prefix="$outdir/" "$corpus" > "$log" 2>&1
rc=$?

runs=$(sed -n 's/^Done \([0-9][0-9]*\) runs.*/\1/p' "$log" | tail -n 1)
if [ "$rc" -ne 0 ]; then
  tail -n 40 "$log"
  echo "fuzz: FAILED (exit $rc) after ${runs:-?} runs; reproducer under $outdir/ (crash-*, timeout-*, oom-*)"
  exit "$rc"
fi
echo "fuzz: ${runs:-?} runs, no crash"
