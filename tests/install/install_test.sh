#!/usr/bin/env bash
# Installs the build into a scratch prefix and uses the installation the way
# a user and the desktop do: the converter through its link in bin/ on the
# installed sample, the window through the desktop entry's Exec line (it must
# find its own folder through the link), and the desktop entry, metainfo and
# manual pages through their validators.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
tmp=$(mktemp -d)
app_pid=
cleanup() {
  [ -z "$app_pid" ] || kill "$app_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

tmp=$(cd "$tmp" && pwd -P)
p=$tmp/prefix
cmake --install "$build" --prefix "$p" >/dev/null

# Exactly these files: the program's folder whole, links, desktop files;
# nothing from the tests or the benchmarks.
icons=()
for size in 16 22 24 32 48 64 128 256; do
  icons+=("share/icons/hicolor/${size}x${size}/apps/quellbrook.png")
done
expected=(
  bin/quellbrook bin/quellbrook-convert
  lib/quellbrook/quellbrook lib/quellbrook/quellbrook-convert
  lib/quellbrook/HAND-M.CUR lib/quellbrook/x/o.cjs
  lib/quellbrook/Samples/sample.mdb lib/quellbrook/Samples/sample1.db3
  share/applications/example.harrowind.Quellbrook.desktop
  share/metainfo/example.harrowind.Quellbrook.metainfo.xml
  share/icons/hicolor/scalable/apps/quellbrook.svg "${icons[@]}"
  share/man/man1/quellbrook.1.gz share/man/man1/quellbrook-convert.1.gz
)
diff -u <(printf '%s\n' "${expected[@]}" | sort) <(cd "$p" && find . ! -type d | sed 's|^\./||' | sort) ||
  fail "the installed files differ from the expected layout (- expected, + installed)"

for program in quellbrook quellbrook-convert; do
  link=$(readlink "$p/bin/$program") || fail "bin/$program is not a link"
  case $link in /*) fail "bin/$program points at an absolute path: $link" ;; esac
  [ "$(readlink -f "$p/bin/$program")" = "$p/lib/quellbrook/$program" ] || fail "bin/$program leads to $(readlink -f "$p/bin/$program")"
done
for size in 16 48 256; do
  [ "$(identify -format '%wx%h' "$p/share/icons/hicolor/${size}x${size}/apps/quellbrook.png")" = "${size}x${size}" ] ||
    fail "the ${size}x${size} icon has another size"
done

# The converter from the installed links, started elsewhere, on the installed
# sample: every Access table arrives with all its rows.
mkdir "$tmp/work"
cd "$tmp/work"
version=$("$p/bin/quellbrook-convert" --version)
[[ $version =~ ^quellbrook-convert\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "--version printed: $version"
sample=$p/lib/quellbrook/Samples/sample.mdb
"$p/bin/quellbrook-convert" "$sample" "$tmp/out.db3" </dev/null >"$tmp/convert.log" 2>&1 ||
  { cat "$tmp/convert.log" >&2; fail "the installed converter failed on the installed sample"; }
tables=$(mdb-tables -1 "$sample" | sort)
[ -n "$tables" ] || fail "no tables in the sample"
[ "$tables" = "$(sqlite3 "$tmp/out.db3" "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")" ] ||
  fail "the SQLite file does not hold the sample's tables"
while IFS= read -r table; do
  [ "$(mdb-count "$sample" "$table")" = "$(sqlite3 "$tmp/out.db3" "SELECT COUNT(*) FROM \"$table\"")" ] ||
    fail "table $table lost rows"
done <<<"$tables"

# Desktop entry, metainfo, manual pages.
desktop=$p/share/applications/example.harrowind.Quellbrook.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate rejected the desktop entry"
appstreamcli validate --no-net "$p/share/metainfo/example.harrowind.Quellbrook.metainfo.xml" >"$tmp/appstream.log" 2>&1 ||
  { cat "$tmp/appstream.log" >&2; fail "appstreamcli rejected the metainfo"; }
for page in quellbrook quellbrook-convert; do
  warnings=$(zcat "$p/share/man/man1/$page.1.gz" | groff -man -ww -z 2>&1)
  [ -z "$warnings" ] || fail "groff warns about $page.1: $warnings"
  man -l "$p/share/man/man1/$page.1.gz" 2>/dev/null | grep -q "$page" || fail "man cannot show $page.1"
done

# The window as the file manager starts it: the Exec line with a relative
# file name, found on PATH. The file lands in the stored Access field as an
# absolute path, and the program opens the skin and cursor from its own
# folder, reached through the link.
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[ "$exec_line" = "quellbrook %f" ] || fail "unexpected Exec line: $exec_line"
touch "$tmp/work/picked.mdb"
read -r -a command <<<"${exec_line/\%f/picked.mdb}"
mkdir "$tmp/config" "$tmp/home"
PATH=$p/bin:$PATH HOME=$tmp/home XDG_CONFIG_HOME=$tmp/config QT_QPA_PLATFORM=offscreen \
  strace -f -qq -e trace=openat -o "$tmp/trace" "${command[@]}" >"$tmp/window.log" 2>&1 &
tracer=$!
store=$tmp/config/Harrowind/Harrowind.conf
for _ in $(seq 1 300); do
  grep -qxF "AccessMDBFile=$tmp/work/picked.mdb" "$store" 2>/dev/null && break
  kill -0 "$tracer" 2>/dev/null || break
  sleep 0.1
done
app_pid=$(awk 'NR == 1 { print $1 }' "$tmp/trace")
grep -qxF "AccessMDBFile=$tmp/work/picked.mdb" "$store" 2>/dev/null ||
  { cat "$tmp/window.log" >&2; fail "the file argument did not reach the stored Access field"; }
for file in x/o.cjs HAND-M.CUR; do
  grep -qF "\"$p/lib/quellbrook/$file\"" "$tmp/trace" || fail "the window did not open $file from its own folder"
done
kill "$app_pid"
wait "$tracer" || true
app_pid=
echo "installed layout, converter, desktop entry, metainfo, manual pages and window start all as expected"
