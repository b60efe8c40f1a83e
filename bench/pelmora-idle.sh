#!/bin/bash
# Idle CPU of the designer under Xvfb (nothing touched: only the blink),
# utime + stime over SECONDS after a 3 s settle, as percent of one core.
#   bash bench/pelmora-idle.sh [PELMORA [SECONDS]]   (default build/native/pelmora/pelmora, 20 s)
prog=${1:-build/native/pelmora/pelmora}; secs=${2:-20}
tmp=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/d" 2>/dev/null &
xpid=$!
while [ ! -s "$tmp/d" ]; do sleep 0.1; done
disp=:$(cat "$tmp/d")
DISPLAY=$disp "$prog" &
ppid=$!
sleep 3
tick=$(getconf CLK_TCK)
a=$(awk '{print $14+$15}' /proc/$ppid/stat)
sleep "$secs"
b=$(awk '{print $14+$15}' /proc/$ppid/stat)
kill $ppid; wait $ppid 2>/dev/null
kill $xpid; wait $xpid 2>/dev/null
rm -rf "$tmp"
echo "$prog: $(( b - a )) ticks of $tick/s in $secs s = $(awk -v t=$((b-a)) -v k=$tick -v s=$secs 'BEGIN{printf "%.2f", 100*t/k/s}') % of one core"
