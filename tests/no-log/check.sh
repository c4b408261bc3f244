#!/usr/bin/env bash
# The driver built with FT847_NO_LOG keeps none of the texts of its log lines; the driver built
# without it keeps every one, which shows that the search finds them.
#
# Usage: check.sh DRIVER_LIBRARY NO_LOG_DRIVER_LIBRARY
set -euo pipefail
with_log=$1
without_log=$2

texts=(
  "[FT847 BUILD] PRESET-100MS-TONE-5"
  "FT847 INIT: UART1 %lu bps, 8N2, RX=%u TX=%u"
  "FT847: asynchronous CAT/SAT startup scheduled"
  "FT847: retrying CAT/SAT connection"
  "FT847 PRESET: SAT ON sent; wait %lu ms before RX/TX settings"
  "FT847 MODE TX: %02X 00 00 00 %02X (%s)"
  "FT847 ERROR: "
  "UART write failed"
  "Read timeout (500 ms)"
  "Unexpected extra CAT response bytes"
  "Invalid BCD response"
  "Frequency read-back mismatch"
  "FT847 RX TIMEOUT: opcode=0x%02X, received=%u/5, elapsed=%lu ms"
  "FT847 MODE WARNING: %s requested=0x%02X actual=0x%02X; frequency setup continues"
  "FT847: CAT/SAT RX and TX reads verified; ready"
  "FT847 TX TONE: %.1f Hz %s"
)

failures=0
for text in "${texts[@]}"; do
  if ! grep -q -a -F -- "$text" "$with_log"; then
    echo "FAIL: not in the driver with its log: '$text'"
    failures=$((failures + 1))
  fi
  if grep -q -a -F -- "$text" "$without_log"; then
    echo "FAIL: still in the driver without its log: '$text'"
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ] || exit 1
echo "PASS: the driver without its log keeps none of its ${#texts[@]} log texts"
