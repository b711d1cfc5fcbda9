#!/usr/bin/env bash
# The real window under Xvfb, driven with xdotool: a mouse stroke must wipe the steam along its
# path. With "fingers" as the second argument the mouse arrives as touch fingers instead.
# Usage: window_test.sh BRUMELO [fingers]
set -u
brumelo=$1
mode=${2:-mouse}
for tool in Xvfb xdotool import convert; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
# Every wait below is for something to happen, up to one deadline that only a stuck run reaches:
# on a busy machine the window may take many seconds to show its first frame.
deadline=$((SECONDS + 150))
in_time() { [ $SECONDS -lt $deadline ]; }
work=$(mktemp -d)
cleanup() {
  [ -n "${prog:-}" ] && kill "$prog" 2>/dev/null
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Let Xvfb pick a free display and tell us which.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 800x1000x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
while in_time && ! [ -s "$work/display" ]; do sleep 0.1; done
[ -s "$work/display" ] || { echo "SKIP: Xvfb did not start"; cat "$work/xvfb.log"; exit 77; }
export DISPLAY=:$(head -n1 "$work/display")
unset WAYLAND_DISPLAY
[ "$mode" = fingers ] && export SDL_MOUSE_TOUCH_EVENTS=1

mkdir "$work/data"
touch "$work/data/Recording.caf"  # not a first run: no menu over the glass
# The classic look's thin trails change the far band little (two droplets that run through it
# while the stroke is made change it by about 0.04); the choice is kept in a folder of this
# run's own.
export XDG_CONFIG_HOME="$work/config"
"$brumelo" --scale 1 --seed 3 --data-dir "$work/data" --look classic >"$work/out.log" 2>&1 &
prog=$!
wid=$(timeout $((deadline - SECONDS)) xdotool search --sync --name '^Brumelo$' | head -n1)
[ -n "$wid" ] || { echo "FAIL: no window"; cat "$work/out.log"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$wid")"

band() {  # file x y w h -> mean brightness 0..1
  convert "$1" -crop "$4x$5+$(($X + $2))+$(($Y + $3))" -format '%[fx:mean]' info:
}
# The window is black until the program's first frame reaches it.
drawn() {
  import -window root "$work/before.png" &&
    awk -v m="$(band "$work/before.png" 0 0 "$WIDTH" "$HEIGHT")" 'BEGIN { exit !(m > 0.1) }'
}
until drawn; do
  in_time || { echo "FAIL: the window never showed a frame"; cat "$work/out.log"; exit 1; }
  sleep 0.2
done
xdotool mousemove $((X + 40)) $((Y + 100)) mousedown 1
for i in $(seq 1 24); do
  xdotool mousemove $((X + 40 + i * 10)) $((Y + 100))
  sleep 0.02
done
xdotool mouseup 1

# The stroke reaches the screen when the program has drawn it.
stroke_before=$(band "$work/before.png" 60 95 200 10)
while :; do
  import -window root "$work/after.png"
  stroke_after=$(band "$work/after.png" 60 95 200 10)
  awk -v sb="$stroke_before" -v sa="$stroke_after" 'BEGIN { exit !(sb - sa > 0.15) }' && break
  in_time || break
  sleep 0.2
done
away_before=$(band "$work/before.png" 60 440 200 10)
away_after=$(band "$work/after.png" 60 440 200 10)
echo "stroke band: $stroke_before -> $stroke_after; far band: $away_before -> $away_after"
ok=$(awk -v sb="$stroke_before" -v sa="$stroke_after" -v ab="$away_before" -v aa="$away_after" \
  'BEGIN { d = sa - ab; if (d < 0) d = -d; e = aa - ab; if (e < 0) e = -e;
           print (sb - sa > 0.15 && e < 0.1) ? "yes" : "no" }')

# Resized to a tall phone's shape the window is all pane: no black above or below the picture
# (before, a 320 x 480 picture letterboxed in it left a bar of some 80 pixels each side).
xdotool windowmove "$wid" 0 0 windowsize "$wid" 390 844
edge() {  # file gravity -> mean brightness of the three rows on that side
  convert "$1" -gravity "$2" -crop 390x3+0+0 +repage -format '%[fx:mean]' info:
}
tall=no
while in_time; do
  import -window "$wid" "$work/tall.png"
  if [ "$(identify -format '%h' "$work/tall.png")" -gt 700 ] &&
     awk -v t="$(edge "$work/tall.png" north)" -v b="$(edge "$work/tall.png" south)" \
       'BEGIN { exit !(t > 0.3 && b > 0.3) }'; then
    tall=yes
    break
  fi
  sleep 0.2
done
echo "tall window: $(identify -format '%wx%h' "$work/tall.png"), edges $(edge "$work/tall.png" north) $(edge "$work/tall.png" south)"

# L switches to the glass look and remembers it.
xdotool key l
settings=$XDG_CONFIG_HOME/brumelo/settings.ini
while in_time && ! grep -qs 'look = glass' "$settings"; do sleep 0.1; done
xdotool key Escape
while in_time && kill -0 "$prog" 2>/dev/null; do sleep 0.1; done
if kill -0 "$prog" 2>/dev/null; then echo "FAIL: Esc did not quit"; exit 1; fi
wait "$prog"
status=$?
prog=
cat "$work/out.log"
[ "$status" -eq 0 ] || { echo "FAIL: exit status $status"; exit 1; }
[ "$ok" = yes ] || { echo "FAIL: the stroke did not wipe its path only"; exit 1; }
[ "$tall" = yes ] || { echo "FAIL: a tall window shows bars above and below the picture"; exit 1; }
grep -q 'look = glass' "$settings" ||
  { echo "FAIL: L did not switch to the glass look and keep it"; exit 1; }
echo "PASS ($mode)"
