#!/bin/bash
# Runs one Windows program under Wine the way every test needs it: a fresh
# prefix copied from a pristine template, a private HOME, a private Xvfb
# display, and nothing left running afterwards. Used as CMake's cross-compiling
# emulator, so `wine-run.sh program.exe args...`.
#
# Knobs (environment):
#   LUNKO_WINE_TEMPLATE  folder holding the pristine prefix (made on first use)
#   LUNKO_WINVER         "exe=version ..." Windows versions Wine pretends per
#                        executable name, e.g. "test_platform.exe=win98"
#   LUNKO_LOCALE         zh_CN, zh_TW, en_US ...: run in that locale (UTF-8)
#   LUNKO_RUN_DIR        keep the run's prefix in this folder instead of a
#                        temporary one (it is not removed afterwards)
#   LUNKO_USER           run as this unprivileged user (its uid/gid, e.g. 65534)
#   LUNKO_EXTRA_OVERRIDES  further WINEDLLOVERRIDES entries, e.g.
#                        "comctl32,uxtheme=n,b" (Wine takes them from the Unix
#                        environment only, so a test cannot set them itself)
#   LUNKO_SMALL_DRIVE    "d:SIZE": drive D of the prefix on a tmpfs of SIZE
#                        (e.g. 8m) that the program can fill (as root: its
#                        root is read-only, as drive C's); where mounting
#                        is not allowed, LUNKO_SMALL_DRIVE_UNAVAILABLE tells
#                        the program why
#   LUNKO_FOREIGN        "path ..." under drive C, made after the prefix is
#                        given to LUNKO_USER: read-only and owned by root, as
#                        another user's files (a trailing / makes a folder);
#                        missing folders above them are made as the run's user
#   LUNKO_COLOURS        "high-contrast-black": the system colours of that
#                        scheme (white text on black faces and windows, black
#                        text on a teal highlight), written before Wine starts;
#                        Wine reports high contrast off whatever the colours
#   LUNKO_DPI            the display's DPI (120, 144, 192 ...), written as
#                        LogPixels before Wine starts: Wine reads it once per
#                        process and gives it to every program as the real DPI
#   FONTCONFIG_FILE      read by Wine as by every fontconfig program: a file
#                        that lists fewer font folders hides fonts from Wine
#                        (the prefix copy forgets the template's font files)
set -u

template=${LUNKO_WINE_TEMPLATE:-/tmp/lunko-wine-template-$(id -u)}
cache=$(dirname "$template")/lunko-locales

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="${LUNKO_EXTRA_OVERRIDES:+$LUNKO_EXTRA_OVERRIDES;}mscoree,mshtml,winemenubuilder.exe="
unset DISPLAY WAYLAND_DISPLAY

# Prefix folders like Desktop are symlinks into $HOME after wineboot; the
# template replaces them by real folders so that every copy is self-contained.
make_template() {
    local dir=$1 home=$1.home
    rm -rf "$dir" "$home"
    mkdir -p "$home"
    HOME=$home WINEPREFIX=$dir wineboot -i >/dev/null 2>&1
    HOME=$home WINEPREFIX=$dir wineserver -w
    local server_root
    server_root=$(cat "$dir/wineserver" 2>/dev/null)
    case "$server_root" in wine-?*) rm -rf "/tmp/$server_root" ;; esac
    rm -f "$dir/wineserver"
    for link in "$dir"/drive_c/users/*/*; do
        [ -L "$link" ] || continue
        rm "$link" && mkdir "$link"
    done
    # Without a window manager DestroyWindow blocks for seconds per window;
    # unmanaged windows also get Wine's own title bars, as on Windows.
    printf '\n[Software\\\\Wine\\\\X11 Driver] 1700000000\n"Managed"="N"\n' >> "$dir/user.reg"
    # Debian's Wine keeps its own fonts ("MS Sans Serif", Tahoma, ...) in
    # /usr/share/wine/fonts and never looks there: a prefix without them
    # draws "MS Sans Serif" in an unrelated face with other widths. The
    # prefix's registry already names them in the Fonts folder.
    cp /usr/share/wine/fonts/* "$dir/drive_c/windows/Fonts/" 2>/dev/null
    rm -rf "$home"
}

ensure_template() {
    mkdir -p "$(dirname "$template")"
    exec 9>"$template.lock"
    flock 9
    # "ready-fonts": a template made before Wine's fonts were copied is made anew.
    [ -f "$template/ready-fonts" ] || { make_template "$template/prefix" && touch "$template/ready-fonts"; }
    flock -u 9
    exec 9>&-
}

ensure_locale() {
    local name=$1
    mkdir -p "$cache"
    exec 8>"$cache.lock"
    flock 8
    [ -d "$cache/$name.UTF-8" ] || localedef -i "$name" -f UTF-8 "$cache/$name.UTF-8" 2>/dev/null
    flock -u 8
    exec 8>&-
}

ensure_template || exit 1

if [ -n "${LUNKO_RUN_DIR:-}" ]; then
    run=$LUNKO_RUN_DIR
    rm -rf "$run"
    mkdir -p "$run"
    keep=1
else
    run=$(mktemp -d /tmp/lunko-run.XXXXXX)
    keep=0
fi
cp -a "$template/prefix" "$run/prefix"
# Debian's Wine records a private server folder under /tmp in the prefix;
# each copy must make its own (an unprivileged user could not enter root's).
rm -f "$run/prefix/wineserver"
mkdir -p "$run/home"
export WINEPREFIX=$run/prefix HOME=$run/home

for pair in ${LUNKO_WINVER:-}; do
    printf '\n[Software\\\\Wine\\\\AppDefaults\\\\%s] 1700000000\n"Version"="%s"\n' \
        "${pair%%=*}" "${pair#*=}" >> "$WINEPREFIX/user.reg"
done

# The template's registry lists the font files of the default font list by
# their Unix paths, and Wine loads what it lists whatever fontconfig says:
# under another list, those entries go and Wine enters the fonts it finds.
if [ -n "${FONTCONFIG_FILE:-}" ]; then
    sed -i '/^"[^"]*"="Z:\\\\/d' "$WINEPREFIX/user.reg" "$WINEPREFIX/system.reg"
fi

# Read once, when the prefix's first program starts; a later section of the
# same key overrides the values of the one wineboot wrote.
case "${LUNKO_COLOURS:-}" in
'') ;;
high-contrast-black)
    {
        printf '\n[Control Panel\\\\Colors] 1700000000\n'
        for pair in ActiveBorder=0_0_0 ActiveTitle=0_0_0 AppWorkSpace=0_0_0 Background=0_0_0 \
                ButtonAlternateFace=192_192_192 ButtonDkShadow=255_255_255 ButtonFace=0_0_0 \
                ButtonHilight=255_255_255 ButtonLight=192_192_192 ButtonShadow=128_128_128 \
                ButtonText=255_255_255 GradientActiveTitle=0_0_0 GradientInactiveTitle=0_0_0 \
                GrayText=63_242_63 Hilight=26_235_255 HilightText=0_0_0 HotTrackingColor=255_255_0 \
                InactiveBorder=0_0_0 InactiveTitle=0_0_0 InactiveTitleText=63_242_63 \
                InfoText=255_255_255 InfoWindow=0_0_0 Menu=0_0_0 MenuBar=0_0_0 \
                MenuHilight=26_235_255 MenuText=255_255_255 Scrollbar=0_0_0 TitleText=255_255_255 \
                Window=0_0_0 WindowFrame=255_255_255 WindowText=255_255_255; do
            value=${pair#*=}
            printf '"%s"="%s"\n' "${pair%%=*}" "${value//_/ }"
        done
    } >> "$WINEPREFIX/user.reg" ;;
*)
    echo "wine-run.sh: unknown LUNKO_COLOURS scheme '$LUNKO_COLOURS'" >&2
    exit 2 ;;
esac

# A later section of the key overrides the value wineboot wrote, as above.
if [ -n "${LUNKO_DPI:-}" ]; then
    case $LUNKO_DPI in
    *[!0-9]*) echo "wine-run.sh: LUNKO_DPI '$LUNKO_DPI' is no number" >&2; exit 2 ;;
    esac
    printf '\n[Control Panel\\\\Desktop] 1700000000\n"LogPixels"=dword:%08x\n' "$LUNKO_DPI" \
        >> "$WINEPREFIX/user.reg"
fi

locale_env=()
if [ -n "${LUNKO_LOCALE:-}" ]; then
    ensure_locale "$LUNKO_LOCALE"
    locale_env=(LOCPATH="$cache" LANG="$LUNKO_LOCALE.UTF-8" LC_ALL="$LUNKO_LOCALE.UTF-8")
fi

as_user=()
if [ -n "${LUNKO_USER:-}" ]; then
    chown -R "$LUNKO_USER:$LUNKO_USER" "$run"
    as_user=(setpriv --reuid="$LUNKO_USER" --regid="$LUNKO_USER" --clear-groups)
fi

for item in ${LUNKO_FOREIGN:-}; do
    path=$WINEPREFIX/drive_c/${item%/}
    "${as_user[@]}" mkdir -p "$(dirname "$path")"
    if [ "$item" != "${item%/}" ]; then
        mkdir -p -m 0555 "$path"
    else
        printf 'Left here by another user.\r\n' > "$path" && chmod 0444 "$path"
    fi
done

# Windows' own drive roots let no one but Administrators and SYSTEM remove
# what is on them, and the installer refuses a folder on a drive whose root
# lets others. Wine reads a list back from the Unix mode, a writable root as
# granting the prefix's user the right to delete what it holds. Root's
# programs still write there; an unprivileged run keeps a writable root to
# make its own folders in, unless it meets another user's files as a system
# is found (LUNKO_FOREIGN, which makes what it needs first).
if [ -z "${LUNKO_USER:-}" ] || [ -n "${LUNKO_FOREIGN:-}" ]; then
    chmod a-w "$WINEPREFIX/drive_c"
fi

small_mount=
if [ -n "${LUNKO_SMALL_DRIVE:-}" ]; then
    letter=${LUNKO_SMALL_DRIVE%%:*}
    mkdir -p "$run/small"
    if mount -t tmpfs -o "size=${LUNKO_SMALL_DRIVE#*:},mode=0555" tmpfs "$run/small" 2>"$run/mount.err"; then
        small_mount=$run/small
        ln -sfn "$run/small" "$WINEPREFIX/dosdevices/$letter:"
    else
        export LUNKO_SMALL_DRIVE_UNAVAILABLE="mount: $(head -c 200 "$run/mount.err")"
    fi
fi

# Xvfb picks a free display itself and reports it on the pipe. The screen is
# larger than the wizard needs: a notice naming a long path is wider than
# 1024 pixels, and a picture of it must show it whole.
xvfb_fifo=$run/display
mkfifo "$xvfb_fifo"
Xvfb -displayfd 6 -screen 0 1600x1200x24 -nolisten tcp 6>"$xvfb_fifo" >/dev/null 2>&1 &
xvfb_pid=$!
read -r display < "$xvfb_fifo"
export DISPLAY=:$display

cleanup() {
    WINEPREFIX=$run/prefix "${as_user[@]}" wineserver -k >/dev/null 2>&1
    local server_root
    server_root=$(cat "$run/prefix/wineserver" 2>/dev/null)
    case "$server_root" in wine-?*) rm -rf "/tmp/$server_root" ;; esac
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    [ -z "$small_mount" ] || umount "$small_mount"
    [ "$keep" = 1 ] || rm -rf "$run"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

env "${locale_env[@]}" "${as_user[@]}" wine "$@"
rc=$?
# A Windows program that faults ends through Wine's debugger with an exit code
# of its own (winedbg --auto, then 84 or 3), never by a Unix signal. Death by
# SIGSEGV, SIGBUS or SIGILL is Wine's own process failing: seen once in a CI
# run of the whole suite, after the program had printed its last line. Run it
# once more from a fresh prefix and say so, rather than fail on Wine's fault.
case $rc in
132|135|139)
    if [ -z "${LUNKO_WINE_RERUN:-}" ]; then
        echo "wine-run.sh: Wine itself died of signal $((rc - 128)); running the program once more in a fresh prefix" >&2
        cleanup
        trap - EXIT
        LUNKO_WINE_RERUN=1 exec bash "$0" "$@"
    fi ;;
esac
exit $rc
