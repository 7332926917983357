#pragma once

// The desktop's session bus, as this program looks for it: only where the session says it is, never
// started on the program's behalf.

// Whether a session bus can be reached without starting one: its address is given, or the user's bus
// listens in the runtime folder.
bool SessionBusKnown();

// When no session bus is known, tells the bus library (which Qt's tray icon and accessibility and the
// sound library each open on their own) that there is none. Left alone, it would start a bus of its own:
// it forks the program to run a launcher, which leaves a bus daemon behind when the program ends, and
// the forked copy allocates memory before it becomes the launcher, which in a copy of a program with
// threads may wait forever for a lock that another thread held at the fork. Call before the program
// starts its first thread.
void DeclineSessionBusStart();
