#!/usr/bin/env bash
# The shading code of a built x86 library rounds every operation to single
# precision: its functions hold no x87 arithmetic (whose 80-bit registers keep
# intermediates unrounded) and no fused multiply-add (one rounding for two
# operations), only SSE scalar arithmetic.
#
# Usage: checkShadingCode.sh OBJDUMP LIBRARY NAME-PATTERN...
# Each NAME-PATTERN is an extended regular expression for symbol names; the
# compiler's split-off parts of a function (.cold, .part.N, .isra.N,
# .constprop.N) count as the function.
#
# x87 loads and stores (fld, fst, fstp, fxch) are allowed: a 32-bit function
# returning a float hands it over on the x87 stack, and its caller stores it.
set -euo pipefail
objdump="$1" lib="$2"
shift 2
patterns=$(printf '%s\n' "$@")

disassembly=$("$objdump" -d --no-show-raw-insn -M intel "$lib")

# One line per instruction of the chosen functions: "function<TAB>mnemonic<TAB>text".
listing=$(awk -v patterns="$patterns" '
    BEGIN { n = split(patterns, want, "\n") }
    /^[0-9a-f]+ <.*>:$/ {
        name = $0
        sub(/^[0-9a-f]+ </, "", name)
        sub(/>:$/, "", name)
        base = name
        while (base ~ /\.(cold|part\.[0-9]+|isra\.[0-9]+|constprop\.[0-9]+)$/)
            sub(/\.(cold|part\.[0-9]+|isra\.[0-9]+|constprop\.[0-9]+)$/, "", base)
        on = 0
        for (i = 1; i <= n; ++i)
            if (want[i] != "" && base ~ want[i]) on = 1
        next
    }
    /^$/ { on = 0; next }
    on && /^ *[0-9a-f]+:\t/ {
        split($0, field, "\t")
        text = field[2]
        mnemonic = text
        sub(/ .*/, "", mnemonic)
        if (mnemonic ~ /^(rep|repz|repnz|lock|bnd|notrack|data16|addr32)$/) {
            rest = text
            sub(/^[a-z0-9]+ +/, "", rest)
            mnemonic = rest
            sub(/ .*/, "", mnemonic)
        }
        if (mnemonic != "") print name "\t" mnemonic "\t" text
    }' <<<"$disassembly")

if [ -z "$listing" ]; then
  echo "no function of $(basename "$lib") matches: $*"
  exit 1
fi

functions=$(cut -f1 <<<"$listing" | sort -u | tr '\n' ' ')
x87='^f(i?(add|sub|subr|mul|div|divr)p?|sqrt|abs|chs|rndint|scale|prem1?|xtract|sin|cos|sincos|ptan|patan|2xm1|yl2xp?1?|u?com(i|ip|p|pp)?|icomp?|tst|xam|ild|istt?p?)$'
fused='^v?fn?m(add|sub)[0-9]*(ss|sd|ps|pd)$|^v?fm(addsub|subadd)[0-9]*(ps|pd)$'
sse='^v?(add|sub|mul|div|sqrt|min|max)(ss|ps)$'
bad=$(awk -F'\t' -v x87="$x87" -v fused="$fused" '$2 ~ x87 || $2 ~ fused' <<<"$listing")
count() { awk -F'\t' -v re="$1" '$2 ~ re' <<<"$listing" | wc -l; }

echo "$(basename "$lib"): $functions"
echo "  $(wc -l <<<"$listing") instructions, $(count "$sse") SSE single-precision arithmetic," \
     "$(count "$x87") x87 arithmetic, $(count "$fused") fused multiply-add"
if [ -n "$bad" ]; then
  echo "  arithmetic not rounded to single precision at every step:"
  awk -F'\t' '{print "    " $1 ": " $3}' <<<"$bad" | head -20
  [ "$(wc -l <<<"$bad")" -le 20 ] || echo "    ..."
  exit 1
fi
if [ "$(count "$sse")" -eq 0 ]; then
  echo "  no single-precision arithmetic found: the patterns match the wrong functions"
  exit 1
fi
echo "shading code of $(basename "$lib") checked: SSE arithmetic only"
