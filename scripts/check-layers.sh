#!/usr/bin/env bash
# Fails when a file of the program includes a header from a layer above its own.
# Layers, bottom up (ARCHITECTURE.md): platform, records, sim, settings, link,
# export, platform/ui, ui (ui/dialogs above the other ui folders), app.
# tools/, tests/ and bench/ may include anything and are not read.
set -euo pipefail
cd "$(dirname "$0")/.."
git grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z]+/' -- \
    platform records sim settings link export ui app |
awk '
function rank(p) {
    if (p ~ /^platform\/ui\//) return 6
    if (p ~ /^platform\//) return 0
    if (p ~ /^records\//) return 1
    if (p ~ /^sim\//) return 2
    if (p ~ /^settings\//) return 3
    if (p ~ /^link\//) return 4
    if (p ~ /^export\//) return 5
    if (p ~ /^ui\/dialogs\//) return 8
    if (p ~ /^ui\//) return 7
    if (p ~ /^app\//) return 9
    return -1
}
{
    split($0, f, ":")
    inc = $0
    sub(/^[^"]*"/, "", inc)
    sub(/".*$/, "", inc)
    r = rank(inc)
    if (r > rank(f[1])) { print f[1] ":" f[2] ": includes " inc " from a layer above"; bad = 1 }
}
END { exit bad }'
