#!/usr/bin/env bash
# Follows docs/writing-an-effect.md as an author would: runs its shell blocks in order in an empty
# folder outside both trees, so that the example builds against the installed SDK alone, and
# holds every code excerpt of the guide to the example's real files.
# Usage: guide-walkthrough.sh <source dir> <build dir> <folder of quenzal>
set -euo pipefail
export QUENZAL_SOURCE=$1 QUENZAL_BUILD=$2
export PATH="$3:$PATH"
guide=$QUENZAL_SOURCE/docs/writing-an-effect.md
example=$QUENZAL_SOURCE/examples/tremolo

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Blocks of the given fence language, separated by NUL.
blocks() {
    awk -v lang="$1" '
        $0 == "```" lang { inside = 1; text = ""; next }
        inside && $0 == "```" { inside = 0; printf "%s%c", text, 0; next }
        inside { text = text $0 "\n" }' "$guide"
}

sources=$(cat "$example"/CMakeLists.txt "$example"/Tremolo.h "$example"/Tremolo.cpp)
while IFS= read -r -d '' excerpt; do
    if [[ "$sources" != *"${excerpt%$'\n'}"* ]]; then
        printf 'the guide shows code that is not in %s:\n%s' "$example" "$excerpt" >&2
        exit 1
    fi
done < <(blocks cpp; blocks cmake)

blocks sh | tr '\0' '\n' > "$work/guide.sh"
cd "$work"
bash -euxo pipefail guide.sh

# Nothing of either tree may reach the example's build but through the installed SDK.
if grep -n -e "$QUENZAL_SOURCE" -e "$QUENZAL_BUILD" tremolo/build/build.ninja; then
    echo "the example's build refers to the project's own trees" >&2
    exit 1
fi
test -s tremolo/riff-tremolo.wav
test -s tremolo/riff-lv2.wav
bash "$QUENZAL_SOURCE/tests/lv2/bundles-validate.sh" tremolo/build/lib/lv2/tremolo.lv2
cmake -DLIBRARY=tremolo/build/Tremolo.so -DENTRY=TremoloEntry -DNM=nm \
    -P "$QUENZAL_SOURCE/Harwendel_Quenzal/CheckExports.cmake"
