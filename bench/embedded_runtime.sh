#!/bin/sh
# A program that carries its own runtime, per JDK: its size against the same
# runtime folder zipped with `zip -9`, the first start (extraction into an
# empty cache) and later starts against the same program finding that runtime
# installed (JAVA_HOME). Applications: a hello world, and Debian's Maven
# (`mvn --version`, when /usr/share/maven exists).
#   bench/embedded_runtime.sh [RUNS]      (after `make linux-x64`)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-20}
tarnpack="$root/build/linux-x64/tarnpack"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
jdks=${JDKS:-"/usr/lib/jvm/java-17-openjdk-amd64 /usr/lib/jvm/temurin-25-jdk-amd64"}
maven=/usr/share/maven
# zip only serves the size comparison: installed when missing and we are root.
if ! command -v zip >/dev/null 2>&1; then
    if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends zip >/dev/null
    else
        echo "bench/embedded_runtime.sh: needs zip (apt-get install zip)" >&2
        exit 1
    fi
fi

mkdir -p "$work/src" "$work/classes"
cat >"$work/src/Hello.java" <<'JAVA'
public class Hello { public static void main(String[] a) { System.out.println("hello"); } }
JAVA

# Mean wall time in ms of two programs started alternately (so that load from
# elsewhere on the machine hits both alike): "A B".
alternate_ms() { # exeA exeB (environment prepared by the caller)
    a=0 b=0 i=0
    while [ $i -lt "$runs" ]; do
        t0=$(date +%s%N)
        XDG_CACHE_HOME="$work/cache" "$1" --version >/dev/null 2>&1 || true
        t1=$(date +%s%N)
        JAVA_HOME="$work/rt" "$2" --version >/dev/null 2>&1 || true
        t2=$(date +%s%N)
        a=$((a + t1 - t0)) b=$((b + t2 - t1)) i=$((i + 1))
    done
    echo "$((a / runs / 100000)) $((b / runs / 100000))" |
        awk '{printf "%.1f ms, with the runtime installed %.1f ms (%+.1f%%)", $1/10, $2/10, ($1/$2-1)*100}'
}

first_ms() { # exe: mean of 3 starts, each into an empty cache
    total=0
    for i in 1 2 3; do
        rm -rf "$work/cache"
        start=$(date +%s%N)
        XDG_CACHE_HOME="$work/cache" "$@" >/dev/null 2>&1 || true
        total=$((total + $(date +%s%N) - start))
    done
    echo $((total / 3 / 1000000))
}

size() { stat -c %s "$1"; }

# name jar config modules
measure() {
    name=$1 jar=$2 cfg=$3 modules=$4
    rm -rf "$work/rt" "$work/rt.zip"
    "$jdk/bin/jlink" --add-modules "$modules" --strip-debug --no-header-files --no-man-pages \
        --output "$work/rt"
    (cd "$work" && zip -9 -q -r rt.zip rt)
    "$tarnpack" --jar "$jar" --config "$cfg" --runtime "$work/rt" --out "$work/$name-rt" >/dev/null
    printf 'jre_order e\r\n' | cat - "$cfg" >"$work/installed.cfg"
    "$tarnpack" --jar "$jar" --config "$work/installed.cfg" --out "$work/$name" >/dev/null
    XDG_CACHE_HOME="$work/cache" "$work/$name-rt" --version >/dev/null 2>&1 || true # warm the page cache
    first=$(first_ms "$work/$name-rt" --version)
    XDG_CACHE_HOME="$work/cache" "$work/$name-rt" --version >/dev/null 2>&1 || true
    later=$(alternate_ms "$work/$name-rt" "$work/$name")
    echo "$version $name: runtime folder $(du -sb "$work/rt" | cut -f1) bytes ($modules)"
    echo "  program with runtime   $(size "$work/$name-rt") bytes"
    echo "  runtime zip -9         $(size "$work/rt.zip") bytes (+ program $(size "$work/$name"))"
    echo "  first start            $first ms (extraction included)"
    echo "  later starts           $later"
}

echo "runs: $runs"
for jdk in $jdks; do
    [ -x "$jdk/bin/jlink" ] || continue
    version=$(sed -n 's/^JAVA_VERSION="\(.*\)"/\1/p' "$jdk/release")
    "$jdk/bin/javac" -d "$work/classes" "$work/src/Hello.java"
    "$jdk/bin/jar" --create --file "$work/hello.jar" --main-class Hello -C "$work/classes" .
    : >"$work/hello.cfg"
    measure hello "$work/hello.jar" "$work/hello.cfg" java.base
    if [ -d "$maven" ]; then
        feature=${version%%.*}
        modules=$("$jdk/bin/jdeps" --print-module-deps --ignore-missing-deps --multi-release \
            "$feature" "$maven"/lib/*.jar "$maven"/boot/*.jar | tail -n 1)
        printf '%s\r\n' "mainclass org.codehaus.plexus.classworlds.launcher.Launcher" \
            "option -Dclassworlds.conf=$maven/bin/m2.conf" "option -Dmaven.home=$maven" \
            "option -Dmaven.multiModuleProjectDirectory=$work" >"$work/maven.cfg"
        measure maven "$maven/boot/plexus-classworlds-2.x.jar" "$work/maven.cfg" "$modules"
    fi
done
