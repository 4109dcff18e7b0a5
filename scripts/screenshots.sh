#!/bin/sh
# Runs Velmora Connect under Xvfb against the local relay and its demo account
# (demo@velmora.example / velmora-demo), drives it with xdotool like a user, and saves
# screenshots into screenshots/:
#   01-first-screen.png      the window as it opens
#   02-login-failure.png     a wrong password: the red failure text
#   03-signed-in-groups.png  signed in, the channel-group picker open on the synchronised groups
#   03b-signed-in-account.png  the login panel scrolled to the account card
#   04-all-connected.png     all six agents connected (and 05-… scrolled to the last row)
#   06-codex-download.png    the Codex download confirmation
#   07-checked.png           "检测连接" pressed on the first two cards: neither agent is installed
#                            on this machine's login PATH, and the cards say so
# Everything runs in a private D-Bus session with its own keyring and a temporary HOME, so the
# configuration the app writes never touches your own.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
out="$root/screenshots"

if [ "${1:-}" != "--inside" ]; then
    sh scripts/setup.sh
    cmake --preset demo >/dev/null
    cmake --build --preset demo -j "$(nproc)" --target velmora-connect velmora-relay-sim security launchctl
    mkdir -p "$out"
    exec tests/support/with-keyring.sh sh "$0" --inside
fi

bin="$root/build/demo/bin"
pids=""
cleanup() {
    for pid in $pids; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT INT TERM

# A display of its own.
fifo="$XDG_RUNTIME_DIR/displayfd"
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
pids="$pids $!"
read -r display <"$fifo"
export DISPLAY=":$display"

"$bin/velmora-relay-sim" --port 8787 >/dev/null &
pids="$pids $!"
"$bin/velmora-connect" >/dev/null 2>&1 &
pids="$pids $!"

window=$(xdotool search --sync --onlyvisible --name '^Velmora Connect$' | head -n 1)
sleep 1.5 # the reveal step runs 0.2 s after launch; let the first frame settle
eval "$(xdotool getwindowgeometry --shell "$window")" # X, Y: the window's top-left corner

shot() {
    sleep "${2:-0.6}"
    import -window root -crop "1280x840+$X+$Y" +repage "$out/$1"
    echo "saved screenshots/$1"
}
# Clicks at a point given in window coordinates (device-independent pixels).
click() {
    xdotool mousemove --sync $((X + $1)) $((Y + $2)) click 1
    sleep 0.2
}
# Replaces the text of the field at (x, y).
fill() {
    click "$1" "$2"
    xdotool key ctrl+a BackSpace
    xdotool type --delay 15 "$3"
}
wheel() { # x y button(4 up, 5 down) count
    xdotool mousemove --sync $((X + $1)) $((Y + $2))
    xdotool click --repeat "$4" --delay 40 "$3"
    sleep 0.3
}

# Where the controls are, in the window at 1280 × 840.
email_x=300 email_y=513
password_x=300 password_y=603
login_x=266 login_y=675
groups_x=755 groups_y=313
setup_x=900 setup_y=600
codex_download_x=615 codex_download_y=497
row1_y=497 row2_y=717 row3_y=693 left_connect_x=816 right_connect_x=1149
check_y=483 left_check_x=833 right_check_x=1170 # "检测连接" on the first row, once connected

shot 01-first-screen.png

fill $email_x $email_y demo@velmora.example
fill $password_x $password_y wrong-password
click $login_x $login_y
shot 02-login-failure.png 1.5

fill $password_x $password_y velmora-demo
click $login_x $login_y
sleep 1.5
click $groups_x $groups_y # opens the picker on the synchronised groups
shot 03-signed-in-groups.png
xdotool key Down Return
sleep 0.3
wheel $login_x $login_y 5 10
shot 03b-signed-in-account.png
wheel $login_x $login_y 4 10

for x in $left_connect_x $right_connect_x; do
    click "$x" $row1_y
    sleep 1.5
done
for x in $left_connect_x $right_connect_x; do
    click "$x" $row2_y
    sleep 1.5
done
wheel $setup_x $setup_y 5 10 # to the end: the last row sits on the lower edge
for x in $left_connect_x $right_connect_x; do
    click "$x" $row3_y
    sleep 1.5
done
shot 05-all-connected-last-row.png
wheel $setup_x $setup_y 4 10
shot 04-all-connected.png

click $codex_download_x $codex_download_y
shot 06-codex-download.png 1
xdotool key Escape
sleep 0.5
click $left_check_x $check_y
click $right_check_x $check_y
shot 07-checked.png 4
