#!/usr/bin/env bash
# Turns every message of the corpus into a .msg file with eml2msg and has @kenjiuno/msgreader
# (installed from the npm registry into NPM_FOLDER, once) read them back against what the
# sources say. Exits 77 (skipped) when Node.js or npm is missing or the registry cannot be
# reached.
#
# usage: corpus_readers.sh EML2MSG QC_CORPUS_EXPECT SCRATCH_FOLDER NPM_FOLDER [EML_DIR MSG_DIR]
# With EML_DIR and MSG_DIR (a conversion's email-N.eml and Email-N.msg files), those .msg files
# are read against those messages instead.
set -euo pipefail
eml2msg=$1 expect=$2 scratch=$3 npm_folder=$4 eml_dir=${5:-} msg_dir=${6:-}
here=$(cd "$(dirname "$0")" && pwd)
SKIPPED=77

node=$(command -v nodejs || command -v node || true)
if [ -z "$node" ] || ! command -v npm >/dev/null; then
  echo "Node.js and npm are not installed (scripts/deps installs them): skipped"
  exit $SKIPPED
fi

# Versions fixed so that a new release cannot change what the test means.
packages=(@kenjiuno/msgreader@1.28.0 @kenjiuno/decompressrtf@0.1.4 rtf-stream-parser@3.8.1
          iconv-lite@0.7.3)
modules=$npm_folder/node_modules
missing=0
for p in @kenjiuno/msgreader @kenjiuno/decompressrtf rtf-stream-parser iconv-lite; do
  [ -f "$modules/$p/package.json" ] || missing=1
done
if [ $missing -eq 1 ]; then
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
if [ -n "$eml_dir" ]; then
  count=$(find "$eml_dir" -maxdepth 1 -name 'email-*.eml' | wc -l)
  emls=()
  for ((j = 0; j < count; j++)); do emls+=("$eml_dir/email-$j.eml"); done
  "$expect" "$scratch" "${emls[@]}"
  for ((j = 0; j < count; j++)); do
    cp "$msg_dir/Email-$j.msg" "$scratch/$(printf '%03d' "$j").msg"
  done
else
  "$expect" "$scratch"
  for eml in "$scratch"/*.eml; do
    # --force: a run the Windows emulator retried after a hang may have written the file already.
    status=0
    "$eml2msg" --force "$eml" "${eml%.eml}.msg" || status=$?
    if [ $status -ne 0 ]; then
      echo "eml2msg failed on $eml with exit status $status" >&2
      exit 1
    fi
  done
fi
exec "$node" "$here/corpus_msgreader.js" "$scratch" "$modules"
