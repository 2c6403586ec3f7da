#!/bin/sh
# The game under Wine, as the end-to-end tests and the benchmarks start it.
# exec keeps the process id all the way into the program (Wine's loader
# execs too), so the id the caller holds is the game's: its windows carry it
# as _NET_WM_PID, and kill and SIGSTOP reach the game itself.
exec wine "$SKEETRA_WINE_EXE"
