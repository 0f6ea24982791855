#!/usr/bin/env bash
# The desktop entry and the AppStream metadata pass the freedesktop and AppStream validators.
# Usage: check-metadata.sh DESKTOP-FILE METAINFO-FILE
set -euo pipefail
desktop-file-validate "$1"
appstreamcli validate --no-net "$2"
