#include "platform/font_warm_up.h"

#include <fontconfig/fontconfig.h>

#include <thread>

namespace kv::platform {

namespace {

struct WarmUp {
    std::thread thread;
    // A program that ends before its first text still waits for the thread here.
    ~WarmUp() {
        if (thread.joinable())
            thread.join();
    }
};

WarmUp& warmUp() {
    static WarmUp instance;
    return instance;
}

} // namespace

void startFontWarmUp() {
    WarmUp& w = warmUp();
    if (!w.thread.joinable())
        w.thread = std::thread([] { FcInit(); });
}

void finishFontWarmUp() {
    WarmUp& w = warmUp();
    if (w.thread.joinable())
        w.thread.join();
}

} // namespace kv::platform
