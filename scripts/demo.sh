#!/usr/bin/env bash
# One command from a fresh checkout to the Ostrel folder: installs the
# packages, builds the release preset, lays out an Applications folder with
# the app, starts the reference companion app with a sample vault, registers
# the domain (which starts the host) and waits for the mount.
#
# Everything lives under build/demo/: a home of its own (so the user's real
# one is untouched), the pids and the logs. Stop it with scripts/demo-stop.sh.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
demo="$root/build/demo"
bundle="$demo/Applications/Ostrel.app/Contents/MacOS"
preset="${OSTREL_DEMO_PRESET:-release}"  # any preset of CMakePresets.json

"$root/scripts/install-deps.sh"
if [ ! -e /dev/fuse ]; then
  echo "demo: /dev/fuse is missing; load the fuse module (modprobe fuse) or run where FUSE is available" >&2
  exit 1
fi

[ -f "$demo/env.sh" ] && "$root/scripts/demo-stop.sh" >/dev/null 2>&1 || true

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target ostrel-fpctl ostrel-fphost ostrel-companion

mkdir -p "$bundle" "$demo/logs"
# Copies, not links: the tool judges its location by its resolved path.
install -m 0755 "$root/build/$preset/fpctl/ostrel-fpctl" "$bundle/ostrel-fpctl"
install -m 0755 "$root/build/$preset/host/ostrel-fphost" "$bundle/ostrel-fphost"

cat >"$demo/env.sh" <<ENV
# Source this to talk to the demo: . build/demo/env.sh
export HOME="$demo"
export XDG_DATA_HOME="$demo/data"
export XDG_STATE_HOME="$demo/state"
export XDG_CACHE_HOME="$demo/cache"
export XDG_RUNTIME_DIR="$demo/run"
export PATH="$bundle:\$PATH"
ENV
# shellcheck source=/dev/null
. "$demo/env.sh"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 0700 "$XDG_RUNTIME_DIR"

companion="$root/build/$preset/companion/ostrel-companion"
setsid "$companion" --seed demo >"$demo/logs/companion.log" 2>&1 </dev/null &
echo $! >"$demo/companion.pid"
for _ in $(seq 100); do
  grep -q '^ready port=' "$demo/logs/companion.log" && break
  kill -0 "$(cat "$demo/companion.pid")" 2>/dev/null || { cat "$demo/logs/companion.log" >&2; exit 1; }
  sleep 0.1
done
grep -q '^ready port=' "$demo/logs/companion.log" || { echo "demo: the companion app did not start" >&2; exit 1; }

echo "register: $(ostrel-fpctl register)"

mount="$HOME/CloudStorage/Ostrel"
for _ in $(seq 200); do
  mountpoint -q "$mount" && break
  sleep 0.1
done
if ! mountpoint -q "$mount"; then
  echo "demo: nothing is mounted at $mount; the host's log:" >&2
  tail -n 30 "$XDG_STATE_HOME/ostrel/fphost.log" >&2 || true
  exit 1
fi

cat <<DONE

The Ostrel folder is mounted at:
  $mount

Try:
  ls -la "$mount"/*
  . "$demo/env.sh" && ostrel-fpctl status

Logs: $demo/logs/companion.log and $XDG_STATE_HOME/ostrel/fphost.log
Stop everything with: $root/scripts/demo-stop.sh
DONE
