#!/usr/bin/env bash
# A firmware in the loop: the README's main loop, built for an emulated board with that board's
# own UART and clock (examples/, ports/boards/<board>), runs under QEMU with its UART on
# ft847-emulator's pseudo-terminal.
#   firmware_in_the_loop_test.sh EMULATOR CONSOLE LINE-SPEED QEMU ARGS...
# CONSOLE is where the firmware's console goes: "uart" (a second UART, to a file) or
# "semihosting" (QEMU's standard error). LINE-SPEED is "uart" where QEMU's model of the UART
# sets the terminal's speed as the firmware programs it, or "host" where it leaves it at QEMU's
# 115200 bps: QEMU then starts stopped, the test sets the terminal to the rate the firmware
# opens the UART at (4800 bps, which the console's INIT line confirms), and QEMU runs on.
# QEMU ARGS... name the board and the image, and this script adds the radio's pseudo-terminal
# as the first serial port.
#
# The driver connects and reads both VFOs, and the main loop's poll reports the SAT RX VFO. The
# radio switched off, the next poll times out; switched on at once, the driver reconnects within
# the reconnection bound: 6605 + D ms for a loop that updates at least once a millisecond, D
# being the wire time of the read frame and its reply (10 bytes of 11 bits at 4800 bps) plus the
# emulator's 5 ms latency, 28 ms rounded up.
source "$(dirname "$0")/lib.sh" "$1" ""
console_kind=$2
line_speed=$3
shift 3
bound_ms=6633

ms_now() { echo $((${EPOCHREALTIME/./} / 1000)); }

start_emulator radio --log-frames
case $console_kind in
    uart)
        console=$work/console.out
        console_args=(-serial "file:$console")
        ;;
    semihosting)
        console=$work/qemu.err
        console_args=(-semihosting-config enable=on,target=native)
        ;;
    *) fail "console '$console_kind' is neither uart nor semihosting" ;;
esac
touch "$console"
case $line_speed in
    uart)
        start_program qemu "$@" -display none -monitor none -nic none -serial "$pty_radio" \
            "${console_args[@]}"
        ;;
    host)
        # QEMU's monitor on a pair of FIFOs, the one it reads held open like the emulator's.
        mkfifo "$work/monitor.in" "$work/monitor.out"
        exec {monitor}<>"$work/monitor.in"
        exec {monitor_out}<>"$work/monitor.out"
        start_program qemu "$@" -S -display none -monitor "pipe:$work/monitor" -nic none \
            -serial "$pty_radio" "${console_args[@]}"
        # QEMU has opened the terminal, and so set its speed, once the monitor answers.
        echo info status >&"$monitor"
        answer=
        while [[ $answer != *"VM status"* ]]; do
            read -r -t 5 -u "$monitor_out" answer || fail "QEMU's monitor did not answer"
        done
        stty -F "$pty_radio" 4800
        echo cont >&"$monitor"
        ;;
    *) fail "line speed '$line_speed' is neither uart nor host" ;;
esac

# Start-up: the driver's lines on the console, formatted by the target's C library.
wait_for "$console" "[FT847 BUILD] PRESET-100MS-TONE-5" 1 5
wait_for "$console" "FT847 INIT: UART1 4800 bps, 8N2, RX=1 TX=2" 1 1
wait_for "$console" "FT847: asynchronous CAT/SAT startup scheduled" 1 1

# The handshake: CAT ON, SAT ON, the SAT RX and SAT TX reads, both answered and checked.
wait_for "$console" "FT847: CAT/SAT RX and TX reads verified; ready" 1 5
frames=$(sed -n 's/^emulator: frame \(.. .. .. .. ..\) at .*/\1/p' "$work/radio.out" | head -n 4 |
    paste -sd, -)
[ "$frames" = "00 00 00 00 00,00 00 00 00 4E,00 00 00 00 13,00 00 00 00 23" ] ||
    fail "the handshake's frames were $frames"
# The main loop polls the SAT RX VFO once a second: the emulator's is at 435.8 MHz.
wait_for "$console" "rig control: SAT RX 435800000 Hz" 1 3

# Radio off: the next poll times out, and the driver says so.
say radio off
wait_for "$console" "FT847 ERROR: Read timeout (500 ms)" 1 4
grep -q -E "^FT847 RX TIMEOUT: opcode=0x13, received=0/5, elapsed=5[0-9][0-9] ms" "$console" ||
    fail "no timeout line for the SAT RX poll"

# Radio on again at once: connected again within the bound, from the moment it came on.
on_ms=$(ms_now)
say radio on
deadline=$((SECONDS + 15))
while [ "$(count "$console" "FT847: CAT/SAT RX and TX reads verified; ready")" -lt 2 ]; do
    [ "$SECONDS" -lt "$deadline" ] || fail "no reconnection within 15 s of the radio coming on"
    sleep 0.01
done
took_ms=$(($(ms_now) - on_ms))
wait_for "$console" "FT847: retrying CAT/SAT connection" 1 1
# The radio was on before the driver's new handshake began: its first frame after "on" is CAT ON.
next=$(sed -n '/^emulator: on$/,$ s/^emulator: frame \(.. .. .. .. ..\) at .*/\1/p' \
    "$work/radio.out" | head -n 1)
[ "$next" = "00 00 00 00 00" ] || fail "the first frame after the radio came on was $next"
[ "$took_ms" -le "$bound_ms" ] ||
    fail "reconnected $took_ms ms after the radio came on, more than the bound of $bound_ms ms"
wait_for "$console" "rig control: SAT RX 435800000 Hz" 2 3

echo "PASS: the firmware connected, read both VFOs, polled, lost the radio and reconnected" \
    "$took_ms ms after it came back (bound $bound_ms ms)"
