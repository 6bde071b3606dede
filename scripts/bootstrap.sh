#!/usr/bin/env bash
# Prepares a machine for building and testing velkaron: installs the system packages the
# build needs when they are missing, finds Python 3.13, and creates .venv with the build and
# test tools. Safe to run again: every step is skipped when it is already done.
set -euo pipefail

cd "$(dirname "$0")/.."
VENV=.venv

log() { printf 'bootstrap: %s\n' "$*" >&2; }

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

apt_updated=
apt_install() {
    if ! command -v apt-get >/dev/null 2>&1; then
        log "missing $*; install them with your package manager"
        exit 1
    fi
    if [ -z "$apt_updated" ]; then
        as_root apt-get update -qq
        apt_updated=1
    fi
    log "installing $*"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null
}

ensure_system_packages() {
    local wanted=()
    command -v pkg-config >/dev/null 2>&1 || wanted+=(pkg-config)
    if ! { command -v pkg-config >/dev/null 2>&1 && pkg-config --exists gumbo; }; then
        wanted+=(libgumbo-dev)
    fi
    command -v c++ >/dev/null 2>&1 || wanted+=(g++)
    if [ "${#wanted[@]}" -gt 0 ]; then apt_install "${wanted[@]}"; fi
}

is_python313() {
    "$1" -c 'import sys; sys.exit(sys.version_info[:2] != (3, 13))' >/dev/null 2>&1
}

find_python313() {
    local candidate
    for candidate in \
        "${PYTHON313:-}" \
        "$(command -v python3.13 2>/dev/null || true)" \
        "${PYENV_ROOT:-$HOME/.pyenv}"/versions/3.13*/bin/python3.13 \
        /usr/bin/python3.13 /usr/local/bin/python3.13; do
        if [ -n "$candidate" ] && [ -x "$candidate" ] && is_python313 "$candidate"; then
            printf '%s\n' "$candidate"
            return 0
        fi
    done
    return 1
}

ensure_venv() {
    if [ -x "$VENV/bin/python" ] && is_python313 "$VENV/bin/python"; then return 0; fi
    local python
    if ! python=$(find_python313); then
        apt_install python3.13 python3.13-venv python3.13-dev
        python=$(find_python313) || { log "no Python 3.13 found"; exit 1; }
    fi
    log "creating $VENV with $python"
    rm -rf "$VENV"
    "$python" -m venv "$VENV"
}

ensure_system_packages
ensure_venv
log "installing build and test tools"
"$VENV/bin/python" -m pip install -q --upgrade pip >/dev/null
"$VENV/bin/python" -m pip install -q -r requirements-dev.txt
