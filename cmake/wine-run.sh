#!/bin/bash
# Runs a Windows program under Wine for CMake and CTest.
#   wine-run.sh PREFIX PROGRAM [ARGS...]   run PROGRAM in the prefix
#   wine-run.sh PREFIX --boot | --stop      only boot the prefix / stop its wineserver
# The prefix is booted once, unattended, under a lock so that parallel tests
# never see a half-made prefix. Wine's own services are started detached from
# our stdio, otherwise ctest would wait for them after every test.
set -u
PREFIX=$1; shift
export WINEPREFIX="$PREFIX" WINEARCH=win64
export WINEDEBUG="${WINE_RUN_DEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# FreeType's default interpreter hints TrueType glyphs for black-and-white
# drawing but not for grey, so Wine draws a greyed label, which goes through a
# black-and-white bitmap exactly as wide as the text measures, a few pixels
# wider than it measured it and cuts off its end. The classic interpreter
# hints both alike, as Windows does.
export FREETYPE_PROPERTIES="truetype:interpreter-version=35"
# The machine's TZ would make Wine's CRT and Win32 disagree on local time;
# a test that needs a zone names one both read alike (QZL_WINE_TZ=CET-1).
if [ -n "${QZL_WINE_TZ:-}" ]; then export TZ="$QZL_WINE_TZ"; else unset TZ; fi
mkdir -p "$(dirname "$PREFIX")"
CJK_FONT=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
CJK_FACE="WenQuanYi Micro Hei"

WINE_FONTS=/usr/share/wine/fonts

boot() {
    if [ ! -f "$PREFIX/.booted" ]; then
        {
            env -u DISPLAY wine wineboot -i
            wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
            wineserver -w
        } >"$PREFIX.boot.log" 2>&1 9>&- </dev/null
        touch "$PREFIX/.booted"
    fi
    # Wine's own fonts (scripts/setup installs them) draw the windows' caption
    # buttons in Marlett, without which a close button shows as the letter
    # "r". Wine does not read them from where the package puts them: each
    # prefix links them into its Fonts folder, a prefix made before they came
    # too. Tahoma stays out: Wine would draw the dialogs in it, and it cuts
    # off a greyed label's Japanese or Chinese end (drawn wider than measured)
    # where the dialogs are laid out and measured in DejaVu Sans. A CJK link
    # for Tahoma, which would stand in for the missing face, goes.
    if [ ! -f "$PREFIX/.wine-fonts" ] && [ -f "$WINE_FONTS/marlett.ttf" ]; then
        for font in "$WINE_FONTS"/*; do
            case "$font" in */tahoma*) continue ;; esac
            ln -sf "$font" "$PREFIX/drive_c/windows/Fonts/"
        done
        for face in Tahoma "Tahoma Bold"; do
            wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$face" /f \
                >>"$PREFIX.boot.log" 2>&1 9>&- </dev/null || true
        done
        touch "$PREFIX/.wine-fonts"
    fi
    # The dialogs' fonts have no Japanese or Chinese glyphs: linked to the CJK
    # font that scripts/setup installs, those texts are drawn and measured in
    # real glyphs instead of boxes. Only a face that Wine has may be linked (a
    # link for a missing one stands in for it): DejaVu Sans, which Wine draws
    # "MS Shell Dlg" with when its own Tahoma is not there; each bold face
    # (captions) needs a link of its own. A prefix made before the font came
    # gets it too.
    if [ ! -f "$PREFIX/.cjk-font" ] && [ -f "$CJK_FONT" ]; then
        {
            ln -sf "$CJK_FONT" "$PREFIX/drive_c/windows/Fonts/"
            for face in "DejaVu Sans" "DejaVu Sans Bold"; do
                wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
                    /v "$face" /t REG_MULTI_SZ /d "$(basename "$CJK_FONT"),$CJK_FACE" /f
            done
        } >>"$PREFIX.boot.log" 2>&1 9>&- </dev/null
        touch "$PREFIX/.cjk-font"
    fi
    # A program that crashes ends at once with its backtrace on stderr, rather
    # than waiting under Xvfb for someone to close Wine's crash dialog. A
    # prefix made before this setting gets it too.
    if [ ! -f "$PREFIX/.no-crash-dialog" ]; then
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
            >>"$PREFIX.boot.log" 2>&1 9>&- </dev/null &&
            touch "$PREFIX/.no-crash-dialog"
    fi
    # No debugger either: an unhandled exception then ends the program at once
    # with the exception's code, on every run (Wine's debugger at times ended
    # it with 0). A prefix made before this setting gets it too.
    if [ ! -f "$PREFIX/.no-debugger" ]; then
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f \
            >>"$PREFIX.boot.log" 2>&1 9>&- </dev/null &&
            touch "$PREFIX/.no-debugger"
    fi
    if wineserver -p"${WINE_RUN_PERSIST:-10}" 9>&- </dev/null >/dev/null 2>&1; then
        wine hostname 9>&- </dev/null >/dev/null 2>&1
    fi
}

(
    flock 9
    boot
) 9>"$PREFIX.lock"

case "${1:-}" in
    --boot) exit 0 ;;
    --stop) wineserver -k 2>/dev/null; exit 0 ;;
esac

# The exit code alone tells how the program ended: a crash ends it with the
# exception's code. What Wine writes on stderr tells nothing, since the lines
# about the program's child processes come there too.
if [ -n "${WINE_RUN_STREAM:-}" ]; then
    wine "$@"
    exit $?
fi
err=$(mktemp "${PREFIX}.err.XXXXXX")
out=$(mktemp "${PREFIX}.out.XXXXXX")
wine "$@" >"$out" 2>"$err" </dev/null
rc=$?
# A failure without a single byte of output means the program never started
# (Wine's session was busy coming up or going down); every test program
# prints before it can fail, so one more try hides no test failure.
if [ $rc -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
    echo "wine-run: $1 exited with $rc before writing anything; running it again" >&2
    sleep 1
    wine "$@" >"$out" 2>"$err" </dev/null
    rc=$?
fi
cat "$out"; cat "$err" >&2
rm -f "$out" "$err"
exit $rc
