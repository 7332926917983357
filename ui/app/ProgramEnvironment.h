#pragma once

#include <cstdint>

// Settings from the environment that let a test (or a second copy of the program) run beside a user's
// instance without touching it, and without waiting for real time:
//   KAVRILUNE_SHARED_MEMORY  name of the instance lock's shared block ("/Kavrilune-<uid>")
//   KAVRILUNE_LOCK_FOLDER    folder of the instance slot and updater locks
//   KAVRILUNE_SOCKET_FOLDER  folder of the instances' sockets
//   KAVRILUNE_FADE_MS        every window fade lasts this long (0: none)
//   KAVRILUNE_CLOCK_SCALE    the program's clock runs this many times faster than real time
//   KAVRILUNE_WEB_HOST, KAVRILUNE_COUNTER_HOST, KAVRILUNE_IMAGE_HOST  the servers the program asks
// Applied once, before the main window is created.
void ApplyProgramEnvironment();

// The program's clock in seconds since 1970, for the "/duration" limit and the deferred settings save.
int64_t ProgramClockNow();
