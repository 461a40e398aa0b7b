// Preloaded into the server by tests: holds every PAPPL job thread for a moment before
// the job starts, so that a Cancel-Job surely lands between PAPPL choosing the job and
// starting it, as it does by chance on a busy machine.
#include <dlfcn.h>
#include <unistd.h>

extern "C" void* kvDelayedJobProcess(void* job) __asm__("_papplJobProcess");

extern "C" void* kvDelayedJobProcess(void* job) {
    using Process = void* (*)(void*);
    static const Process process = reinterpret_cast<Process>(dlsym(RTLD_NEXT, "_papplJobProcess"));
    usleep(1500 * 1000);
    return process(job);
}
