# Sourced by the tools that run Backdrift's Windows programs under Wine: each build
# tree keeps its own prefix, display and wineserver in <build>/wine, never ~/.wine.

bd_wine_init() { # <build dir> [folder in it, default wine]
    BD_WINE_DIR=$1/${2:-wine}
    BD_WINE_KEEPER=$1/bin/desktop_keeper.exe
    mkdir -p "$BD_WINE_DIR/prefix"
    export WINEPREFIX="$BD_WINE_DIR/prefix"
    export WINEDEBUG=-all
    # No Mono or Gecko installers (they would wait on a dialog), no menu entries.
    export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
}

# A pid file holds a process's id and start time, so that a reused id is never taken for ours.
bd_start_time() { # <pid>
    sed -n 's/^.*) //p' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f20
}
bd_alive() { # <pid file>
    local pid started
    [ -s "$1" ] || return 1
    read -r pid started <"$1" || true
    [ -n "$pid" ] && [ -n "$started" ] && [ "$(bd_start_time "$pid")" = "$started" ]
}
# Ends the process of a pid file if it is still the one recorded there.
bd_end() { # <pid file>
    if bd_alive "$1"; then kill "$(cut -d' ' -f1 "$1")" 2>/dev/null || true; fi
}

# Run a command detached from our output and the lock, or a caller that reads our
# output (CTest) would wait for whatever keeps it open; bd_spawn in the background,
# recorded in a pid file (bd_quiet with & would leave a subshell holding both).
bd_quiet() {
    setsid "$@" </dev/null >/dev/null 2>&1 9>&-
}
bd_spawn() { # <pid file> <command> [arguments...]
    setsid "${@:2}" </dev/null >/dev/null 2>&1 9>&- &
    echo "$! $(bd_start_time $!)" >"$1"
}

bd_start_server() {
    bd_spawn "$BD_WINE_DIR/server.pid" wineserver -f -p
    # Creates the prefix on first use (about 10 s) and starts its services.
    bd_quiet wine wineboot
}

# Starts what is missing of Xvfb, wineserver and the prefix's services; the first caller boots, others wait.
bd_wine_boot() {
    local dir=$BD_WINE_DIR
    (
        flock 9
        if [ "${BACKDRIFT_USE_DISPLAY:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
            echo "$DISPLAY" >"$dir/display.env"
        elif ! bd_alive "$dir/xvfb.pid" || [ ! -s "$dir/display" ]; then
            rm -f "$dir/display"
            bd_spawn "$dir/xvfb.pid" Xvfb -displayfd 8 -nolisten tcp -screen 0 1280x1024x24 8>"$dir/display"
            for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.1; done
            [ -s "$dir/display" ] || { echo "wine-env: Xvfb did not start" >&2; exit 1; }
            echo ":$(tr -d '[:space:]' <"$dir/display")" >"$dir/display.env"
        fi
        DISPLAY=$(cat "$dir/display.env")
        export DISPLAY
        if ! bd_alive "$dir/server.pid"; then
            bd_start_server
            if [ ! -f "$WINEPREFIX/.backdrift-desktop" ]; then
                # A virtual desktop brings its own notification area; without one,
                # every first tray call waits 2 s for an X tray. Read at server start.
                bd_quiet wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
                bd_quiet wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f
                bd_quiet wineserver -k
                for _ in $(seq 100); do bd_alive "$dir/server.pid" || break; sleep 0.1; done
                bd_start_server
                touch "$WINEPREFIX/.backdrift-desktop"
            fi
        fi
        # Keep the desktop process alive between programs (see desktop_keeper.cpp).
        if [ -f "$BD_WINE_KEEPER" ] && ! bd_alive "$dir/keeper.pid"; then
            bd_spawn "$dir/keeper.pid" wine "$BD_WINE_KEEPER"
        fi
    ) 9>"$dir/lock"
    DISPLAY=$(cat "$BD_WINE_DIR/display.env")
    export DISPLAY
}

# Ends the prefix's programs, its wineserver and our Xvfb; fails if they linger (that is a fault).
bd_wine_stop() {
    local dir=$BD_WINE_DIR ended=() entry pid started left
    for entry in server xvfb; do
        if bd_alive "$dir/$entry.pid"; then ended+=("$(cat "$dir/$entry.pid")"); fi
    done
    wineserver -k </dev/null >/dev/null 2>&1 || true
    bd_end "$dir/xvfb.pid"
    rm -f "$dir/server.pid" "$dir/keeper.pid" "$dir/xvfb.pid" "$dir/display" "$dir/display.env"
    for _ in $(seq 100); do
        left=
        for entry in "${ended[@]}"; do
            read -r pid started <<<"$entry"
            if [ "$(bd_start_time "$pid")" = "$started" ]; then left+=" $pid"; fi
        done
        [ -z "$left" ] && return 0
        sleep 0.1
    done
    echo "wine-env: still running after stop:$(ps -o pid=,args= -p "${left# }" | tr '\n' ';')" >&2
    return 1
}

# For a tool that runs until it ends or is stopped: boots what is missing and, once on the way out (end,
# failure or Ctrl+C), runs <stop> to end what the tool started, then ends only what this boot added.
bd_wine_boot_for_run() { # <stop command> [arguments...]
    BD_RUN_STOP=("$@")
    trap bd_run_stop EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    trap 'exit 129' HUP
    BD_HAD_XVFB=1 BD_HAD_SERVER=1
    bd_alive "$BD_WINE_DIR/xvfb.pid" || BD_HAD_XVFB=0
    bd_alive "$BD_WINE_DIR/server.pid" || BD_HAD_SERVER=0
    bd_wine_boot
}
bd_run_stop() {
    local dir=$BD_WINE_DIR
    "${BD_RUN_STOP[@]}"
    if [ "${BD_HAD_SERVER:-1}" = 0 ] && bd_alive "$dir/server.pid"; then
        # Ends every program of the prefix, the desktop and services too.
        wineserver -k </dev/null >/dev/null 2>&1 || true
        for _ in $(seq 100); do bd_alive "$dir/server.pid" || break; sleep 0.1; done
        rm -f "$dir/server.pid" "$dir/keeper.pid"
    fi
    if [ "${BD_HAD_XVFB:-1}" = 0 ] && bd_alive "$dir/xvfb.pid"; then
        bd_end "$dir/xvfb.pid"
        rm -f "$dir/xvfb.pid" "$dir/display" "$dir/display.env"
    fi
}

# Ends a background Windows program (its wine pid) as a user would, so its icon goes; forced after 5 s.
bd_wine_end_program() { # <pid> <image name, e.g. Backdrift.exe>
    if kill -0 "$1" 2>/dev/null; then
        bd_quiet wine taskkill /im "$2" || true
        for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
        kill "$1" 2>/dev/null || true
    fi
    wait "$1" 2>/dev/null || true
}

bd_settings_file() {
    echo "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Backdrift/config.ini"
}

# Settings that point at the demo pictures, every other value at its default;
# UTF-16 with a byte-order mark, as the program writes them, so any path survives.
bd_write_demo_settings() { # <settings file>
    local demo
    demo=$(winepath -w "$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/res/demo" 2>/dev/null)
    mkdir -p "$(dirname "$1")"
    { printf '\xff\xfe'; printf '[Backdrift]\r\nFolder=%s\r\n' "$demo" | iconv -f UTF-8 -t UTF-16LE; } >"$1"
}
