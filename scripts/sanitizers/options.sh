# Sanitizer run-time options for the test suite and the soaks; sourced by scripts/test-sanitized and
# scripts/soak. The suppression files beside this one say why each entry is there.
supp=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# halt_on_error: the first report ends the process, so it cannot pass unnoticed.
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:suppressions=$supp/ubsan.supp
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1
export LSAN_OPTIONS=suppressions=$supp/lsan.supp:print_suppressions=0
# die_after_fork=0: the fixtures fork the multi-threaded test process to start icecast, ffmpeg and
# other tools (directly, or through QProcess: tests/support/sanitizers/ForkStyleClone.cpp), and the
# child only calls exec.
# report_signal_unsafe=0: the program's only signal handler is the fault translator, which leaves a
# processor fault's handler by throwing a C++ exception on purpose; ThreadSanitizer cannot follow a
# handler left that way and takes every later allocation of that thread for one inside the handler.
# history_size=5 (1M accesses a thread, the default remembers 128K): the suppressions name the posting
# side of a hand-over through Qt's event queue; on a loaded machine the receiver may read a message so
# long after it was posted that the default history no longer holds the posting stack, and the report
# then shows "failed to restore the stack" and escapes its suppression.
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:report_signal_unsafe=0:history_size=5:suppressions=$supp/tsan.supp:print_suppressions=0
# No real sound device: SDL's dummy driver consumes sound at its real rate.
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
