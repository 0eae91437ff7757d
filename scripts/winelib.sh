# Shell functions shared by the scripts that run Vantix under Wine.
# Sourced, not run. Every function works on one prefix only and never on ~/.wine.

# Callers set $here to this folder. Where the kernel runs no 32-bit code,
# every Wine command goes to the 64-bit loader (scripts/arch).
vantix_arch=$(sh "$here/arch")
if [ "$vantix_arch" = x86_64 ]; then
    PATH="$here/wine64:$PATH"
    export PATH
fi

export WINEDEBUG="${WINEDEBUG:--all}"
# Never offer to download Mono or Gecko: there is no network, and the prompt
# would block a headless run.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree=;mshtml=}"

# make_prefix DIR: a fresh 64-bit (WoW64) prefix, so that the 32-bit program
# sees both registry views.
make_prefix() {
    if [ -d "$1" ]; then
        WINEPREFIX="$1" wineserver -k 2>/dev/null || true
    fi
    rm -rf "$1"
    mkdir -p "$1"
    WINEPREFIX="$1" wineboot -i >/dev/null 2>&1
    WINEPREFIX="$1" wineserver -w
}

# start_xvfb PIDFILE: starts an Xvfb on a free display and prints ":N".
start_xvfb() {
    _fifo=$(mktemp -u)
    mkfifo "$_fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$_fifo" >/dev/null 2>&1 &
    echo $! >"$1"
    read -r _display <"$_fifo"
    rm -f "$_fifo"
    echo ":$_display"
}

# stop_pid PIDFILE: ends the one process whose id the file holds.
stop_pid() {
    if [ -f "$1" ]; then
        kill "$(cat "$1")" 2>/dev/null || true
        rm -f "$1"
    fi
}

# start_wine DIR: keeps the prefix's wineserver alive and starts Wine's own
# background processes (services, desktop) now, detached from the caller's
# output: started later, they would inherit a test's pipes and keep the
# test runner waiting for them.
start_wine() {
    WINEPREFIX="$1" wineserver -p </dev/null >/dev/null 2>&1
    WINEPREFIX="$1" wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}
