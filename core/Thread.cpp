#include "core/Thread.h"

#include "core/SeException.h"

#include <system_error>
#include <thread>

bool BeginThread(std::function<void()> work, bool installTranslator)
{
    try {
        std::thread([work = std::move(work), installTranslator]() {
            if (installTranslator)
                InstallSeTranslator();
            work();
        }).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}
