# shellcheck shell=bash
# What the project's shell scripts share, sourced by each whatever its folder:
# steps that say how they went, a clean clone of a commit, the build tree's
# Wine environment, the DLLs an exe imports.

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
script_name=$(basename "$0")
step=""       # the step under way, named by every failure
failures=0    # the checks that failed so far

# fail MESSAGE...: ends the script, naming the step it failed at.
fail() {
    local at=""
    [ -z "$step" ] || at=" at step '$step'"
    echo "$script_name: FAILED$at: $*" >&2
    exit 1
}

# ok MESSAGE...: what the step under way found.
ok() { echo "ok   ${step:+$step: }$*"; }

# check WHAT COMMAND...: one item of a check list. A failed item is counted and
# the script goes on; checks_passed tells at the end.
check() {
    if "${@:2}"; then
        ok "$1"
    else
        failed "$1"
        return 1
    fi
}
# failed MESSAGE...: an item of the check list that failed.
failed() {
    echo "FAIL ${step:+$step: }$*"
    failures=$((failures + 1))
}
checks_passed() { [ "$failures" -eq 0 ]; }

# timed NAME COMMAND...: runs the command as step NAME and says how long it took.
timed() {
    local start=$SECONDS
    step=$1
    "${@:2}" || fail "$(printf '%q ' "${@:2}")failed"
    echo "$script_name: $1 took $((SECONDS - start)) s"
}

# clean_clone DIR [REV]: a clone of this checkout in DIR with REV (HEAD)
# checked out; what is not committed is not in it. The checkout may be another
# user's: it is read as a fetch reads a repository (its upload-pack), trusted
# for that read and REV's name alone, so none of its settings or hooks run.
clean_clone() {
    local rev
    rev=$(git -c safe.directory='*' -C "$repo_root" rev-parse --verify "${2:-HEAD}^{commit}") || return 1
    git clone --quiet --no-local --no-checkout --upload-pack "git -c safe.directory='*' upload-pack" "$repo_root" "$1" &&
        git -C "$1" checkout --quiet "$rev"
}

# wine_environment: the build tree's private prefix, Wine quiet but for its own
# errors (a program Wine fails to start would otherwise end without a word), and
# no Mono or Gecko installer asked for.
wine_environment() {
    export WINEPREFIX=${WINEPREFIX:-$repo_root/build/windows/wineprefix}
    export WINEDEBUG=${WINEDEBUG:--all,err+all}
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
}

# dll_imports EXE: the DLLs the exe imports, in lower case, one a line (objdump read in
# English, whatever language the caller speaks).
dll_imports() { LC_ALL=C x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]'; }
