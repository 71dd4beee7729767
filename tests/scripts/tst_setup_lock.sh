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
cat > "$work/bin/apt-get" <<'SH'
#!/bin/sh
n=$(cat "$FAKE_COUNT" 2>/dev/null || echo 0)
echo $((n + 1)) > "$FAKE_COUNT"
case "$FAKE_MODE" in
  busy) if [ "$n" -lt "$FAKE_BUSY" ]; then
          echo "E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 1 (apt-get)" >&2; exit 100
        fi ;;
  broken) echo "E: Unable to locate package ccache" >&2; exit 100 ;;
esac
exit 0
SH
chmod +x "$work/bin/"*

failed=0
# name | mode | busy calls | lock wait (s) | expected status | expected apt-get calls
while IFS='|' read -r name mode busy wait want calls; do
  rm -f "$work/count"
  status=0
  PATH="$work/bin:$PATH" FAKE_COUNT="$work/count" FAKE_MODE=$mode FAKE_BUSY=$busy \
    VORN_APT_LOCK_WAIT=$wait VORN_APT_LOCK_POLL=0.2 bash "$setup" "$work/build" >/dev/null 2>"$work/err" || status=$?
  got=$(cat "$work/count" 2>/dev/null || echo 0)
  if { [ "$want" = 0 ] && [ "$status" -ne 0 ]; } || { [ "$want" != 0 ] && [ "$status" -eq 0 ]; } || [ "$got" != "$calls" ]; then
    echo "FAIL $name: status $status, $got apt-get calls (expected status $want, $calls calls)"; sed 's/^/  /' "$work/err"; failed=$((failed + 1))
  fi
done <<'ROWS'
free lock|busy|0|5|0|2
lock freed after three tries|busy|3|5|0|5
other error|broken|0|5|1|1
ROWS
# "never freed" retries until the wait runs out: its call count varies, so it is checked apart
rm -f "$work/count"; status=0
PATH="$work/bin:$PATH" FAKE_COUNT="$work/count" FAKE_MODE=busy FAKE_BUSY=1000 \
  VORN_APT_LOCK_WAIT=1 VORN_APT_LOCK_POLL=0.2 bash "$setup" "$work/build" >/dev/null 2>"$work/err" || status=$?
if [ "$status" -eq 0 ] || [ "$(cat "$work/count")" -lt 2 ] || ! grep -q 'Could not get lock' "$work/err"; then
  echo "FAIL lock never freed: status $status, $(cat "$work/count") calls"; failed=$((failed + 1))
fi
echo "$((4 - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
