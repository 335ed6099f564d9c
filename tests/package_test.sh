#!/usr/bin/env bash
# Builds the Debian package from the build tree, unpacks it and checks what an
# install would put on the machine: the programs run, the desktop entry, the
# AppStream metainfo and the MIME definition pass their validators, the
# manual pages, icons and bash completion are there and usable, the licence and
# changelog are where Debian wants them, and lintian finds no error or warning.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)

fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in cpack dpkg-deb dpkg-shlibdeps dpkg-parsechangelog desktop-file-validate appstreamcli update-mime-database \
    file man gzip lintian; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/setup.sh installs it)"
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in the build's cache"
arch=$(dpkg --print-architecture)

(cd "$build" && cpack -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log" >&2; fail "cpack failed"; }
deb="$tmp/out/kestrava_${version}_${arch}.deb"
[ -f "$deb" ] || { ls -R "$tmp/out" >&2; fail "no $deb"; }

# Run dependencies from dpkg-shlibdeps: the Qt, libdeflate and C++ libraries.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libdeflate0 libstdc++6 libc6; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = kestrava ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
[[ $(dpkg-deb -f "$deb" Recommends) == *bash-completion* ]] || fail "Recommends lacks bash-completion"
maintainer=$(dpkg-deb -f "$deb" Maintainer)
[[ $maintainer == Kestrava* && $maintainer != *example.* ]] || fail "maintainer: $maintainer"

# Every command-line tool has a manual page and a bash completion in the
# source tree; the package holds them all.
tools=()
for page in "$source_dir"/packaging/man/*.1; do
  name=$(basename "$page" .1)
  [ "$name" = kestrava ] || tools+=("$name")
done
[ ${#tools[@]} -ge 2 ] || fail "no manual pages of the tools in $source_dir/packaging/man"

root="$tmp/root"
dpkg-deb -x "$deb" "$root"
usr="$root/usr"
expected=(
  bin/kestrava share/man/man1/kestrava.1.gz
  share/applications/kestrava.desktop
  share/icons/hicolor/scalable/apps/kestrava.svg
  share/metainfo/org.kestrava.Kestrava.metainfo.xml
  share/mime/packages/kestrava.xml
  share/doc/kestrava/copyright share/doc/kestrava/changelog.gz
)
for t in "${tools[@]}"; do
  expected+=("bin/$t" "share/man/man1/$t.1.gz" "share/bash-completion/completions/$t")
done
for size in 16 22 24 32 48 64 128 256; do expected+=("share/icons/hicolor/${size}x${size}/apps/kestrava.png"); done
for f in "${expected[@]}"; do
  [ -f "$usr/$f" ] || fail "the package lacks /usr/$f"
done
for b in kestrava "${tools[@]}"; do
  [ -x "$usr/bin/$b" ] || fail "/usr/bin/$b is not executable"
  file -b "$usr/bin/$b" | grep -q '^ELF' || fail "/usr/bin/$b is no program"
done
for size in 16 22 24 32 48 64 128 256; do
  file -b "$usr/share/icons/hicolor/${size}x${size}/apps/kestrava.png" | grep -q "PNG image data, $size x $size" ||
    fail "the ${size}x${size} icon is not a PNG of that size"
done

# The unpacked programs run.
"$usr/bin/hpi" --help >"$tmp/hpi.txt" || fail "unpacked hpi --help failed"
grep -q 'hpi verify ARCHIVE' "$tmp/hpi.txt" || fail "hpi --help does not describe verify"
"$usr/bin/kestrava-table" --help >"$tmp/table.txt" || fail "unpacked kestrava-table --help failed"
grep -q 'kestrava-table KIND' "$tmp/table.txt" || fail "kestrava-table --help shows no usage"
sample="$build/examples/sample.ufo"
[ -f "$sample" ] || fail "no sample archive $sample (the build packs it)"
"$usr/bin/hpi" verify "$sample" >/dev/null || fail "unpacked hpi could not verify the sample archive"
"$usr/bin/kestrava-table" units "$sample" --columns UnitName >"$tmp/units.csv" ||
  fail "unpacked kestrava-table could not print the sample archive's units"
[ "$(head -n 1 "$tmp/units.csv")" = $'UnitName\r' ] || fail "unexpected table header"
[ "$(wc -l <"$tmp/units.csv")" -gt 1 ] || fail "the sample archive gave no unit rows"

# Validators.
desktop=$usr/share/applications/kestrava.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
metainfo=$usr/share/metainfo/org.kestrava.Kestrava.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" || fail "metainfo project_license"
grep -q '<metadata_license>CC0-1.0</metadata_license>' "$metainfo" || fail "metainfo metadata_license"

# File managers offer the program for the archive type and pass it the files;
# the menus list it once, under one main category.
grep -qx 'Exec=kestrava %F' "$desktop" || fail "desktop Exec does not take files"
mime_types=$(grep -o '<mime-type type="[^"]*"' "$usr/share/mime/packages/kestrava.xml" | cut -d'"' -f2)
[ -n "$mime_types" ] || fail "no MIME type in kestrava.xml"
for type in $mime_types; do
  grep -q "^MimeType=\(.*;\)\?$type;" "$desktop" || fail "the desktop entry does not declare $type"
done
main_categories=$(sed -n 's/^Categories=//p' "$desktop" | tr ';' '\n' |
  grep -cxE 'AudioVideo|Audio|Video|Development|Education|Game|Graphics|Network|Office|Science|Settings|System|Utility')
[ "$main_categories" -eq 1 ] || fail "the desktop entry has $main_categories main categories"

# Licence and history: a machine-readable copyright file naming the GPL, and a
# Debian changelog whose latest entry is this version.
copyright=$usr/share/doc/kestrava/copyright
head -n 1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "copyright is not machine-readable"
grep -qx 'License: GPL-3+' "$copyright" || fail "copyright names no GPL-3+"
gzip -dc "$usr/share/doc/kestrava/changelog.gz" >"$tmp/changelog" || fail "changelog.gz"
[ "$(dpkg-parsechangelog -l "$tmp/changelog" -S Version)" = "$version" ] || fail "the changelog's latest entry is not $version"

# Debian's own checker: no error and no warning (informational notes pass),
# and none of its hardening notes either (fortify, RELRO, immediate binding).
lintian --fail-on error,warning "$deb" >"$tmp/lintian.log" 2>&1 || { cat "$tmp/lintian.log" >&2; fail "lintian"; }
# (A sanitizer build is built without them: its package is for testing only.)
if ! grep -q '^KESTRAVA_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then
  lintian -I "$deb" >"$tmp/lintian-info.log" 2>&1 || true
  ! grep 'hardening-' "$tmp/lintian-info.log" || fail "lintian's hardening notes"
fi

# Every document names all six programs: the AppStream provides, the
# changelog, and each manual page's SEE ALSO the other five.
programs=(kestrava "${tools[@]}")
[ ${#programs[@]} -eq 6 ] || fail "${#programs[@]} programs with manual pages, not six"
for p in "${programs[@]}"; do
  [ -x "$usr/bin/$p" ] || fail "the package lacks /usr/bin/$p"
  grep -q "<binary>$p</binary>" "$usr/share/metainfo/org.kestrava.Kestrava.metainfo.xml" ||
    fail "the metainfo does not provide $p"
  gzip -dc "$usr/share/doc/kestrava/changelog.gz" | grep -q -- "$p" || fail "the changelog does not name $p"
  see_also=$(gzip -dc "$usr/share/man/man1/$p.1.gz" | sed -n '/^\.SH SEE ALSO/,/^\.SH /p')
  for other in "${programs[@]}"; do
    [ "$other" = "$p" ] || grep -q "^\.BR $other (1)" <<<"$see_also" || fail "$p(1)'s SEE ALSO does not name $other"
  done
done

# The MIME definition compiles, and names every archive extension.
mkdir -p "$tmp/mime/packages"
cp "$usr/share/mime/packages/kestrava.xml" "$tmp/mime/packages/"
update-mime-database "$tmp/mime" >/dev/null 2>"$tmp/mime.log" || { cat "$tmp/mime.log" >&2; fail "update-mime-database"; }
! grep -qi 'error\|warning' "$tmp/mime.log" || { cat "$tmp/mime.log" >&2; fail "update-mime-database complained"; }
for glob in '*.hpi' '*.ufo' '*.ccx' '*.gp[0-9]'; do
  grep -qF "application/x-total-annihilation-archive:$glob" "$tmp/mime/globs2" || fail "no MIME glob $glob"
done
grep -q 'application/x-total-annihilation-archive' "$tmp/mime/magic" || fail "no MIME magic"

# Manual pages: valid gzip, formatted without a warning, naming their command.
for page in kestrava "${tools[@]}"; do
  gz="$usr/share/man/man1/$page.1.gz"
  gzip -t "$gz" || fail "$page.1.gz is no gzip file"
  text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$gz" 2>"$tmp/man.log") || fail "man $page"
  [ ! -s "$tmp/man.log" ] || { cat "$tmp/man.log" >&2; fail "man warnings for $page"; }
  grep -q "^NAME" <<<"$text" || fail "$page.1 has no NAME section"
  grep -Eq "^ +$page +- " <<<"$text" || fail "$page.1 does not name $page"
done

# Bash completion offers the commands, kinds and formats.
complete_words() {  # complete_words FILE FUNCTION WORD...
  local file=$1 fn=$2
  shift 2
  bash -c 'shopt -s extglob; source "$1"; fn=$2; shift 2
           COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); "$fn"; printf "%s\n" "${COMPREPLY[@]}"' _ "$file" "$fn" "$@"
}
comp="$usr/share/bash-completion/completions"
[ "$(complete_words "$comp/hpi" _hpi hpi ve)" = verify ] || fail "hpi completion of a command"
[ "$(complete_words "$comp/hpi" _hpi hpi add a.hpi p f --compression z)" = zlib ] || fail "hpi completion of a method"
[ "$(complete_words "$comp/kestrava-table" _kestrava_table kestrava-table we)" = weapons ] ||
  fail "kestrava-table completion of a kind"
[ "$(complete_words "$comp/kestrava-table" _kestrava_table kestrava-table units --format j)" = json ] ||
  fail "kestrava-table completion of a format"
[ "$(complete_words "$comp/kestrava-apply" _kestrava_apply kestrava-apply t.csv --dry)" = --dry-run ] ||
  fail "kestrava-apply completion of an option"
[ "$(complete_words "$comp/kestrava-diff" _kestrava_diff kestrava-diff a b --kind co)" = corpses ] ||
  fail "kestrava-diff completion of a kind"

# kestrava-check: program, manual page and completion, and a run over the sample.
for f in bin/kestrava-check share/man/man1/kestrava-check.1.gz share/bash-completion/completions/kestrava-check; do
  [ -f "$usr/$f" ] || fail "the package lacks /usr/$f"
done
file -b "$usr/bin/kestrava-check" | grep -q '^ELF' || fail "/usr/bin/kestrava-check is no program"
LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$usr/share/man/man1/kestrava-check.1.gz" \
  >"$tmp/check-man.txt" 2>"$tmp/man.log" || fail "man kestrava-check"
[ ! -s "$tmp/man.log" ] || { cat "$tmp/man.log" >&2; fail "man warnings for kestrava-check"; }
grep -Eq "^ +kestrava-check +- " "$tmp/check-man.txt" || fail "kestrava-check.1 does not name kestrava-check"
"$usr/bin/kestrava-check" --format json "$source_dir/examples/game" "$sample" >"$tmp/check.json" 2>"$tmp/check.err" ||
  true
grep -q '^kestrava-check: [0-9]* errors\?, [0-9]* warnings\?\(, [0-9]* notes\?\)\?$' "$tmp/check.err" ||
  fail "unpacked kestrava-check gave no counts: $(cat "$tmp/check.err")"
[ "$(complete_words "$comp/kestrava-check" _kestrava_check kestrava-check x --format sa)" = sarif ] ||
  fail "kestrava-check completion of a format"

echo "package $deb: all checks passed"
