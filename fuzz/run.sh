#!/usr/bin/env bash
# Builds the libFuzzer targets with clang++ and runs each for SECONDS (default 60),
# seeded from examples/ (the other formats converted from them by make_seeds) and
# fuzz/seeds/. Exits non-zero when a target finds a crash or a broken property.
#   fuzz/run.sh [SECONDS]
set -euo pipefail
seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${MCJOBS_FUZZ_DIR:-$root/build-fuzz}"
cxx="${CXX_FUZZ:-clang++}"

if ! command -v "$cxx" >/dev/null 2>&1; then
  echo "fuzz: $cxx not found, fuzzing skipped"
  exit 0
fi

mkdir -p "$out"
# The library's own dependencies: pugixml (MC-DAG reader) and CBC (exact scheduling method).
read -r -a cbc_cflags <<< "$(pkg-config --cflags cbc)"
read -r -a libs <<< "-lpugixml $(pkg-config --libs cbc)"
flags=(-std=c++17 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=all -I"$root/src-lib" "${cbc_cflags[@]}")

# The library once, without the fuzzer's main.
objects=()
for source in "$root"/src-lib/*.cpp; do
  object="$out/$(basename "${source%.cpp}").o"
  "$cxx" "${flags[@]/-fsanitize=fuzzer,/-fsanitize=fuzzer-no-link,}" -c "$source" -o "$object"
  objects+=("$object")
done

# Seeds: whole example files for the reader, their single lines for the line parsers.
seed() {
  local corpus="$1" kind="$2"
  mkdir -p "$corpus"
  local file n=0
  for file in "$root"/examples/*.txt; do
    if [ "$kind" = file ]; then
      cp "$file" "$corpus/$(basename "$file")"
    else
      while IFS= read -r line; do
        n=$((n + 1))
        case "$kind:$line" in
          job:\(*|arc:[0-9]*) ;;
          *) printf '%s\n' "$line" > "$corpus/line-$n" ;;
        esac
      done < "$file"
    fi
  done
}

# The other formats and the archive, converted from the examples by the library's writers.
targets=(job_line arc_line instance_reader json_reader dot_reader stg_reader nptest_reader
         mcdag_reader archive_walker generate_options)
for target in "${targets[@]}"; do mkdir -p "$out/corpus-$target"; done
"$cxx" "${flags[@]/-fsanitize=fuzzer,/-fsanitize=}" "$root/fuzz/make_seeds.cpp" "${objects[@]}" \
  "${libs[@]}" -o "$out/make_seeds"
"$out/make_seeds" "$out" "$root"/examples/*.txt "$root"/examples/*.dot "$root"/examples/*.stg
cp "$root"/examples/*.dot "$out/corpus-dot_reader/"
cp "$root"/examples/*.stg "$out/corpus-stg_reader/"
cp "$root"/examples/*.xml "$out/corpus-mcdag_reader/"
cp "$root"/fuzz/seeds/generate_options/* "$out/corpus-generate_options/"

status=0
for target in "${targets[@]}"; do
  binary="$out/${target}_fuzz"
  "$cxx" "${flags[@]}" -I"$root/fuzz" "$root/fuzz/${target}_fuzz.cpp" "${objects[@]}" "${libs[@]}" \
    -o "$binary"
  corpus="$out/corpus-$target"
  case "$target" in
    job_line) seed "$corpus" job ;;
    arc_line) seed "$corpus" arc ;;
    instance_reader) seed "$corpus" file ;;
  esac
  echo "== fuzz $target for ${seconds}s"
  # A unit runs in milliseconds; one that takes seconds loops on a number from the input.
  if ! (cd "$out" && "$binary" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$out/$target-" "$corpus" 2>"$out/$target.log"); then
    echo "fuzz: $target failed, see $out/$target.log"
    tail -40 "$out/$target.log"
    status=1
  else
    grep -E '^stat::(number_of_executed_units|new_units_added)|^#[0-9]+.*DONE' "$out/$target.log" || true
  fi
done
exit "$status"
