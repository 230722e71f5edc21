#!/usr/bin/env bash
# Validates the installed desktop entry and AppStream metadata with the tools that desktops
# themselves use (desktop-file-utils, appstream).
set -euo pipefail
data="$(cd "$(dirname "$0")/../data" && pwd)"
desktop-file-validate "$data/lumetra.desktop"
appstreamcli validate --no-net --pedantic "$data/io.github.lumetra.lumetra.metainfo.xml"
