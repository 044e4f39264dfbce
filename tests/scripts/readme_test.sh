#!/usr/bin/env bash
# The README stays a ten-minute read (at most 2,500 words, as wc -w counts them), and the
# links of the user documents lead to files that exist, so nothing moved out of it is lost.
set -u
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
status=0
words=$(wc -w <README.md)
if [ "$words" -gt 2500 ]; then
    echo "README.md has $words words, more than 2500: move the detail into docs/" >&2
    status=1
fi
for doc in README.md docs/*.md; do
    folder=$(dirname "$doc")
    # Relative link targets, without their #anchor; web addresses are not followed.
    for target in $(grep -o '](\([^)#]*\)[)#]' "$doc" | sed 's/^](//; s/[)#]$//' | grep -v '^[a-z]*:'); do
        if [ -n "$target" ] && [ ! -e "$folder/$target" ]; then
            echo "$doc links to $target, which does not exist" >&2
            status=1
        fi
    done
done
exit $status
