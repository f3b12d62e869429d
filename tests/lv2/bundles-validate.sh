#!/bin/bash
# Every bundle the build generates holds to the LV2 schemas that lv2-dev ships: sord_validate
# reads each bundle's Turtle together with the schemas and must find no error.
# Usage: bundles-validate.sh BUNDLE_DIR...
set -euo pipefail
schemas=(/usr/lib/lv2/*.lv2/*.ttl)
for bundle in "$@"; do
    report=$(sord_validate "${schemas[@]}" "$bundle"/*.ttl 2>&1) ||
        { echo "FAIL: $bundle: sord_validate failed"$'\n'"$report" >&2; exit 1; }
    grep -q "^Found 0 errors" <<<"$report" ||
        { echo "FAIL: $bundle"$'\n'"$report" >&2; exit 1; }
done
