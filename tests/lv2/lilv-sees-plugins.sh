#!/bin/bash
# lv2ls and lv2info, reading the bundle as every lilv host does, find both plug-ins with the
# unit's ports, ranges, defaults and speaker models, the bypass port and the license. LV2_PATH
# names the folder of the bundle.
set -euo pipefail

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The lines of lv2info's section on port $2.
port() {
    awk -v header=$'\t'"Port $2:" '$0 == header { inside = 1; next } /^\tPort [0-9]+:$/ { inside = 0 } inside' <<<"$1"
}

# Every line after the first argument must occur in the first argument.
expect() {
    local text=$1 line
    shift
    for line in "$@"; do
        grep -qF -- "$line" <<<"$text" || fail "no \"$line\" in"$'\n'"$text"
    done
}

check_plugin() { # URI, channels, then the audio ports' symbols in port order
    local uri=$1 channels=$2 info index=2 symbol direction
    shift 2
    info=$(lv2info "$uri")
    expect "$info" "Class:             Simulator Plugin" "Has latency:       no" \
        "lv2core#hardRTCapable"
    expect "$(port "$info" 0)" "Symbol:      loudspeaker" "Name:        Loudspeaker" \
        "Minimum:     1.000000" "Maximum:     5.000000" "Default:     1.000000" \
        "lv2core#integer" "lv2core#enumeration" '1 = "Guitar: warm"' '2 = "Guitar: bright"' \
        '3 = "Guitar: full"' '4 = "Bass: warm"' '5 = "Bass: bright"'
    [[ $(port "$info" 0 | grep -c ' = "') == 5 ]] || fail "$uri: not exactly five speaker models"
    expect "$(port "$info" 1)" "Symbol:      volume" "Name:        Volume" \
        "Minimum:     -6.000000" "Maximum:     6.000000" "Default:     0.000000"
    for symbol in "$@"; do
        direction=$((index < 2 + channels ? 1 : 0))
        expect "$(port "$info" $index)" "lv2core#AudioPort" "Symbol:      $symbol" \
            "lv2core#$([[ $direction == 1 ]] && echo Input || echo Output)Port"
        index=$((index + 1))
    done
    expect "$(port "$info" $index)" "Symbol:      enabled" "lv2core#enabled" "Default:     1.000000"
    index=$((index + 1))
    [[ -z $(port "$info" $index) ]] || fail "$uri has more than $index ports"
    # lv2info prints no license, but writes it with the rest of the description it read.
    lv2info -p "$description" "$uri" >/dev/null
    expect "$(cat "$description")" "doap:license <urn:harwendel:quenzal:license>"
}

description=$(mktemp)
trap 'rm -f "$description"' EXIT
plugins=$(lv2ls)
for uri in urn:harwendel:quenzal:mono urn:harwendel:quenzal:stereo; do
    grep -qx "$uri" <<<"$plugins" || fail "lv2ls does not list $uri"
done
check_plugin urn:harwendel:quenzal:mono 1 in out
check_plugin urn:harwendel:quenzal:stereo 2 in_left in_right out_left out_right
