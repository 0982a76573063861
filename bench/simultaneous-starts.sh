#!/usr/bin/env bash
# Starts N copies of the console program at once on one fresh home, ROUNDS
# times for each N, with and without a log file already there, and counts
# the rounds that leave exactly one copy running and the give-way records
# written against the copies that gave way.
# Usage: bench/simultaneous-starts.sh [BUILD_DIR [ROUNDS [N…]]]
set -uo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
rounds="${2:-20}"
shift 2 2>/dev/null || shift $#
counts=("$@")
[ "${#counts[@]}" -gt 0 ] || counts=(2 5 10)
tuckline="$build/frontends/console/tuckline"
work=$(mktemp -d)
trap 'pkill -P $$ 2>/dev/null; rm -rf "$work"' EXIT

for log in missing existing; do
  for n in "${counts[@]}"; do
    one=0 written=0 gaveWay=0
    for round in $(seq "$rounds"); do
      home="$work/$log-$n-$round"
      "$tuckline" --home "$home" defaults write com.ferrowick.tuckline didShowIntro -bool YES
      logFile="$home/Library/Logs/Tuckline.log"
      [ "$log" = existing ] && : >"$logFile"
      pids=()
      for _ in $(seq "$n"); do "$tuckline" --home "$home" --headless & pids+=($!); done
      # Every copy that gives way does so within its first second; the one
      # that stays records its items.
      for _ in $(seq 100); do
        running=0
        for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && running=$((running + 1)); done
        [ "$running" -le 1 ] && grep -q "创建状态栏项目" "$logFile" 2>/dev/null && break
        sleep 0.1
      done
      running=0
      for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && running=$((running + 1)); done
      [ "$running" -eq 1 ] && one=$((one + 1))
      gaveWay=$((gaveWay + n - running))
      written=$((written + $(grep -o "，本实例退出" "$logFile" 2>/dev/null | wc -l)))
      kill "${pids[@]}" 2>/dev/null
      wait "${pids[@]}" 2>/dev/null
    done
    printf 'log %-8s N=%-2s  rounds with exactly one copy: %2d of %d   give-way records %3d of %3d copies that gave way\n' \
      "$log" "$n" "$one" "$rounds" "$written" "$gaveWay"
  done
done
