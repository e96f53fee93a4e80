#include "platform/phases.h"

#ifdef PLR_THREAD_CHECKS

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

struct Note {
    PlrPhase phase;
    long long micros;
};

// Enough for every step of a few thousand switches; later notes are dropped.
constexpr unsigned kNotes = 1u << 16;
Note g_notes[kNotes];
std::atomic<unsigned> g_noteCount{0};
const auto g_start = std::chrono::steady_clock::now();

const char *phaseName(PlrPhase phase) {
    static const char *const names[] = {"hotkey",         "enumerated",   "icons_asked", "discovered",
                                        "pruned",         "refreshed",    "thread_started", "command_done",
                                        "dialog_init",    "plan_built",   "images_ready", "tree_filled",
                                        "dialog_shown",   "alt_released", "switch_ended"};
    static_assert(sizeof(names) / sizeof(names[0]) == static_cast<unsigned>(PlrPhase::Count), "a name per phase");
    return names[static_cast<unsigned>(phase)];
}

}  // namespace

void notePhase(PlrPhase phase) noexcept {
    const unsigned index = g_noteCount.fetch_add(1, std::memory_order_relaxed);
    if (index >= kNotes) return;
    const auto now = std::chrono::steady_clock::now();
    g_notes[index] = {phase, std::chrono::duration_cast<std::chrono::microseconds>(now - g_start).count()};
}

void writePhaseTimings() noexcept {
    const char *path = std::getenv("PLR_PHASE_TIMING_FILE");
    if (path == nullptr || *path == '\0') return;
    std::FILE *file = std::fopen(path, "w");
    if (file == nullptr) return;
    unsigned count = g_noteCount.load();
    if (count > kNotes) count = kNotes;
    for (unsigned i = 0; i < count; ++i)
        std::fprintf(file, "%s %lld\n", phaseName(g_notes[i].phase), g_notes[i].micros);
    std::fclose(file);
}

#endif
