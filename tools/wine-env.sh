# Sourced by the tools that run Backdrift's Windows programs under Wine.
# Each build tree keeps its own Wine prefix, virtual display and persistent
# wineserver under <build>/wine, so runs never touch ~/.wine.

bd_wine_init() { # <build dir> [folder in it, default wine]
    BD_WINE_DIR=$1/${2:-wine}
    BD_WINE_KEEPER=$1/bin/desktop_keeper.exe
    mkdir -p "$BD_WINE_DIR/prefix"
    export WINEPREFIX="$BD_WINE_DIR/prefix"
    export WINEDEBUG=-all
    # No Mono or Gecko installers (they would wait on a dialog), no menu entries.
    export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
}

# A pid file holds a process's id and its start time (clock ticks since boot),
# so that an id the system has since given to another process is never taken
# for ours, whatever its name.
bd_start_time() { # <pid>
    sed -n 's/^.*) //p' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f20
}
bd_record() { # <pid> <pid file>
    echo "$1 $(bd_start_time "$1")" >"$2"
}
bd_pid() { # <pid file>
    cut -d' ' -f1 "$1" 2>/dev/null
}
bd_alive() { # <pid file>
    local pid started
    [ -s "$1" ] || return 1
    read -r pid started <"$1" || true
    [ -n "$pid" ] && [ -n "$started" ] && [ "$(bd_start_time "$pid")" = "$started" ]
}
# Ends the process of a pid file if it is still the one recorded there.
bd_end() { # <pid file>
    if bd_alive "$1"; then kill "$(bd_pid "$1")" 2>/dev/null || true; fi
}

# Runs a command detached from our output and the lock. (Background jobs are
# started with setsid directly: a backgrounded function's subshell would keep
# both open.)
bd_quiet() {
    setsid "$@" </dev/null >/dev/null 2>&1 9>&-
}

bd_start_server() {
    setsid wineserver -f -p </dev/null >/dev/null 2>&1 9>&- &
    bd_record $! "$BD_WINE_DIR/server.pid"
    # Creates the prefix on first use (about 10 s) and starts its services.
    bd_quiet wine wineboot
}

# Start what is missing of Xvfb, wineserver and the prefix's services. Safe to
# call from several processes at once: the first one boots, the others wait.
# Every background process is detached from our output and from the lock, or
# a caller that reads our output (CTest) would wait for it to end.
bd_wine_boot() {
    local dir=$BD_WINE_DIR
    (
        flock 9
        if [ "${BACKDRIFT_USE_DISPLAY:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
            echo "$DISPLAY" >"$dir/display.env"
        elif ! bd_alive "$dir/xvfb.pid" || [ ! -s "$dir/display" ]; then
            rm -f "$dir/display"
            setsid Xvfb -displayfd 8 -nolisten tcp -screen 0 1280x1024x24 \
                8>"$dir/display" </dev/null >/dev/null 2>&1 9>&- &
            bd_record $! "$dir/xvfb.pid"
            for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.1; done
            [ -s "$dir/display" ] || { echo "wine-env: Xvfb did not start" >&2; exit 1; }
            echo ":$(tr -d '[:space:]' <"$dir/display")" >"$dir/display.env"
        fi
        DISPLAY=$(cat "$dir/display.env")
        export DISPLAY
        if ! bd_alive "$dir/server.pid"; then
            bd_start_server
            if [ ! -f "$WINEPREFIX/.backdrift-desktop" ]; then
                # A virtual desktop brings its own taskbar and notification
                # area; without one, Wine looks for an X system tray and every
                # first tray call waits two seconds for it. Read at server start.
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
            setsid wine "$BD_WINE_KEEPER" </dev/null >/dev/null 2>&1 9>&- &
            bd_record $! "$dir/keeper.pid"
        fi
    ) 9>"$dir/lock"
    DISPLAY=$(cat "$BD_WINE_DIR/display.env")
    export DISPLAY
}

# Ends the prefix's programs, its wineserver and our Xvfb; fails if they are
# still there after a while (something that outlives its run is a fault).
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

# For a tool that boots the environment for one run and must leave nothing
# behind: notes what is already up before bd_wine_boot, and later ends only
# what that boot added (never a display or server someone else started).
bd_wine_mark() {
    BD_HAD_XVFB=0
    BD_HAD_SERVER=0
    if bd_alive "$BD_WINE_DIR/xvfb.pid"; then BD_HAD_XVFB=1; fi
    if bd_alive "$BD_WINE_DIR/server.pid"; then BD_HAD_SERVER=1; fi
}

# For a tool that runs until it ends or is stopped: boots what is missing and
# makes sure that <stop> (which ends what the tool started, and then calls
# bd_wine_stop_started) runs once on the way out, whether the tool ends,
# fails or gets Ctrl+C.
bd_wine_boot_for_run() { # <stop function>
    BD_RUN_STOP=$1
    trap 'bd_run_stop; exit 130' INT
    trap 'bd_run_stop; exit 143' TERM
    trap 'bd_run_stop; exit 129' HUP
    trap bd_run_stop EXIT
    bd_wine_mark
    bd_wine_boot
}
bd_run_stop() {
    trap - INT TERM HUP EXIT
    "$BD_RUN_STOP"
}

bd_wine_stop_started() {
    local dir=$BD_WINE_DIR
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

# Ends a Windows program started in the background (its wine process id) the
# way a user would: a close request, so it removes its icon; force after a while.
bd_wine_end_program() { # <pid> <image name, e.g. Backdrift.exe>
    kill -0 "$1" 2>/dev/null || return 0
    bd_quiet wine taskkill /im "$2" || true
    for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
    kill "$1" 2>/dev/null || true
}

# The program's settings file in the prefix.
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
