#!/bin/bash
# Installs the Debian packages Kestrun needs to build, run and test (run as root).
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# shellcheck disable=SC2046
apt-get install -y -qq --no-install-recommends $(grep -v '^\s*#' .ci/packages.txt | sort -u) >/dev/null
