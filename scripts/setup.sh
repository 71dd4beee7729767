#!/usr/bin/env bash
# Installs everything the build and the tests need; does nothing when all is present.
# Usage: scripts/setup.sh [build-dir]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${1:-"$root/build"}
case $build_dir in /*) ;; *) build_dir="$PWD/$build_dir" ;; esac

PDFIUM_WHEEL_VERSION=5.15.2   # pypdfium2 wheel that carries libpdfium.so (pdfium 159.0.8149)

packages=(
  cmake g++ ninja-build ccache pkg-config python3-pip
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-image-formats-plugins qt6-translations-l10n
  libtesseract-dev libleptonica-dev tesseract-ocr tesseract-ocr-rus tesseract-ocr-eng
  libssl-dev openssl libzip-dev zlib1g-dev libjpeg-dev libsane-dev sane-utils libharfbuzz-dev
  fonts-dejavu fonts-noto-core fonts-liberation2
  xvfb xauth poppler-utils qpdf libqpdf-dev ghostscript libxml2-utils mupdf-tools
  libreoffice-calc-nogui util-linux
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# A Debian machine set up with a root password has no sudo, and a user may
# have sudo without the right to use it: either way, say what is needed
# rather than fail with sudo's own message.
can_become_root() {
  [ "$(id -u)" -eq 0 ] && return 0
  command -v sudo >/dev/null 2>&1 && sudo -v
}

# Run as root for a checkout that is someone else's (as the hint below
# says), root installs the packages only: pdfium is fetched as the
# checkout's owner, so that the build folder is theirs and their own build
# can write it.
fetch_as_owner() {
  local owner group name home groups
  owner=$(stat -c %u "$root")
  group=$(stat -c %g "$root")
  [ "$(id -u)" -eq 0 ] && [ "$owner" -ne 0 ] || return 0
  name=$(getent passwd "$owner" | cut -d: -f1) || true
  home=$(getent passwd "$owner" | cut -d: -f6) || true
  if [ -n "$name" ]; then groups=--init-groups; else groups=--clear-groups; fi
  exec setpriv --reuid="$owner" --regid="$group" "$groups" \
    env HOME="${home:-$HOME}" VORN_SETUP_FETCH_ONLY=1 bash "$root/scripts/setup.sh" "$build_dir"
}

missing=()
[ -n "${VORN_SETUP_FETCH_ONLY:-}" ] && packages=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# Another package run (a machine that has just booted) holds the package
# manager's lock for a while: wait for it rather than fail at once. The
# package lists' lock has no timeout option, so its message is what tells a
# busy lock: the tool runs in the C locale, whose messages are the ones known.
lock_wait=${VORN_APT_LOCK_WAIT:-300}
lock_poll=${VORN_APT_LOCK_POLL:-5}
apt_get() {
  local deadline=$((SECONDS + lock_wait)) log status
  log=$(mktemp)
  while true; do
    status=0
    as_root env LC_ALL=C LANGUAGE= DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout="$lock_wait" "$@" 2>"$log" || status=$?
    if [ "$status" -eq 0 ]; then cat "$log" >&2; rm -f "$log"; return 0; fi
    if grep -qE 'Could not get lock|Unable to acquire the dpkg frontend lock|Unable to lock' "$log" \
        && [ "$SECONDS" -lt "$deadline" ]; then
      echo "setup: the package manager is busy; waiting for its lock" >&2
      sleep "$lock_poll"
      continue
    fi
    cat "$log" >&2; rm -f "$log"
    return "$status"
  done
}

if [ ${#missing[@]} -gt 0 ]; then
  if ! can_become_root; then
    echo "setup: these packages are missing: ${missing[*]}" >&2
    echo "setup: installing them needs root, and sudo is not installed or may not be used here; run this" \
      "script as root (su -c '$0 $*') or install them with apt-get as root, then run it again" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}"
  apt_get update -qq
  apt_get install -y -qq --no-install-recommends "${missing[@]}"
fi

pdfium_dir="$build_dir/_pdfium"
stamp="$pdfium_dir/version-$PDFIUM_WHEEL_VERSION"
if [ ! -f "$stamp" ] || [ ! -f "$pdfium_dir/libpdfium.so" ]; then
  fetch_as_owner
  echo "setup: fetching pdfium (pypdfium2 $PDFIUM_WHEEL_VERSION)"
  rm -rf "$pdfium_dir"
  mkdir -p "$pdfium_dir/wheel"
  pip=(python3 -m pip)
  "${pip[@]}" --version >/dev/null 2>&1 || pip=(pip3)
  "${pip[@]}" download --quiet --no-deps --only-binary=:all: \
    --platform manylinux_2_17_x86_64 --python-version 3.11 \
    "pypdfium2==$PDFIUM_WHEEL_VERSION" -d "$pdfium_dir/wheel"
  python3 - "$pdfium_dir" <<'PY'
import glob, sys, zipfile
out = sys.argv[1]
wheel = glob.glob(out + "/wheel/*.whl")[0]
with zipfile.ZipFile(wheel) as z:
    data = z.read("pypdfium2_raw/libpdfium.so")
with open(out + "/libpdfium.so", "wb") as f:
    f.write(data)
PY
  rm -rf "$pdfium_dir/wheel"
  touch "$stamp"
fi
