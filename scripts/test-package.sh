#!/usr/bin/env bash
# Builds the Debian package from a built tree (default build/), installs it as
# a user would, starts the installed program under Xvfb in an empty home
# folder, checks that it stays up and keeps its files in the per-user data
# folder, then removes the package and checks that its files are gone.
# Needs root or sudo: it installs and removes the package kalo3d.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
fail() {
  echo "test-package: $*" >&2
  exit 1
}

rm -f "$build"/kalo3d_*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/kalo3d_*.deb)
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "$deb"
installed=$(dpkg-query -L kalo3d)

for file in /usr/bin/kalo3d /usr/bin/kalo3d-cli /usr/share/applications/kalo3d.desktop \
            /usr/share/mime/packages/kalo3d.xml /usr/share/icons/hicolor/scalable/apps/kalo3d.svg; do
  [ -e "$file" ] || fail "the package did not install $file"
done
grep -qx 'Exec=kalo3d %F' /usr/share/applications/kalo3d.desktop || fail "the desktop entry does not start kalo3d %F"

# A desktop starts the entry in the home folder: the program must leave it alone.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
(
  cd "$home"
  HOME="$home" XDG_DATA_HOME="" xvfb-run -a -s "-screen 0 1280x1024x24" sh -c \
    'kalo3d & pid=$!; sleep 5; kill -0 "$pid" || exit 1; kill "$pid"; wait "$pid" || true'
) || fail "the installed program did not stay up for 5 s"
ls "$home"/.local/share/kalo3d/kalo3d.*.log >/dev/null || fail "no log file in ~/.local/share/kalo3d"
stray=$(find "$home" -maxdepth 1 -type f)
[ -z "$stray" ] || fail "files left in the home folder: $stray"

DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove -y kalo3d
while read -r path; do
  if [ -f "$path" ] || [ -L "$path" ]; then
    fail "$path is still there after removal"
  fi
done <<<"$installed"
echo "test-package: $(basename "$deb") installs, starts and removes cleanly"
