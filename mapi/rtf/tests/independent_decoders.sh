#!/usr/bin/env bash
# Installs the independent decoders from the npm registry into NPM_FOLDER (once), writes our
# samples with qc_rtf_samples and has the decoders check them. Exits 77 (skipped) when Node.js
# or npm is missing or the registry cannot be reached.
#
# usage: independent_decoders.sh QC_RTF_SAMPLES SCRATCH_FOLDER NPM_FOLDER
set -euo pipefail
samples=$1 scratch=$2 npm_folder=$3
here=$(cd "$(dirname "$0")" && pwd)
SKIPPED=77

node=$(command -v nodejs || command -v node || true)
if [ -z "$node" ] || ! command -v npm >/dev/null; then
  echo "Node.js and npm are not installed (scripts/deps installs them): skipped"
  exit $SKIPPED
fi

# Versions fixed so that a new release cannot change what the test means.
packages=(@kenjiuno/decompressrtf@0.1.4 rtf-stream-parser@3.8.1 iconv-lite@0.7.3)
modules=$npm_folder/node_modules
if ! [ -f "$modules/@kenjiuno/decompressrtf/package.json" ] ||
   ! [ -f "$modules/rtf-stream-parser/package.json" ] ||
   ! [ -f "$modules/iconv-lite/package.json" ]; then
  mkdir -p "$npm_folder"
  if ! timeout 60 npm ping >/dev/null 2>&1; then
    echo "the npm registry cannot be reached: skipped"
    exit $SKIPPED
  fi
  timeout 300 npm install --prefix "$npm_folder" --no-audit --no-fund --loglevel=error \
    "${packages[@]}"
fi

rm -rf "$scratch"
mkdir -p "$scratch"
"$samples" "$scratch"
exec "$node" "$here/independent_decoders.js" "$scratch" "$modules"
