#!/bin/sh
# compare_demo.sh FIXED_FUNCTION_PROGRAM LAYER_PROGRAM SCRIPT FOLDER
# Runs the seeded script through both programs and compares their last frames: at most 0.5 % of
# the pixels may differ by more than 3 % (the two rasterise the edges of points a little
# differently).
set -u
es1=$1 es2=$2 script=$3 d=$4
rm -rf "$d" && mkdir -p "$d/es1" "$d/es2" || exit 1
"$es1" --headless --seed 1 --data-dir "$d/es1" --script "$script" --screenshot "$d/es1.png" \
    >"$d/es1.log" 2>&1 || { cat "$d/es1.log"; exit 1; }
BRUMELO_GL_LAYER_COUNTERS=1 "$es2" --headless --seed 1 --data-dir "$d/es2" --script "$script" \
    --screenshot "$d/es2.png" >"$d/es2.log" 2>&1 || { cat "$d/es2.log"; exit 1; }
grep '^GL layer' "$d/es2.log"
n=$(compare -metric AE -fuzz 3% "$d/es1.png" "$d/es2.png" "$d/difference.png" 2>&1)
echo "$n of 153600 pixels differ by more than 3% (RMSE $(compare -metric RMSE "$d/es1.png" "$d/es2.png" null: 2>&1))"
[ "$n" -le 768 ]
