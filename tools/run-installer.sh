#!/bin/bash
# Sets up the machine, builds the installer from the demo payload (or from
# LUNKO_PAYLOAD_DIR) and starts it under Wine: on the current display when
# there is one, otherwise on a private Xvfb display. Either way a picture of
# the wizard is saved and its path printed.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

bash "$root/tools/setup-debian.sh"
cmake -S "$root" -B "$build" ${LUNKO_PAYLOAD_DIR:+-DLUNKO_PAYLOAD_DIR="$LUNKO_PAYLOAD_DIR"}
cmake --build "$build" -j"$(nproc)" --target installer driver_command

installer=$build/LunkoSetup.exe
shot=$build/screenshots/wizard.png
mkdir -p "$build/screenshots" "$build/wine"

# A prefix of its own, with HOME inside it, so that nothing of the trial run
# (desktop shortcuts, registry) reaches the real home folder.
export WINEPREFIX=$build/wine/trial-prefix HOME=$build/wine/trial-home
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
mkdir -p "$HOME"
if [ ! -d "$WINEPREFIX" ]; then
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    # Debian's Wine never looks in /usr/share/wine/fonts for its own fonts.
    cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
fi
# The Wine session started above has no display; the installer must start a
# new one on the display chosen below.
wineserver -w

xvfb_pid=
if [ -z "${DISPLAY:-}" ]; then
    # Xvfb picks a free display itself and reports it on the pipe.
    fifo=$build/wine/display.fifo
    rm -f "$fifo" && mkfifo "$fifo"
    Xvfb -displayfd 6 -screen 0 1024x768x24 -nolisten tcp 6>"$fifo" >/dev/null 2>&1 &
    xvfb_pid=$!
    read -r display < "$fifo"
    rm -f "$fifo"
    export DISPLAY=:$display
    close=--close
    echo "No display: the installer runs on the private display $DISPLAY."
else
    close=
fi

wine "$installer" &
installer_pid=$!
if wine "$build/tests/driver.exe" capture "Lunkovan Zavav Irazaz Installer" "$shot" $close; then
    echo "The wizard as it first appears: $shot"
fi
wait "$installer_pid" || true
wineserver -k 2>/dev/null || true
[ -z "$xvfb_pid" ] || kill "$xvfb_pid"
echo "The installer: $installer"
