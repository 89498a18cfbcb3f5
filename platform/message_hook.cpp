#include "platform/message_hook.h"

#include <cstdio>
#include <mutex>

namespace korvo {
namespace {

std::mutex& HookMutex() {
    static std::mutex m;
    return m;
}

MessageHook& CurrentHook() {
    static MessageHook hook;
    return hook;
}

}  // namespace

MessageHook SetMessageHook(MessageHook hook) {
    std::lock_guard<std::mutex> lock(HookMutex());
    MessageHook previous = std::move(CurrentHook());
    CurrentHook() = std::move(hook);
    return previous;
}

void ShowMessage(const std::string& text) {
    MessageHook hook;
    {
        std::lock_guard<std::mutex> lock(HookMutex());
        hook = CurrentHook();
    }
    // Called outside the lock so that a hook may show a modal box or install another hook.
    if (hook) {
        hook(text);
        return;
    }
    std::fprintf(stderr, "%s\n", text.c_str());
}

}  // namespace korvo
