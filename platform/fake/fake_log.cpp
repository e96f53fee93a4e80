#include "platform/fake/fake_log.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "log/log.h"
#include "platform/desktop.h"

namespace {

std::mutex &captureMutex() {
    static std::mutex m;
    return m;
}

std::atomic<std::size_t> g_localSlack{0};
std::atomic<bool> g_localFails{false};
std::atomic<int> g_localBlocks{0};

// Each block carries its usable size in front of the caller's bytes.
struct alignas(std::max_align_t) LocalHeader {
    std::size_t size;
};

}  // namespace

std::vector<std::u16string> &capturedLogLines() {
    static std::vector<std::u16string> lines;
    return lines;
}

void clearCapturedLogLines() {
    std::lock_guard<std::mutex> lock(captureMutex());
    capturedLogLines().clear();
}

// Any thread may log (the switcher thread does); the capture is serialised.
void logWriteLine(const plr_char *line) {
    std::lock_guard<std::mutex> lock(captureMutex());
    capturedLogLines().emplace_back(line != nullptr ? line : u"");
}

void setFakeLocalAllocSlack(std::size_t slackBytes) { g_localSlack = slackBytes; }
void setFakeLocalAllocFails(bool fail) { g_localFails = fail; }
void resetFakeLocalMemory() {
    g_localSlack = 0;
    g_localFails = false;
}
int fakeLocalBlocksInUse() { return g_localBlocks; }

namespace desk {

void *localAlloc(std::size_t bytes) {
    if (g_localFails) return nullptr;
    const std::size_t size = bytes + g_localSlack;
    if (size < bytes || size > static_cast<std::size_t>(-1) - sizeof(LocalHeader)) return nullptr;
    void *raw = std::calloc(1, sizeof(LocalHeader) + size);
    if (raw == nullptr) return nullptr;
    static_cast<LocalHeader *>(raw)->size = size;
    ++g_localBlocks;
    return static_cast<LocalHeader *>(raw) + 1;
}

std::size_t localSize(void *block) {
    if (block == nullptr) return 0;
    return (static_cast<LocalHeader *>(block) - 1)->size;
}

void localFree(void *block) {
    if (block == nullptr) return;
    --g_localBlocks;
    std::free(static_cast<LocalHeader *>(block) - 1);
}

}  // namespace desk
