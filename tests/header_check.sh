#!/usr/bin/env bash
# The public header stands alone and agrees with the kernel table: it compiles
# as strict C11 and as C++, each export-name constant names a kernel of the
# table once, and every built kernel has its constant.
# Usage: header_check.sh SOURCE_DIR
set -euo pipefail
src="$1"
header="$src/include/vorta/vorta.h"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cc -std=c11 -Wall -Wextra -pedantic -Werror -fsyntax-only -x c "$header"
c++ -std=c++17 -Wall -Wextra -Werror -fsyntax-only -x c++ "$header"

grep -o '^#define VORTA_EXPORT_[A-Z0-9_]* "[0-9a-f]\{32\}"' "$header" | awk '{print $3}' | tr -d '"' |
  sort >"$work/header"
grep -o '^VORTA_KERNEL([0-9a-f]\{32\}, [A-Za-z0-9]*, [a-z_0-9]*, [A-Za-z0-9_]*)' "$src/frame/kernels.def" |
  sed 's/VORTA_KERNEL(\([0-9a-f]*\), [^,]*, [^,]*, \([A-Za-z0-9_]*\))/\1 \2/' >"$work/table"
awk '{print $1}' "$work/table" | sort >"$work/all"
awk '$2 != "NONE" {print $1}' "$work/table" | sort >"$work/built"

status=0
if dups="$(uniq -d "$work/header")" && [ -n "$dups" ]; then
  echo "header_check: export names defined twice: $dups"; status=1
fi
if unknown="$(comm -23 <(uniq "$work/header") "$work/all")" && [ -n "$unknown" ]; then
  echo "header_check: constants that name no kernel: $unknown"; status=1
fi
if missing="$(comm -13 <(uniq "$work/header") "$work/built")" && [ -n "$missing" ]; then
  echo "header_check: built kernels without a constant in vorta.h:"; echo "$missing"; status=1
fi
echo "header_check: $(wc -l <"$work/header") export names, $(wc -l <"$work/built") built kernels"
exit $status
