#!/usr/bin/env bash
# A Windows DLL exports exactly the names given, undecorated, and imports only
# Windows' own DLLs (plus the host libraries named).
# Usage: checkWindowsExports.sh OBJDUMP DLL "EXPORTS..." "HOST-DLLS..."
set -euo pipefail
objdump="$1" dll="$2" expected="$3" host="$4"
table=$("$objdump" -p "$dll")
# The name pointer table lists one "[ordinal] name" line per exported name.
exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && /^\t\[/ {print $NF; next} on {on = 0}' \
          <<<"$table" | sort | tr '\n' ' ')
imports=$(awk '/DLL Name:/ {print $3}' <<<"$table" | sort -f | tr '\n' ' ')
echo "exports of $(basename "$dll"): $exports"
echo "imports of $(basename "$dll"): $imports"
want=$(tr ' ' '\n' <<<"$expected" | grep . | sort | tr '\n' ' ')
if [ "$exports" != "$want" ]; then
  echo "expected exactly: $want"
  exit 1
fi
# Windows' own DLLs: the kernel, the C runtime and the system libraries.
system='^(kernel32|msvcrt|user32|advapi32|ntdll|ws2_32|shell32|ole32|gdi32)\.dll$'
for name in $imports; do
  lower=$(tr 'A-Z' 'a-z' <<<"$name")
  if [[ "$lower" =~ $system ]]; then continue; fi
  if [[ " $host " == *" $name "* ]]; then continue; fi
  echo "imports $name, which is not a Windows DLL"
  exit 1
done
echo "export table of $(basename "$dll") checked"
