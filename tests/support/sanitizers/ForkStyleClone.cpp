// Linked into the test programs of the ThreadSanitizer build only (tests/CMakeLists.txt).
//
// QProcess starts a child with clone(CLONE_VM | CLONE_VFORK): the child runs on the parent's memory
// until it calls exec. The thread sanitizer's clone interceptor does its after-fork bookkeeping in the
// child, and with CLONE_VM that bookkeeping lands in the state of the parent's thread: it marks the
// thread as one to ignore after a multi-threaded fork. From then on the sanitizer sees none of that
// thread's locks or atomics, and every hand-over between it and another thread reads as a data race.
//
// Without CLONE_VM the child works on a copy of the memory, as after fork(), which the sanitizer
// follows; CLONE_VFORK still holds the parent until the child has called exec or exited.
#if defined(__SANITIZE_THREAD__)

#include <cstdarg>
#include <dlfcn.h>
#include <sched.h>
#include <sys/types.h>

extern "C" int clone(int (*function)(void*), void* stack, int flags, void* argument, ...)
{
    // The optional arguments, as the C library reads them: parent's id slot, thread storage, child's
    // id slot. Passing all three on is what the C library's own callers do.
    va_list rest;
    va_start(rest, argument);
    pid_t* parentTid = va_arg(rest, pid_t*);
    void* tls = va_arg(rest, void*);
    pid_t* childTid = va_arg(rest, pid_t*);
    va_end(rest);

    using Clone = int (*)(int (*)(void*), void*, int, void*, ...);
    static const auto next = reinterpret_cast<Clone>(dlsym(RTLD_NEXT, "clone"));
    if ((flags & CLONE_VM) && (flags & CLONE_VFORK))
        flags &= ~CLONE_VM;
    return next(function, stack, flags, argument, parentTid, tls, childTid);
}

#endif
