#!/usr/bin/env bash
# Fails when a C or C++ file of the tree differs from its clang-format form.
# With --fix, formats them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=(--dry-run -Werror)
[ "${1:-}" = "--fix" ] && mode=(-i)
git ls-files -z -- '*.c' '*.cpp' '*.h' | xargs -0 -r clang-format "${mode[@]}"
