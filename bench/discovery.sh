#!/bin/sh
# Cost of the runtime search with 20 installed runtimes, against a run of the
# same launcher that searches nothing, both ending in "not found".
#   bench/discovery.sh [RUNS]      (after `make linux-x64`)
# The runtimes sit in a temporary HOME's ~/.jdks and SDKMAN folders, each a
# release file and a library header; maxjre 1 passes every one over, so every
# candidate is probed, read and judged. As root, /usr/lib/jvm is hidden in a
# private mount namespace so that exactly these 20 are found.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-200}
lib=$(ls /usr/lib/jvm/*/lib/server/libjvm.so | head -1)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/src/b" "$work/classes" "$work/home/.jdks" "$work/home/.sdkman/candidates/java"
i=0
while [ $i -lt 20 ]; do
    if [ $i -lt 10 ]; then dir="$work/home/.jdks/jdk-$((11 + i))"; else
        dir="$work/home/.sdkman/candidates/java/$((11 + i)).0.1-tem"; fi
    mkdir -p "$dir/lib/server"
    printf 'JAVA_VERSION="%s.0.1"\n' $((11 + i)) >"$dir/release"
    head -c 4096 "$lib" >"$dir/lib/server/libjvm.so"
    i=$((i + 1))
done
printf 'class M { public static void main(String[] a) {} }\n' >"$work/src/M.java"
printf 'mainclass M\r\nmaxjre 1\r\n' >"$work/search.cfg"
printf 'mainclass M\r\njre_order c\r\njvmdll /nowhere\r\nmaxjre 1\r\n' >"$work/none.cfg"
printf 'PK\005\006' >"$work/app.jar"
head -c 18 /dev/zero >>"$work/app.jar"
for name in search none; do
    "$root/build/linux-x64/tarnpack" --jar "$work/app.jar" --config "$work/$name.cfg" \
        --out "$work/$name" >/dev/null
done

hide=""
if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null; then
    hide="mount -t tmpfs tmpfs /usr/lib/jvm;"
fi
in_namespace() { # script
    if [ -n "$hide" ]; then /usr/bin/unshare -m /bin/sh -c "$hide $1"; else /bin/sh -c "$1"; fi
}
# Mean wall time per run, in microseconds. On a shared machine wall time swings
# with the load; the CPU time below (perf) is the steadier figure.
wall_us() { # program
    HOME="$work/home" in_namespace "
        start=\$(date +%s%N); i=0
        while [ \$i -lt $runs ]; do PATH=/nowhere $1 2>/dev/null; i=\$((i + 1)); done
        echo \$(( (\$(date +%s%N) - start) / $runs / 1000 ))"
}
cpu_us() { # program: mean task clock per run, in microseconds
    HOME="$work/home" in_namespace "PATH=/nowhere $(command -v perf) stat -x, -e task-clock \
        -r $runs $1 2>&1 >/dev/null | grep task-clock" | awk -F, '{ printf "%d", $1 * 1000 }'
}

judged=$(HOME="$work/home" TARN_TRACE=1 in_namespace "PATH=/nowhere $work/search" 2>&1 |
    grep -c ': passed over,' || true)
echo "runs: $runs, runtimes judged and passed over per run: $judged"
base=$(wall_us "$work/none")
search=$(wall_us "$work/search")
echo "wall, no search (jvmdll only)   $base us"
echo "wall, search of 20 runtimes     $search us   (difference $((search - base)) us)"
if command -v perf >/dev/null; then
    base=$(cpu_us "$work/none")
    search=$(cpu_us "$work/search")
    echo "cpu,  no search (jvmdll only)   $base us"
    echo "cpu,  search of 20 runtimes     $search us   (difference $((search - base)) us," \
        "$((search * 100 / base))% of the baseline run)"
fi
