#!/usr/bin/env bash
# The whole program against one fault of its surroundings. Each must give one clear line, a
# sensible exit status, and leave no half-written file and no lost one.
# Usage: fault_test.sh CASE BRUMELO RESOURCES
#   CASE: readonly-data full-disk background-folder empty-files accel-garbage no-sound
# Exits 77 (skipped) when this machine cannot stage the fault, saying why.
set -u
case_=$1
brumelo=$2
resources=$3
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
chmod 755 "$work"

fail() { echo "FAIL: $*"; echo "--- output:"; cat "$work/out.log"; exit 1; }
skip() { echo "SKIP: $*"; exit 77; }
# once PATTERN: the output holds exactly one line matching it.
once() {
  local n
  n=$(grep -cE "$1" "$work/out.log")
  [ "$n" -eq 1 ] || fail "expected one line matching '$1', found $n"
}
same() { cmp -s "$1" "$2" || fail "$1 changed"; }
# only DIR NAME...: DIR holds these entries and nothing else (no temporary or partial files).
only() {
  local dir=$1; shift
  local have want
  have=$(ls -A "$dir" | sort | tr '\n' ' ')
  want=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
  [ "$have" = "$want" ] || fail "$dir holds '$have', expected '$want'"
}
is_png() { [ "$(head -c 4 "$1" | od -An -c | tr -d ' ')" = "211PNG" ] || fail "$1 is not a PNG"; }
run() {  # COMMAND...: runs it, keeps its output in out.log and shows it; sets status
  "$@" >"$work/out.log" 2>&1
  status=$?
  cat "$work/out.log"
}

data=$work/data
mkdir -p "$data" "$work/pictures"
common=(--headless --data-dir "$data" --pictures-dir "$work/pictures")
printf '1 button 0\n3 pick %s\n' "$resources/back1.png" >"$work/pick.script"

case $case_ in
readonly-data)
  # Root writes through any file mode, so a read-only mount stands in where one can be made; else
  # an unprivileged user meets the folder's mode.
  cp "$resources/Droplet1.png" "$data/CustomBG.png"
  args=("${common[@]}" --frames 6 --script "$work/pick.script")
  if [ "$(id -u)" -ne 0 ]; then
    chmod a-w "$data"
    run "$brumelo" "${args[@]}"
  elif unshare -m true 2>/dev/null; then
    run unshare -m sh -c 'mount --bind "$0" "$0" && mount -o remount,bind,ro "$0" && exec "$@"' \
      "$data" "$brumelo" "${args[@]}"
  elif setpriv --reuid=nobody --regid=nogroup --clear-groups test -x "$brumelo" 2>/dev/null; then
    chmod 555 "$data"
    chmod 777 "$work/pictures"
    chmod o+r "$work/pick.script"
    run setpriv --reuid=nobody --regid=nogroup --clear-groups "$brumelo" "${args[@]}"
  else
    skip "root here can neither mount a read-only folder nor run as an unprivileged user"
  fi
  [ "$status" -eq 0 ] || fail "exit status $status"
  once 'background: not stored: .*(Read-only file system|Permission denied)'
  same "$data/CustomBG.png" "$resources/Droplet1.png"
  only "$data" CustomBG.png
  ;;

full-disk)
  # A small file system of our own in a mount namespace, filled before the program starts; what
  # is left in it is noted before the namespace goes.
  if unshare -m true 2>/dev/null; then
    namespace=(unshare -m)
  elif unshare -rm true 2>/dev/null; then
    namespace=(unshare -rm)
  else
    skip "no mount namespace here to mount a small tmpfs in"
  fi
  cp "$resources/Droplet2.png" "$work/old-shot.png"
  inside='mount -t tmpfs -o size=256k tmpfs "$D" || exit 90
    cp "$OLD_BG" "$D/CustomBG.png" && cp "$OLD_SHOT" "$D/last.png" || exit 91
    dd if=/dev/zero of="$D/filler" bs=4k 2>/dev/null
    "$@"
    status=$?
    cd "$D" && { sha1sum CustomBG.png last.png; ls -A | sort | tr "\n" " "; } >"$WORK/after"
    exit $status'
  D=$data OLD_BG=$resources/Droplet1.png OLD_SHOT=$work/old-shot.png WORK=$work \
    run "${namespace[@]}" sh -c "$inside" sh "$brumelo" "${common[@]}" --frames 10 \
    --mic-file "$resources/sound3.caf" --script "$work/pick.script" --screenshot "$data/last.png"
  [ "$status" -eq 90 ] && skip "a tmpfs cannot be mounted here"
  # The last frame could not be written: a failure, said so.
  [ "$status" -eq 1 ] || fail "exit status $status (expected 1)"
  once 'background: not stored: .*No space left on device'
  once 'screenshot .*last.png: cannot write .*No space left on device'
  [ "$(sed -n 1p "$work/after" | cut -d' ' -f1)" = "$(sha1sum <"$resources/Droplet1.png" | cut -d' ' -f1)" ] ||
    fail "the stored background changed"
  [ "$(sed -n 2p "$work/after" | cut -d' ' -f1)" = "$(sha1sum <"$work/old-shot.png" | cut -d' ' -f1)" ] ||
    fail "the old screenshot changed"
  [ "$(sed -n 3p "$work/after")" = "CustomBG.png Recording.caf filler last.png " ] ||
    fail "left in the full folder: $(sed -n 3p "$work/after")"
  ;;

background-folder)
  mkdir "$data/CustomBG.png"
  echo keep >"$data/CustomBG.png/inside"
  run "$brumelo" "${common[@]}" --frames 6 --script "$work/pick.script"
  [ "$status" -eq 0 ] || fail "exit status $status"
  once 'background: cannot show .*CustomBG.png .*not a regular file'
  once 'background: not stored: .*CustomBG.png: Is a directory'
  [ "$(cat "$data/CustomBG.png/inside")" = keep ] || fail "the folder's content is gone"
  # The glass look's own copy, beside it, was stored.
  only "$data" CustomBG-dense.png CustomBG.png Recording.caf
  ;;

empty-files)
  : >"$data/CustomBG.png"
  : >"$work/empty.wav"
  : >"$work/empty.png"
  printf '1 button 0\n3 pick %s\n5 pick %s\n' "$work/empty.png" "$resources/Droplet2.png" \
    >"$work/empty.script"
  run "$brumelo" "${common[@]}" --frames 8 --mic-file "$work/empty.wav" \
    --background "$work/empty.png" --script "$work/empty.script"
  [ "$status" -eq 0 ] || fail "exit status $status"
  once 'background: cannot show .*CustomBG.png \(empty picture file\)'
  once 'Cannot read the microphone file .*empty.wav'
  [ "$(grep -c 'empty.png: empty picture file' "$work/out.log")" -eq 2 ] ||
    fail "each empty picture picked should say so"
  # The good pick that followed replaced the empty stored file whole.
  is_png "$data/CustomBG.png"
  is_png "$data/CustomBG-dense.png"
  only "$data" CustomBG-dense.png CustomBG.png Recording.caf
  ;;

accel-garbage)
  iio=$work/iio:device0
  for values in 'garbage|12||x' '1e308|1e308|0|10' '0|-1000|0|1e300'; do
    rm -rf "$iio"
    mkdir "$iio"
    IFS='|' read -r x y z scale <<<"$values"
    echo "$x" >"$iio/in_accel_x_raw"
    echo "$y" >"$iio/in_accel_y_raw"
    echo "$z" >"$iio/in_accel_z_raw"
    echo "$scale" >"$iio/in_accel_scale"
    rm -f "$work/last.png"
    run "$brumelo" "${common[@]}" --frames 30 --accel-device "$iio" --screenshot "$work/last.png"
    [ "$status" -eq 0 ] || fail "exit status $status with values $values"
    once "accelerometer: .*iio:device0 cannot be read, trying others"
    is_png "$work/last.png"
  done
  ;;

no-sound)
  export ALSOFT_DRIVERS=nosuchdriver SDL_AUDIODRIVER=nosuchdriver
  run "$brumelo" "${common[@]}" --frames 30 --mic-file "$resources/sound3.caf" \
    --screenshot "$work/last.png"
  [ "$status" -eq 0 ] || fail "exit status $status"
  once 'No sound output device: running silent'
  is_png "$work/last.png"
  # With a display, the microphone is a capture device, and there is none either.
  if command -v Xvfb >/dev/null; then
    exec 3>"$work/display"
    Xvfb -displayfd 3 -screen 0 640x960x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb=$!
    trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
    # Waits are for something to happen, up to a deadline only a stuck run reaches.
    deadline=$((SECONDS + 150))
    while [ $SECONDS -lt $deadline ] && ! [ -s "$work/display" ]; do sleep 0.1; done
    if [ -s "$work/display" ]; then
      rm -f "$work/last.png"
      DISPLAY=":$(head -n1 "$work/display")" "$brumelo" --data-dir "$data" \
        --pictures-dir "$work/pictures" --screenshot "$work/last.png" >"$work/out.log" 2>&1 &
      prog=$!
      # Once the microphone has been looked for, the window is up and SDL turns the signal into
      # a request to quit: a clean end.
      while [ $SECONDS -lt $deadline ] && kill -0 $prog 2>/dev/null &&
        ! grep -q 'No microphone' "$work/out.log"; do sleep 0.1; done
      kill -TERM $prog 2>/dev/null
      while [ $SECONDS -lt $deadline ] && kill -0 $prog 2>/dev/null; do sleep 0.1; done
      kill -KILL $prog 2>/dev/null
      wait $prog
      status=$?
      cat "$work/out.log"
      [ "$status" -eq 0 ] || fail "exit status $status in a window"
      once 'No sound output device: running silent'
      once 'No microphone, running without one'
      is_png "$work/last.png"
    fi
  fi
  ;;

*)
  echo "fault_test.sh: unknown case $case_"
  exit 2
  ;;
esac
echo PASS
