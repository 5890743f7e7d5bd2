# Sourced by the commands that build and run Backdrift's Windows programs. As root, Wine passes
# every access check that Windows makes an ordinary user meet, so a test would never see a refused
# write: started as root, the commands run as this unprivileged account instead, in a copy of the
# checkout under its home. Root only reads the checkout (no mode, owner or access list changes);
# the account and its home are all a root run adds, and `userdel -r backdrift-test` removes both.
BD_TEST_ACCOUNT=backdrift-test

# The account's copy of a checkout: one per checkout, so that its build trees stay from run to run.
bd_test_copy() { # <checkout>
    echo "$(bd_test_home)/checkouts/$(basename "$1")-$(printf %s "$1" | sha256sum | cut -c1-12)"
}
bd_test_home() {
    getent passwd "$BD_TEST_ACCOUNT" | cut -d: -f6
}

# The last commit's time when the checkout is a git work tree's top, else nothing (the zip's date).
bd_commit_time() { # <checkout>
    local git=(git -C "$1" -c safe.directory="$1")
    if [ "$("${git[@]}" rev-parse --show-toplevel 2>/dev/null)" = "$1" ]; then
        "${git[@]}" log -1 --format=%ct 2>/dev/null || true
    fi
}

bd_as_account() { # <command> [arguments...]
    runuser -u "$BD_TEST_ACCOUNT" -- env -u XDG_RUNTIME_DIR -u DISPLAY -u XAUTHORITY -u BACKDRIFT_USE_DISPLAY \
        HOME="$(bd_test_home)" USER="$BD_TEST_ACCOUNT" LOGNAME="$BD_TEST_ACCOUNT" "$@"
}

# The files the copy takes, NUL-separated, relative to the checkout: what git tracks, as changed, and
# new files it would take but those private to their owner. Links go as links; nothing they name is read.
bd_copy_list() { # <checkout>
    local git=(git -C "$1" -c safe.directory="$1") file
    if ! "${git[@]}" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        (cd "$1" && find . -path ./build -prune -o -path ./.git -prune -o ! -type d -print0)
        return
    fi
    "${git[@]}" ls-files -z --cached | while IFS= read -r -d '' file; do
        if [ -e "$1/$file" ] || [ -L "$1/$file" ]; then printf '%s\0' "$file"; fi
    done
    "${git[@]}" ls-files -z --others --exclude-standard | while IFS= read -r -d '' file; do
        if [ -L "$1/$file" ] || [ -n "$(find "$1/$file" -maxdepth 0 -perm -o+r)" ]; then
            printf '%s\0' "$file"
        else
            echo "Not copied for $BD_TEST_ACCOUNT (new, and private to its owner): $file" >&2
        fi
    done
}

# Run as the account, with the checkout's files as a tar stream on its input: brings its private
# copy (<folder>) up to date. A changed file gets a fresh time, so the build takes it even if its
# own is older; an unchanged one keeps its time, so the kept build trees build only what changed.
# Removes only what lies in the copy, after resolving it.
BD_REFRESH='set -euo pipefail
    copy=$1 stage=$1.incoming
    install -d -m 0700 "$(dirname "$copy")" "$copy"
    [ "$(cd "$copy" && pwd -P)" = "$copy" ] || { echo "as-test-account: $copy is not a plain folder" >&2; exit 1; }
    rm -rf -- "$stage"
    mkdir -m 0700 "$stage"
    tar -C "$stage" -xf -
    cd "$stage"
    find . ! -type d -print0 | while IFS= read -r -d "" file; do
        # Unchanged: the same link target (none for a file) and, for a file, the same bytes.
        [ "$(readlink "$file")" = "$(readlink "$copy/$file")" ] &&
            { [ -L "$file" ] || cmp -s "$file" "$copy/$file"; } && continue
        mkdir -p "$copy/$(dirname "$file")"
        rm -rf -- "${copy:?}/$file"
        cp -P -- "$file" "$copy/$file"
    done
    cd "$copy"
    find . -path ./build -prune -o ! -type d -print0 | while IFS= read -r -d "" file; do
        [ -e "$stage/$file" ] || [ -L "$stage/$file" ] || rm -f -- "$file"
    done
    rm -rf -- "$stage"'

# As root: runs a script of the checkout as the test account (made on first use) in its fresh copy.
bd_run_in_test_copy() { # <command relative to the checkout> [arguments...]
    local checkout copy revision epoch
    checkout=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)
    if ! id -u "$BD_TEST_ACCOUNT" >/dev/null 2>&1; then
        echo "Creating the unprivileged account $BD_TEST_ACCOUNT to build and test as (userdel -r $BD_TEST_ACCOUNT removes it)"
        useradd --system --user-group --create-home --home-dir "/var/lib/$BD_TEST_ACCOUNT" \
            --shell /usr/sbin/nologin "$BD_TEST_ACCOUNT" || return
    fi
    # Called on the left of ||, where set -e holds no more: each step that must not fail returns by itself.
    copy=$(bd_test_copy "$checkout") || return
    # Made by root, not by a display the account starts, as X expects.
    [ -d /tmp/.X11-unix ] || install -d -m 1777 /tmp/.X11-unix
    bd_copy_list "$checkout" | tar -C "$checkout" --null --no-recursion -T - -cf - |
        bd_as_account bash -c "$BD_REFRESH" _ "$copy" || return
    revision=$(git -C "$checkout" -c safe.directory="$checkout" log -1 --format=%h 2>/dev/null || echo unknown)
    # The copy has no .git to take the commit's time from.
    epoch=${SOURCE_DATE_EPOCH:-$(bd_commit_time "$checkout")}
    echo "As $BD_TEST_ACCOUNT, in its copy of this checkout: $copy"
    bd_as_account env -C "$copy" BACKDRIFT_REVISION="$revision" ${epoch:+SOURCE_DATE_EPOCH="$epoch"} \
        "$copy/$1" "${@:2}"
}

# First in a command: as root, runs it as the test account and exits with its status; else returns.
bd_as_test_account() { # <command relative to the checkout> [arguments...]
    [ "$(id -u)" -eq 0 ] || return 0
    bd_run_in_test_copy "$@" || exit
    exit 0
}
