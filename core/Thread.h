#pragma once

#include <functional>

// Starts a detached thread running work. When installTranslator is set, the thread installs the
// fault translator before anything else, so processor faults inside it become CSeException*.
// Returns false when the thread cannot be started.
bool BeginThread(std::function<void()> work, bool installTranslator);
