#!/usr/bin/env bash
# Prints load time (ms; the CPU time beside it is steadier on a busy
# machine) and peak resident memory of each picture benchmark, each in a
# process of its own. Usage: bench/picture/run.sh [build folder]
set -euo pipefail
build=${1:-build}
bin=$build/bench/picture/bench_picture
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export MIRT_BENCH_DIR=$dir
"$bin" --benchmark_list_tests >/dev/null   # writes the pictures once
ls -l "$dir" | awk 'NR > 1 { printf "%-24s %10d bytes\n", $9, $5 }'
for name in jpeg_200x200 jpeg_6000x4000 progressive420_libjpeg progressive420_visible progressive444_libjpeg \
  progressive444_visible bmp_200x200 bmp_6000x4000; do
  "$bin" --benchmark_filter="/$name\$" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_format=csv 2>/dev/null | awk -F, -v n="$name" '
      $1 ~ /_median"?$/ { for (i = 1; i <= NF; i++) if (h[i] == "real_time") t = $i; else if (h[i] == "cpu_time") c = $i
                          else if (h[i] ~ /peak_rss_MB/) r = $i
                          printf "%-24s median %8.3f ms (CPU %8.3f ms)   peak RSS %6.1f MB\n", n, t, c, r }
      NR == 1 { for (i = 1; i <= NF; i++) { gsub(/"/, "", $i); h[i] = $i } }'
done
