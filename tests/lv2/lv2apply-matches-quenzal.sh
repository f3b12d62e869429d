#!/bin/bash
# lv2apply through the plug-in and `quenzal render` through the component voice one file to the
# same samples, bit for bit, for every setting given as SPEAKER:VOLUME ("default" sets neither).
# lv2apply runs the plug-in one frame at a time, quenzal in blocks of 512. LV2APPLY_PRELOAD names
# the sanitizer runtime that a plug-in built with sanitizers needs loaded first.
# Usage: lv2apply-matches-quenzal.sh WAV_TOOL QUENZAL WORK_DIR URI CHANNELS RATE SETTING...
set -euo pipefail
wav_tool=$1 quenzal=$2 work=$3 uri=$4 channels=$5 rate=$6
shift 6

mkdir -p "$work"
input=$work/input.wav
"$wav_tool" make "$input" "$channels" "$rate" 4000
for setting in "$@"; do
    plugin_controls=() host_options=()
    if [[ $setting != default ]]; then
        plugin_controls=(-c loudspeaker "${setting%:*}" -c volume "${setting#*:}")
        host_options=(--speaker "${setting%:*}" --volume "${setting#*:}")
    fi
    LD_PRELOAD=${LV2APPLY_PRELOAD:-} lv2apply -i "$input" -o "$work/lv2apply.wav" "${plugin_controls[@]}" "$uri"
    "$quenzal" render --quiet --no-tail --format float "${host_options[@]}" "$input" \
        "$work/quenzal.wav"
    "$wav_tool" same "$work/lv2apply.wav" "$work/quenzal.wav" ||
        { echo "FAIL: $uri, setting $setting: the outputs differ" >&2; exit 1; }
done
