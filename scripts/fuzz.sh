#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/, then runs each target for
# <seconds> (default 10) from its seed corpus in tests/fuzz/corpus/<target>/.
#
#   scripts/fuzz.sh [seconds] [target...]
#
# New inputs the fuzzer finds go to build-fuzz/corpus/<target>/ (the seed
# corpus in the repository is only read); a crash leaves its input in
# build-fuzz/artifacts/. Prints one line per target: executions, coverage
# (edges reached, features) and the corpus size. Exits 0 when no target
# crashed, 1 when one did or the targets could not be built (the build's
# end is shown), 2 when no clang with libFuzzer is available.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-10}
shift || true
case "$seconds" in
  ''|*[!0-9]*) echo "usage: scripts/fuzz.sh [seconds] [target...]" >&2; exit 2 ;;
esac

probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' >"$probe_dir/probe.cpp"
if ! command -v clang++ >/dev/null 2>&1 ||
   ! clang++ -fsanitize=fuzzer,address,undefined "$probe_dir/probe.cpp" -o "$probe_dir/probe" 2>/dev/null; then
  echo "fuzz.sh: no clang++ with -fsanitize=fuzzer (install clang and libclang-rt-dev)" >&2
  exit 2
fi

# The build's output is kept, and its end shown, should it fail: the targets
# are the only part of the tree built with clang, so this is where code that
# only the other compiler accepts is caught.
mkdir -p build-fuzz
if ! CC=clang CXX=clang++ ./scripts/build.sh build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DGPUSIM_SANITIZE=ON -DGPUSIM_FUZZ=ON -DGPUSIM_TESTS=OFF -DGPUSIM_BENCHMARKS=OFF >build-fuzz/build.log 2>&1; then
  tail -n 20 build-fuzz/build.log >&2
  echo "fuzz.sh: building the fuzz targets failed (build-fuzz/build.log)" >&2
  exit 1
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in tests/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

mkdir -p build-fuzz/artifacts
# Absolute paths: a target may work in a scratch directory of its own.
root=$PWD
status=0
printf '%-22s %12s %8s %8s %8s %s\n' target executions cov ft corpus result
for target in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$target"
  log="build-fuzz/$target.log"
  result=ok
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      "build-fuzz/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 -max_len=4096 \
      -rss_limit_mb=1024 -artifact_prefix="$root/build-fuzz/artifacts/$target-" \
      "$root/build-fuzz/corpus/$target" "$root/tests/fuzz/corpus/$target" >"$log" 2>&1; then
    result="CRASH (see $log)"
    status=1
  fi
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corpus=$(sed -n 's/.* corp: \([0-9]*\/[0-9a-zA-Z]*\).*/\1/p' <<<"$last")
  printf '%-22s %12s %8s %8s %8s %s\n' "$target" "${executions:-?}" "${cov:-?}" "${ft:-?}" "${corpus:-?}" "$result"
done
exit $status
