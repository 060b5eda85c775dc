#!/usr/bin/env bash
# Builds hillcar's Debian package in a configured and built tree, shows it,
# checks its fields and files and has lintian judge it (no error, no warning),
# validates its desktop entry, AppStream metadata and MIME type, installs it
# (as root) and runs the installed program under Xvfb from /usr/games.
#
#   packaging/check-package.sh BUILD_DIR
#
# Any problem ends it with a non-zero status. Not root: the package is checked
# and run unpacked, but not installed, and the script says so.
set -euo pipefail

fail() {
  echo "check-package: FAILED: $*" >&2
  exit 1
}

[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
[ -f "$1/CPackConfig.cmake" ] || fail "$1 is not a configured build tree (no CPackConfig.cmake)"
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
installed_test="$here/../tests/window/installed_test.py"
python=${PYTHON:-python3}

for tool in cpack dpkg-deb "$python"; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done

# Only this run's package may be picked up below.
rm -f "$build"/hillcar_*.deb
echo "== cpack -G DEB in $build"
(cd "$build" && cpack -G DEB) || fail "cpack did not make the package"
shopt -s nullglob
debs=("$build"/hillcar_*.deb)
shopt -u nullglob
[ ${#debs[@]} -eq 1 ] || fail "expected one hillcar_*.deb in $build, found ${#debs[@]}"
deb=${debs[0]}

echo "== dpkg-deb -I $(basename "$deb")"
dpkg-deb -I "$deb" || fail "dpkg-deb cannot read $deb"

# Control fields, file list, lintian, the validators, and the program run
# from the unpacked package; a missing tool is a failure here, not a skip.
echo "== package fields and files, lintian, validators, program run unpacked"
"$python" "$here/check_deb.py" --deb "$deb" --installed-test "$installed_test" \
  || fail "the package did not pass its checks (status $?)"

if [ "$(id -u)" -ne 0 ]; then
  echo "== SKIPPED: not root, so the package was not installed with apt-get;"
  echo "   it was checked and run unpacked only."
  exit 0
fi

echo "== apt-get install $(basename "$deb")"
# --reinstall: the same version may be installed already from an earlier run.
DEBIAN_FRONTEND=noninteractive apt-get install -y --reinstall "$deb" \
  || fail "apt-get could not install $deb"
dpkg-query -W -f='${Status}\n' hillcar | grep -q 'install ok installed' \
  || fail "dpkg does not list hillcar as installed"
[ -x /usr/games/hillcar ] || fail "/usr/games/hillcar is not there after installing"

echo "== installed program under Xvfb"
"$python" "$installed_test" --prefix /usr \
  || fail "the installed program failed its window test (status $?)"
echo "check-package: $(basename "$deb") installed and runs from /usr/games/hillcar"
