#!/usr/bin/env bash
# Fails when a C++ file of the tree is not formatted with .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files '*.cpp' '*.hpp' '*.h' | xargs clang-format --dry-run --Werror
echo "formatting ok"
