#!/bin/sh
# The Debian package as a user gets it: built by CPack from this build,
# unpacked into a staging directory under it, and its programs run from
# there (inside the headless session, so the accessibility gate passes).
#   test_package.sh BUILD_DIR
set -eu
stage=$1/package-test
rm -rf "$stage"
cpack -G DEB --config "$1/CPackConfig.cmake" -B "$stage" >"$stage.log" 2>&1 || { cat "$stage.log"; exit 1; }
dpkg-deb -x "$stage"/nuvra-click_*.deb "$stage/root"
dpkg-deb -f "$stage"/nuvra-click_*.deb Package Version Depends
ls "$stage/root/usr/share/man/man1/nuvra-click.1" "$stage/root/usr/share/man/man1/nuvra-mcp.1"

# The installed nuvra-click, given no arguments: the usage line, exit 3.
status=0
"$stage/root/usr/bin/nuvra-click" 2>"$stage/err" || status=$?
[ "$status" -eq 3 ] && grep -q '^usage: nuvra-click ' "$stage/err" || {
    echo "installed nuvra-click: exit $status, $(cat "$stage/err")"; exit 1; }

# The installed nuvra-mcp runs the nuvra-click installed beside it. The
# input stays open until the call is answered: its end would drop the call.
: >"$stage/out"
{ printf '%s\n' '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-11-25"}}' \
    '{"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"hit","arguments":{"x":0,"y":0}}}'
  for _ in $(seq 200); do grep -q '"id":2' "$stage/out" && break; sleep 0.1; done; } |
    "$stage/root/usr/bin/nuvra-mcp" >"$stage/out"
grep -q '"id":2,.*(exit status 4)' "$stage/out" || { echo "installed nuvra-mcp: $(cat "$stage/out")"; exit 1; }
echo "the package installs and runs"
