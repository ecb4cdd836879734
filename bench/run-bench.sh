#!/bin/bash
# The installer against NSIS on the same payload, in one warm Wine prefix,
# in one run (issue 9):
#
#     bash bench/run-bench.sh [BUILD_DIR [RUNS]]
#
# BUILD_DIR is a configured and built build folder (default: build beside
# this script's folder); RUNS the counted runs of each measurement (default
# 5). The payload is the build's: the demo payload or LUNKO_PAYLOAD_DIR.
# Builds two NSIS installers of the same 115 catalogue files (zlib
# non-solid, LZMA solid) with makensis (Debian package nsis), then runs
# bench_release.exe, which prints min / median / max and the ratios. Not a
# test: timings are never judged in CI; CI runs it once on a tiny payload
# (LUNKO_BENCH_ROWS=3: the first three catalogue rows only) so that it
# cannot rot. LUNKO_BENCH_INSTALLER compares another build of the installer.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-5}

command -v makensis >/dev/null || { echo "run-bench: makensis is missing (Debian package nsis)" >&2; exit 1; }
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
payload_dir=$(cache_value LUNKO_PAYLOAD_DIR)
[ -n "$payload_dir" ] || payload_dir=$build/payload-files
list=$root/resources/payload.list
files=$payload_dir
ours=${LUNKO_BENCH_INSTALLER:-$build/LunkoSetup.exe}
bench=$build/bench
for f in "$ours" "$bench/bench_release.exe" "$bench/bench_trivial.exe"; do
    [ -f "$f" ] || { echo "run-bench: $f is missing: build first" >&2; exit 1; }
done

dos() { local p=$1; echo "Z:${p//\//\\}"; }

if [ -n "${LUNKO_BENCH_ROWS:-}" ]; then
    mkdir -p "$bench"
    grep -v '^#' "$list" | awk -v n="$LUNKO_BENCH_ROWS" \
        '($2=="catalogue" || $2=="sheets") && k < n {print; k++}' > "$bench/bench-rows.list"
    list=$bench/bench-rows.list
fi

# The NSIS installers: the same catalogue rows, installed into $INSTDIR; a
# directory page and the progress page when run without /S.
nsis=$bench/nsis
mkdir -p "$nsis"
make_nsis() {
    local name=$1 compressor=$2 script=$nsis/$1.nsi
    {
        echo 'Unicode true'
        echo "Name \"LunkoBench\""
        echo "OutFile \"$nsis/$name.exe\""
        echo "SetCompressor $compressor"
        echo 'InstallDir "C:\LunkoNsis"'
        echo 'RequestExecutionLevel user'
        echo 'Page directory'
        echo 'Page instfiles'
        echo 'Section'
        echo '  SetOutPath "$INSTDIR"'
        grep -v '^#' "$list" | awk '$2=="catalogue" || $2=="sheets" {print $3}' | while read -r file; do
            echo "  File \"/oname=$file\" \"$files/$file\""
        done
        echo 'SectionEnd'
    } > "$script"
    makensis -V1 "$script" >/dev/null
}
make_nsis nsis-zlib zlib
make_nsis nsis-lzma "/SOLID lzma"
rows=$(grep -v '^#' "$list" | awk '$2=="catalogue" || $2=="sheets"' | wc -l)
echo "run-bench: $rows catalogue files from $files; $runs runs each"

# One prefix for everything (the harness makes and removes it).
LUNKO_WINE_TEMPLATE=${LUNKO_WINE_TEMPLATE:-$build/wine/template} \
    bash "$root/tests/harness/wine-run.sh" "$bench/bench_release.exe" compare "$runs" \
    "$(dos "$ours")" "$(dos "$nsis/nsis-zlib.exe")" "$(dos "$nsis/nsis-lzma.exe")" \
    "$(dos "$bench/bench_trivial.exe")" "$(dos "$list")" 'C:\bench'
