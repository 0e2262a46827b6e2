#!/usr/bin/env bash
# Installs every Debian package the build, tests, benchmarks and demo need.
# Idempotent and non-interactive: does nothing when everything is present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libcurl4-openssl-dev libsimdjson-dev nlohmann-json3-dev libssl-dev uuid-dev
  libspdlog-dev libfuse3-dev fuse3 libcpp-httplib-dev shared-mime-info
  libicu-dev libsqlite3-dev libgtest-dev libgmock-dev libbenchmark-dev
  attr curl python3 rsync
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
