#!/usr/bin/env bash
# The set-up script waits for a busy package manager and fails at once on other errors.
set -u
setup="$1/scripts/setup.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/build/_pdfium"
touch "$work/build/_pdfium/libpdfium.so" "$(grep -o 'PDFIUM_WHEEL_VERSION=[^ ]*' "$setup" | sed "s#.*=#$work/build/_pdfium/version-#")"

cat > "$work/bin/dpkg-query" <<'SH'
#!/bin/sh
for last; do :; done
[ "$last" = ccache ] && exit 1
printf 'install ok installed'
SH
# Speaks the language its locale names, as gettext picks it: LC_ALL, then
# LANGUAGE unless the locale is C, then LC_MESSAGES and LANG.
cat > "$work/bin/apt-get" <<'SH'
#!/bin/sh
n=$(cat "$FAKE_COUNT" 2>/dev/null || echo 0)
echo $((n + 1)) > "$FAKE_COUNT"
locale=${LC_ALL:-${LC_MESSAGES:-${LANG:-C}}}
case "$locale" in C|C.*|POSIX) language=C ;; *) language=${LANGUAGE:-$locale} ;; esac
case "$FAKE_MODE" in
  busy) if [ "$n" -lt "$FAKE_BUSY" ]; then
          case "$language" in
            ru*) echo "E: Не удалось получить блокировку /var/lib/apt/lists/lock. Её удерживает процесс 1 (apt-get)" >&2 ;;
            *) echo "E: Could not get lock /var/lib/apt/lists/lock. It is held by process 1 (apt-get)" >&2 ;;
          esac
          exit 100
        fi ;;
  broken) echo "E: Unable to locate package ccache" >&2; exit 100 ;;
esac
exit 0
SH
chmod +x "$work/bin/"*
# An ordinary user's machine without sudo: the stand-ins, an ordinary user's
# id and the tools the set-up uses, whatever this machine has.
mkdir -p "$work/user"
for tool in bash cat dirname env grep mktemp rm sleep; do ln -s "$(command -v "$tool")" "$work/user/$tool"; done
ln -s "$work/bin/dpkg-query" "$work/bin/apt-get" "$work/user/"
printf '#!/bin/sh\necho 1000\n' > "$work/user/id"
chmod +x "$work/user/id"
# The same user with sudo, not allowed to use it.
mkdir -p "$work/refused"
cp -P "$work/user/"* "$work/refused/"
printf '#!/bin/sh\necho "Sorry, user clerk may not run sudo on this host." >&2\nexit 1\n' > "$work/refused/sudo"
chmod +x "$work/refused/sudo"

failed=0
# name | mode | busy calls | lock wait (s) | LANG | user | expected status | expected apt-get calls | told
while IFS='|' read -r name mode busy wait lang user want calls told; do
  rm -f "$work/count"
  status=0
  case "$user" in root) search="$work/bin:$PATH" ;; *) search="$work/$user" ;; esac
  PATH="$search" LANG=$lang FAKE_COUNT="$work/count" FAKE_MODE=$mode FAKE_BUSY=$busy \
    VORN_APT_LOCK_WAIT=$wait VORN_APT_LOCK_POLL=0.2 "$(command -v bash)" "$setup" "$work/build" >/dev/null 2>"$work/err" || status=$?
  got=$(cat "$work/count" 2>/dev/null || echo 0)
  if { [ "$want" = 0 ] && [ "$status" -ne 0 ]; } || { [ "$want" != 0 ] && [ "$status" -eq 0 ]; } || [ "$got" != "$calls" ] \
      || { [ -n "$told" ] && ! grep -q -- "$told" "$work/err"; } || grep -q 'command not found' "$work/err"; then
    echo "FAIL $name: status $status, $got apt-get calls (expected status $want, $calls calls, told \"$told\")"
    sed 's/^/  /' "$work/err"; failed=$((failed + 1))
  fi
done <<'ROWS'
free lock|busy|0|5|C.UTF-8|root|0|2|
lock freed after three tries|busy|3|600|C.UTF-8|root|0|5|waiting for its lock
lock freed after three tries, Russian locale|busy|3|600|ru_RU.UTF-8|root|0|5|waiting for its lock
lock never freed, its wait run out|busy|1000|0|C.UTF-8|root|1|1|Could not get lock
other error|broken|0|5|C.UTF-8|root|1|1|Unable to locate package
other error, Russian locale|broken|0|5|ru_RU.UTF-8|root|1|1|Unable to locate package
user without sudo|busy|0|5|ru_RU.UTF-8|user|1|0|sudo is not installed
user with sudo, not allowed|busy|0|5|C.UTF-8|refused|1|0|run this script as root
ROWS
# A lock never freed is tried again for as long as the wait lasts: with a
# wait no run of this test reaches, the set-up is still trying after its
# third call (each row's wait is a condition, never a race with the clock;
# the row above gives up once the wait has run out).
rm -f "$work/count"
TMPDIR="$work" PATH="$work/bin:$PATH" FAKE_COUNT="$work/count" FAKE_MODE=busy FAKE_BUSY=1000 \
  VORN_APT_LOCK_WAIT=600 VORN_APT_LOCK_POLL=0.2 bash "$setup" "$work/build" >/dev/null 2>"$work/err" &
waiting=$!
calls_made() { local n; n=$(cat "$work/count" 2>/dev/null); echo "${n:-0}"; }  # empty while the stand-in writes it
while [ "$(calls_made)" -lt 3 ] && kill -0 "$waiting" 2>/dev/null; do sleep 0.1; done
if kill -0 "$waiting" 2>/dev/null && grep -q 'waiting for its lock' "$work/err"; then
  kill "$waiting"
else
  echo "FAIL lock never freed, waiting: gave up after $(cat "$work/count" 2>/dev/null) calls"; failed=$((failed + 1))
fi
wait "$waiting" 2>/dev/null

# Root runs the set-up for a user's checkout (as its hint says): the build
# folder and pdfium in it belong to the checkout's owner, named or not.
# pip stands in for the package index.
# The system's own, which any user may run (a root's own python may not be).
real_python=/usr/bin/python3
[ -x "$real_python" ] || real_python=$(command -v python3)
cat > "$work/bin/python3" <<SH
#!/bin/sh
[ "\$1 \$2 \$3" = "-m pip --version" ] && exit 0
if [ "\$1 \$2 \$3" = "-m pip download" ]; then
  for last; do :; done
  exec "$real_python" -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1] + "/fake.whl", "w").writestr("pypdfium2_raw/libpdfium.so", "lib")' "\$last"
fi
exec "$real_python" "\$@"
SH
chmod +x "$work/bin/python3"
owned=0
if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null; then
  echo "skipped the owner rows: they need root and setpriv"; owned=2
else
  chmod 755 "$work"
  for owner in "$(id -u nobody)" 54321; do
    checkout="$work/checkout-$owner"
    mkdir -p "$checkout/scripts"
    cp "$setup" "$checkout/scripts/"
    chown -R "$owner:$owner" "$checkout"
    rm -f "$work/count"; status=0
    PATH="$work/bin:$PATH" FAKE_COUNT="$work/count" FAKE_MODE=busy FAKE_BUSY=0 \
      bash "$checkout/scripts/setup.sh" >/dev/null 2>"$work/err" || status=$?
    build_owner=$(stat -c %u "$checkout/build" 2>/dev/null)
    library_owner=$(stat -c %u "$checkout/build/_pdfium/libpdfium.so" 2>/dev/null)
    if [ "$status" -ne 0 ] || [ "$(cat "$work/count")" != 2 ] || [ "$build_owner" != "$owner" ] \
        || [ "$library_owner" != "$owner" ]; then
      echo "FAIL root for the checkout of $owner: status $status, build/ of $build_owner, libpdfium.so of $library_owner"
      sed 's/^/  /' "$work/err"; failed=$((failed + 1))
    else
      owned=$((owned + 1))
    fi
  done
fi
echo "$((9 - failed + owned)) passed, $failed failed"
[ "$failed" -eq 0 ]
