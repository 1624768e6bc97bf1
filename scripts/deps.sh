#!/usr/bin/env bash
# Installs what the build and the tests need, from Debian's archive and the npm registry only.
# Quiet and quick when everything is already there.
set -euo pipefail
cd "$(dirname "$0")/.."

debs=(cmake ninja-build g++ ccache pkg-config nlohmann-json3-dev libsoci-dev libcpp-httplib-dev libcli11-dev
      libspdlog-dev libfmt-dev libtomlplusplus-dev libboost-dev libssl-dev zlib1g-dev googletest libgtest-dev
      libgmock-dev libbenchmark-dev libsqlite3-dev libpq-dev postgresql-15 chromium libsodium-dev clang libclang-rt-dev)
missing=()
for p in "${debs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Node.js may come from elsewhere than Debian (the machines ship one); Debian's is the fallback.
command -v node >/dev/null 2>&1 || missing+=(nodejs)
command -v npm >/dev/null 2>&1 || missing+=(npm)
if ((${#missing[@]})); then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Faltam pacotes (${missing[*]}); rode como root ou instale-os com apt-get." >&2
    exit 1
  fi
  echo "Instalando pacotes: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

if [ -f tests/browser/package.json ] && { [ ! -d tests/browser/node_modules/playwright-core ] || [ ! -d tests/browser/node_modules/axe-core ]; }; then
  (cd tests/browser && npm install --no-audit --no-fund --silent)
fi
