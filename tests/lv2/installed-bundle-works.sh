#!/bin/bash
# The installed bundle lands in lib/lv2 of the prefix, holds everything it needs, and still voices
# audio after being moved elsewhere: nothing in it points back at the build tree.
# Usage: installed-bundle-works.sh BUILD_DIR WORK_DIR WAV_TOOL QUENZAL
set -euo pipefail
build=$1 work=$2 wav_tool=$3 quenzal=$4
here=$(dirname "$0")

rm -rf "$work"
cmake --install "$build" --component lv2 --prefix "$work/prefix" >/dev/null
bundle=$work/prefix/lib/lv2/harwendel-quenzal.lv2
for file in manifest.ttl harwendel-quenzal.ttl harwendel-quenzal.so Harwendel_Quenzal.so \
    Harwendel_Quenzal.plist libharwendel-platform.so; do
    [[ -f $bundle/$file ]] || { echo "FAIL: the installed bundle lacks $file" >&2; exit 1; }
done
if readelf -d "$bundle"/*.so | grep -E "R(UN)?PATH" | grep -F "$build"; then
    echo "FAIL: the installed bundle refers to the build tree" >&2
    exit 1
fi
mkdir -p "$work/moved"
mv "$bundle" "$work/moved/"
LV2_PATH=$work/moved "$here/lv2apply-matches-quenzal.sh" "$wav_tool" "$quenzal" "$work/apply" \
    urn:harwendel:quenzal:stereo 2 44100 3:-1.5
