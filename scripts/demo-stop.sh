#!/usr/bin/env bash
# Ends what scripts/demo.sh started: unregisters the domain (its downloaded
# files are kept beside the mount point), stops the host and the companion
# app, and makes sure nothing stays mounted.
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
demo="$root/build/demo"
[ -f "$demo/env.sh" ] || { echo "demo-stop: no demo under $demo"; exit 0; }
# shellcheck source=/dev/null
. "$demo/env.sh"
socket="$XDG_RUNTIME_DIR/ostrel/fphost.sock"

# The host's pid, from the socket itself: whoever is listening there.
host_pid() {
  python3 - "$socket" <<'PY' 2>/dev/null
import socket, struct, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
s.connect(sys.argv[1])
pid, _, _ = struct.unpack("3i", s.getsockopt(socket.SOL_SOCKET, socket.SO_PEERCRED, 12))
print(pid)
PY
}

stop_pid() {  # pid, name
  kill -TERM "$1" 2>/dev/null || return 0
  for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  echo "demo-stop: $2 ($1) did not stop; killing it" >&2
  kill -KILL "$1" 2>/dev/null || true
}

if [ -S "$socket" ]; then
  pid="$(host_pid || true)"
  if [ -n "$pid" ]; then
    echo "unregister: $(ostrel-fpctl unregister 2>/dev/null)"
    stop_pid "$pid" "ostrel-fphost"
  fi
fi

if [ -f "$demo/companion.pid" ]; then
  stop_pid "$(cat "$demo/companion.pid")" "ostrel-companion"
  rm -f "$demo/companion.pid"
fi

for mount in "$HOME"/CloudStorage/*; do
  mountpoint -q "$mount" 2>/dev/null && { fusermount3 -u "$mount" 2>/dev/null || fusermount3 -uz "$mount"; }
done
echo "demo stopped"
