#!/bin/bash
# WDXReg on big trees: import, export and query -s of (1) the deepest chain
# the store allows, 512 levels, and (2) 100,000 keys (100 keys of 1,000
# sub-keys each, two values in every one of those). Figures in docs/store.md.
#
#   bash bench/reg_tree_bench.sh [build/tools/WDXReg]
#
# The store files and .reg files live in a temporary folder (TMPDIR).
set -euo pipefail
REG=${1:-build/tools/WDXReg}
DIR=$(mktemp -d "${TMPDIR:-/tmp}/wdx-regtree-XXXXXX")
trap 'rm -rf "$DIR"' EXIT
export WDX_USER_STORE=$DIR/user.sqlite WDX_SYSTEM_STORE=$DIR/system.sqlite

seconds() { # COMMAND...: prints the wall-clock seconds it took
    local t0 t1
    t0=$(date +%s.%N)
    "$@" >/dev/null
    t1=$(date +%s.%N)
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }'
}

awk 'BEGIN {
    printf "Windows Registry Editor Version 5.00\r\n\r\n"; p = "HKEY_CURRENT_USER\\Deep"
    for (i = 1; i < 512; i++) { p = p "\\level" i; printf "[%s]\r\n\"Level\"=dword:%08x\r\n\r\n", p, i }
}' >"$DIR/deep.reg"
awk 'BEGIN {
    printf "Windows Registry Editor Version 5.00\r\n\r\n"
    for (g = 0; g < 100; g++) for (k = 0; k < 1000; k++)
        printf "[HKEY_CURRENT_USER\\Wide\\Group%d\\Key%d]\r\n\"HostName\"=\"host%d.example.net\"\r\n\"Port\"=dword:%08x\r\n\r\n", g, k, k, 7000 + k
}' >"$DIR/wide.reg"

for tree in deep wide; do
    key=Deep
    [ "$tree" = wide ] && key=Wide
    imp=$(seconds "$REG" import "$DIR/$tree.reg")
    exp=$(seconds "$REG" export "HKCU\\$key" "$DIR/$tree-out.reg" -y)
    qry=$(seconds "$REG" query "HKCU\\$key" -s)
    keys=$(grep -c "^\\[" "$DIR/$tree.reg")
    size=$(stat -c %s "$DIR/$tree-out.reg")
    echo "$tree: $keys [key] blocks imported; import ${imp} s, export ${exp} s ($size bytes UTF-16), query -s ${qry} s"
done
