#include "platform/unexpected_end.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "platform/bus.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace rd::unexpected {

namespace {

std::atomic<uint32_t> wrapper{0};

}  // namespace

void SetWrapper(uint32_t threadId) {
    wrapper = threadId;
}

void End(const std::string& what) {
    std::fprintf(stderr, "redodori: an unexpected error ended the program: %s\n",
                 text::EscapeControls(what).c_str());
    if (const uint32_t threadId = wrapper)
        bus::PostToThread(threadId, {msg::WM_QUIT, 0, 3});
    std::fflush(nullptr);
    _exit(1);
}

}  // namespace rd::unexpected
