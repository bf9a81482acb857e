#!/usr/bin/env bash
# install-test.sh BUILD: installs the build folder into a temporary prefix and checks
# what the desktop and dpkg get from it, with the desktop's own validators. Exits 77
# (skipped) when a validator is not installed, after running everything else.
set -euo pipefail
build=$(cd "${1:?usage: install-test.sh BUILD}" && pwd)
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
id=com.kestrelweave.TessalyManager
program=$prefix/lib/tessaly-manager/tessaly-manager
desktop=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml
doc=$prefix/share/doc/tessaly-manager
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
failed=0 skipped=0
fail() { echo "FAIL: $*"; failed=1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

# The program, the translation file beside it, and the command on PATH.
[ -x "$program" ] || fail "no program at $program"
if [ -f "$build/Translate.sib" ]; then
  cmp -s "$build/Translate.sib" "${program%/*}/Translate.sib" || fail "Translate.sib is not beside the program"
fi
[ "$(readlink "$prefix/bin/tessaly-manager")" = ../lib/tessaly-manager/tessaly-manager ] &&
  [ "$prefix/bin/tessaly-manager" -ef "$program" ] || fail "bin/tessaly-manager is not a relative link to the program"

# Every icon is a PNG of its folder's size, and the files name each other.
for size in 16 22 24 32 48 64 128 256; do
  icon=$prefix/share/icons/hicolor/${size}x$size/apps/$id.png
  [ -f "$icon" ] || { fail "no ${size} px icon"; continue; }
  read -r width height < <(od -An -tu4 --endian=big -j16 -N8 "$icon")
  [ "$width $height" = "$size $size" ] || fail "the ${size} px icon is $width x $height"
done
grep -qx "Icon=$id" "$desktop" && grep -qx "Exec=tessaly-manager" "$desktop" || fail "desktop entry names another icon or command"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" &&
  grep -q "<binary>tessaly-manager</binary>" "$metainfo" || fail "metainfo names another desktop entry or command"

# Debian's documents, and the project's version as the newest release in both lists.
grep -qx "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" "$doc/copyright" ||
  fail "copyright is not machine-readable"
gzip -t "$doc/changelog.Debian.gz" || fail "changelog.Debian.gz is not gzip"
[ "$(od -An -tx1 -j3 -N5 "$doc/changelog.Debian.gz" | tr -d ' \n')" = 0000000000 ] ||
  fail "changelog.Debian.gz carries a name or time stamp (gzip -9n)"
[[ "$(zcat "$doc/changelog.Debian.gz")" == "tessaly-manager ($version) "* ]] || fail "changelog does not start at $version"
[ "$(grep -o -m1 '<release version="[^"]*"' "$metainfo")" = "<release version=\"$version\"" ] ||
  fail "metainfo's newest release is not $version"

# The Debian package's control data: a default install brings the faces that the
# Japanese and Chinese windows are drawn in.
if command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null; then
  if (cd "$build" && cpack -G DEB -B "$prefix/deb" >/dev/null 2>&1); then
    recommends=$(dpkg-deb -f "$prefix"/deb/*.deb Recommends)
    [[ ", $recommends," == *", fonts-noto-cjk,"* ]] || fail "the package does not recommend fonts-noto-cjk: $recommends"
    [[ ", $(dpkg-deb -f "$prefix"/deb/*.deb Suggests)," != *"fonts-noto-cjk"* ]] || fail "fonts-noto-cjk is still only suggested"
  else
    fail "cpack -G DEB failed"
  fi
else
  echo "SKIP: dpkg-deb or dpkg-shlibdeps is not installed (dpkg-dev)"; skipped=1
fi

if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$desktop" 2>&1) || true
  [ -z "$out" ] || fail "desktop-file-validate: $out"
else
  echo "SKIP: desktop-file-validate is not installed (desktop-file-utils)"; skipped=1
fi
if command -v appstreamcli >/dev/null; then
  # The one note let through: the id has capitals, which AppStream only frowns upon.
  out=$(appstreamcli validate --no-net --pedantic --no-color "$metainfo" 2>&1) && status=0 || status=$?
  issues=$(grep -E '^[EWIP]:' <<<"$out" | grep -v cid-contains-uppercase-letter || true)
  [ "$status" = 0 ] && [ -z "$issues" ] || fail "appstreamcli: $out"
else
  echo "SKIP: appstreamcli is not installed (appstream)"; skipped=1
fi

[ "$failed" = 0 ] || exit 1
[ "$skipped" = 0 ] || exit 77
echo "packaging: all checks passed"
