#!/bin/sh
# The sample installers, end to end in the test prefix: each sample is
# installed by its real installer, its Uninstall entry and files are checked,
# then the command that the entry stores is run (as a user's Remove would run
# it) and everything it installed must be gone.
#   samples.sh BUILD_DIR     (VANTIX_TESTENV names the run's test environment)
set -u
build=$1
. "$VANTIX_TESTENV/env"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="

samples=$build/samples
uninstall='Software\Microsoft\Windows\CurrentVersion\Uninstall'
product='{174A283B-43F7-417D-8D79-D148EB17BCF7}'
# The product code in the installer's packed form (each group reversed).
packed='B382A4717F34D714D8971D84BE71CB7F'
products='HKLM\SOFTWARE\Classes\Installer\Products'

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); printf 'FAIL: %s\n' "$*"; }
check() {  # DESCRIPTION COMMAND...
    _what=$1
    shift
    if "$@"; then pass; else fail "$_what"; fi
}
equals() {  # DESCRIPTION EXPECTED ACTUAL
    if [ "$2" = "$3" ]; then pass; else fail "$1: expected [$2], got [$3]"; fi
}

# wine's console output ends lines with CR LF.
win() { wine "$@" 2>/dev/null | tr -d '\r'; }
key_exists() { wine reg query "$1" "/reg:$2" >/dev/null 2>&1; }  # KEY 32|64
key_absent() { ! key_exists "$@"; }
value() {  # KEY 32|64 NAME: the value's data as reg prints it
    win reg query "$1" "/reg:$2" /v "$3" | sed -n "s/^    $3    REG_[A-Z_]*    //p"
}
value_type() {
    win reg query "$1" "/reg:$2" /v "$3" | sed -n "s/^    $3    \(REG_[A-Z_]*\).*/\1/p"
}
unix_path() { winepath -u "$1" 2>/dev/null; }
file_exists() { [ -f "$(unix_path "$1")" ]; }
dir_absent() { [ ! -e "$(unix_path "$1")" ]; }

# Runs a stored command line: a quoted or bare program, then its arguments.
run_command() {
    case "$1" in
    \"*)
        _rest=${1#\"}
        _exe=${_rest%%\"*}
        _args=${_rest#*\"}
        ;;
    *)
        _exe=${1%% *}
        _args=${1#"$_exe"}
        ;;
    esac
    # Unquoted: the arguments split as the program's command line would.
    timeout 120 wine "$_exe" $_args </dev/null >/dev/null 2>&1
}

# Some process of this prefix has TEXT in its command line: an uninstaller
# still waiting for a click would show here.
prefix_runs() {
    for _p in /proc/[0-9]*; do
        tr '\0' ' ' 2>/dev/null <"$_p/cmdline" | grep -qF -- "$1" || continue
        tr '\0' '\n' 2>/dev/null <"$_p/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
    done
    return 1
}
prefix_idle() { ! prefix_runs "$@"; }

# An NSIS uninstaller copies itself to the temporary folder, starts the copy
# and exits at once: wait until the work is really done.
wait_until() {  # SECONDS COMMAND...
    _limit=$(($1 * 4))
    shift
    while [ "$_limit" -gt 0 ]; do
        "$@" && return 0
        sleep 0.25
        _limit=$((_limit - 1))
    done
    return 1
}

for f in nsis-machine.exe nsis-user.exe sample.msi; do
    if [ ! -f "$samples/$f" ]; then
        echo "missing $samples/$f (makensis and wixl are needed to build it)"
        echo "0 passed, 1 failed"
        exit 1
    fi
done

# The package's own maintenance run removes an installed product, so a product
# left by an earlier run in this prefix must go before installing again.
if key_exists "HKLM\\$uninstall\\$product" 32; then
    wine msiexec /x "$product" /qn >/dev/null 2>&1
fi

# NSIS sample: KIND ROOT VIEW KEY NAME DIR
nsis_sample() {
    kind=$1 key="$2\\$uninstall\\$4" view=$3 name=$5 dir=$6
    wine "$samples/nsis-$kind.exe" /S >/dev/null 2>&1
    check "$kind: installer exits 0" [ $? -eq 0 ]
    check "$kind: key $key in the $view-bit view" key_exists "$key" "$view"
    if [ "$2" = HKLM ]; then
        check "$kind: nothing in the 64-bit view" key_absent "$key" 64
    fi
    equals "$kind: DisplayName" "$name" "$(value "$key" "$view" DisplayName)"
    equals "$kind: UninstallString" "\"$dir\\uninstall.exe\"" "$(value "$key" "$view" UninstallString)"
    equals "$kind: QuietUninstallString" "\"$dir\\uninstall.exe\" /S" \
        "$(value "$key" "$view" QuietUninstallString)"
    equals "$kind: DisplayIcon, unquoted" "$dir\\SampleApp.exe" "$(value "$key" "$view" DisplayIcon)"
    check "$kind: SampleApp.exe installed" file_exists "$dir\\SampleApp.exe"
    check "$kind: uninstall.exe installed" file_exists "$dir\\uninstall.exe"

    run_command "$(value "$key" "$view" UninstallString)"
    check "$kind: stored command exits 0" [ $? -eq 0 ]
    check "$kind: uninstall removes the key" wait_until 60 key_absent "$key" "$view"
    check "$kind: uninstall removes the folder" wait_until 60 dir_absent "$dir"
    check "$kind: uninstaller ends by itself" wait_until 30 prefix_idle "$dir\\"
}

nsis_sample machine HKLM 32 VantixSampleMachine "Vantix Sample (per-machine)" \
    'C:\Program Files (x86)\Vantix Sample'

localappdata=$(win cmd /c echo %LOCALAPPDATA%)
nsis_sample user HKCU 64 VantixSampleUser "Vantix Sample (per-user)" \
    "$localappdata\\Vantix Sample User"

# Installer package: Wine's msiexec writes the Uninstall entry itself.
key="HKLM\\$uninstall\\$product"
msidir='C:\Program Files (x86)\Vantix Sample MSI'
wine msiexec /i "$samples/sample.msi" /qn >/dev/null 2>&1
check "msi: msiexec /i exits 0" [ $? -eq 0 ]
check "msi: key $product in the 32-bit view" key_exists "$key" 32
equals "msi: DisplayName" "Vantix Sample (installer package)" "$(value "$key" 32 DisplayName)"
equals "msi: WindowsInstaller" "0x1" "$(value "$key" 32 WindowsInstaller)"
equals "msi: UninstallString" "MsiExec.exe /I$product" "$(value "$key" 32 UninstallString)"
equals "msi: UninstallString type" REG_EXPAND_SZ "$(value_type "$key" 32 UninstallString)"
icon=$(value "$products\\$packed" 32 ProductIcon)
check "msi: ProductIcon under the packed product code names a file [$icon]" \
    file_exists "${icon:-missing}"
check "msi: SampleApp.exe installed" file_exists "$msidir\\SampleApp.exe"

# Run as stored: no dialog may block, and the product must really go.
run_command "$(value "$key" 32 UninstallString)"
check "msi: stored command exits 0" [ $? -eq 0 ]
check "msi: uninstall removes the key" wait_until 60 key_absent "$key" 32
check "msi: uninstall removes the product data" key_absent "$products\\$packed" 32
check "msi: uninstall removes the folder" wait_until 60 dir_absent "$msidir"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
