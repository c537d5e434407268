#!/bin/sh
# Start-up cost of a wrapped program against `java -jar` on the same JAR.
#   bench/startup.sh [RUNS]      (after `make`; uses the default JDK)
# Prints the mean wall time per run of each, and the launcher's own work
# before Java (a run that finds no runtime) in instructions when valgrind is there.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-20}
jdk=${JDK_HOME:-/usr/lib/jvm/java-17-openjdk-amd64}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/src/b" "$work/classes"
cat >"$work/src/b/Main.java" <<'JAVA'
package b;
public class Main { public static void main(String[] a) { System.out.println("ok " + a.length); } }
JAVA
"$jdk/bin/javac" -d "$work/classes" "$work/src/b/Main.java"
"$jdk/bin/jar" --create --file "$work/app.jar" --main-class b.Main -C "$work/classes" .
"$root/build/linux-x64/tarnpack" --jar "$work/app.jar" --out "$work/app" >/dev/null
printf 'jre_order c\r\njvmdll /nowhere\r\n' >"$work/none.cfg"
"$root/build/linux-x64/tarnpack" --jar "$work/app.jar" --config "$work/none.cfg" \
    --out "$work/none" >/dev/null

mean_ms() { # command...
    start=$(date +%s%N)
    i=0
    while [ $i -lt "$runs" ]; do "$@" >/dev/null 2>&1 || true; i=$((i + 1)); done
    echo $(( ($(date +%s%N) - start) / runs / 1000000 ))
}

export JAVA_HOME="$jdk"
mean_ms "$work/app" x >/dev/null # warm the page cache
echo "runs: $runs"
echo "java -jar app.jar x   $(mean_ms "$jdk/bin/java" -jar "$work/app.jar" x) ms"
echo "./app x (tarn)        $(mean_ms "$work/app" x) ms"
echo "tarn, no runtime      $(mean_ms "$work/none") ms"
if command -v valgrind >/dev/null; then
    valgrind --tool=callgrind --callgrind-out-file="$work/cg" "$work/none" >/dev/null 2>"$work/vg" || true
    echo "tarn, no runtime      $(grep -o 'Collected : [0-9]*' "$work/vg" | grep -o '[0-9]*') instructions"
fi
