#!/usr/bin/env bash
# Fails when a source file is not formatted with the committed .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
find src tests bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format --dry-run --Werror
