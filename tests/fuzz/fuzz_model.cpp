// Fuzz target: random sequences of everything that happens to the model and
// the switcher's tree, with the model's invariants and the tree's consistency
// checked after every operation.
//
// What an operation can be:
//   - the desktop changing at any time: windows appear, close, hide, change
//     their captions, icons, owners and styles, hang or recover, and change
//     how they answer a close request (close, refuse, ask a question, hang,
//     vanish while asked); processes of several windows; the foreground;
//   - the passes and commands called directly (discovery, pruning, refresh,
//     the four navigation keys, snapshot take / restore / discard, group
//     creation and deletion);
//   - the whole hotkey path (runHotkeyPress) under the same switch life cycle
//     the main window keeps: Idle, Opening (switcher thread started), Open
//     (dialog initialised and populated); the Alt ending, the focus ending,
//     the cancel keys; switcher threads that end late, dialogs that fail;
//   - the dialog's mouse hand-offs: double and right clicks on visible items,
//     expansion records, drag begin / hover / drop, and itemDropped with a
//     source or target that has gone;
//   - everything the main thread runs while it waits on a send (a close
//     request, a WM_GETICON, the activation probe): the fake desktop's
//     during-send-wait hook runs mouse hand-offs and desktop changes right
//     there, and a discovery pass while a deleted group's applications are
//     asked to close; the endings and the dialog's initialisation that arrive
//     meanwhile are queued, as they are posted or deferred in the program.
//     (The mouse hand-offs run even where the main window would refuse them
//     during a command: the core must stay sound either way.)
//
// After every operation: the model's invariants; the selected window inside
// the selected group's subtree; every item handle a record holds names a live
// item, under its group's item, with the right marker; no message named a
// missing item; no message went to a dialog without a tree; no process
// handle, bitmap or image list leaked; and, while a dialog is open, its tree
// equals a fresh population of the model. Items keep the text and picture
// they were inserted with, so those are compared until the desktop or a
// refresh pass changes the records; records that got no item while the
// dialog is open are left out until the next population.
//
// Two ways to run it:
//   fuzz_model [libFuzzer flags] [corpus...]      coverage-guided fuzzing
//   fuzz_model --ops=N [--seed=S]                 N operations over seeded
//                                                 random inputs (deterministic)
// A broken check prints what broke, writes the input to
// fuzz-model-failure.bin (replay it with `fuzz_model fuzz-model-failure.bin`)
// and aborts. The --ops run prints the operations by kind, the calls on other
// applications, the effects reached and the log lines seen.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "editing/dragdrop.h"
#include "editing/groups.h"
#include "editing/mouse.h"
#include "log/log.h"
#include "model/discovery.h"
#include "model/globals.h"
#include "model/invariants.h"
#include "model/pruning.h"
#include "model/queries.h"
#include "model/snapshot.h"
#include "model/threading.h"
#include "platform/desktop.h"
#include "platform/fake/fake_desktop.h"
#include "platform/fake/fake_imagelist.h"
#include "platform/fake/fake_log.h"
#include "platform/fake/fake_tree.h"
#include "platform/text.h"
#include "shell/activation.h"
#include "shell/hotkeys.h"
#include "switcher/navigation.h"
#include "switcher/population.h"
#include "switcher/population_plan.h"

namespace {

// The input being run, kept so that a failure can be written out.
const std::uint8_t *g_inputData = nullptr;
std::size_t g_inputSize = 0;
unsigned long long g_totalOperations = 0;

[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "check failed after %llu operations: %s\n", g_totalOperations, what.c_str());
    if (g_inputData != nullptr) {
        if (std::FILE *file = std::fopen("fuzz-model-failure.bin", "wb")) {
            std::fwrite(g_inputData, 1, g_inputSize, file);
            std::fclose(file);
            std::fprintf(stderr, "input written to fuzz-model-failure.bin (%zu bytes)\n", g_inputSize);
        }
    }
    std::abort();
}

#define FUZZ_CHECK(condition, what)   \
    do {                              \
        if (!(condition)) fail(what); \
    } while (0)

// Steps per input: enough for several switches with groups built and
// deleted in between.
const int kMaxStepsPerInput = 400;
// Windows alive at once; keeps each check cheap.
const std::size_t kMaxWindows = 24;
// The fresh population the open tree is compared with goes to this dialog.
const HWND kFreshDialog = reinterpret_cast<HWND>(std::uintptr_t{0xF00D0});

// Captions the windows take: duplicates, empty, exactly at and past the
// 127-unit limit, and characters outside the Basic Multilingual Plane, one of
// them straddling the limit so that the cut leaves half a surrogate pair.
std::vector<std::u16string> makeCaptions() {
    std::vector<std::u16string> captions = {u"Editor", u"Mail", u"Editor", u"", u"Terminal", u"Browser - page"};
    captions.push_back(std::u16string(127, u'a'));
    captions.push_back(std::u16string(128, u'b'));
    captions.push_back(std::u16string(500, u'c'));
    captions.push_back(std::u16string(126, u'x') + u"\U0001F600 tail");
    std::u16string faces;
    for (int i = 0; i < 250; ++i) faces += u"\U0001F642";
    captions.push_back(faces);
    captions.push_back(u"\U0001D11E score \U0001F3B5");
    return captions;
}
const std::vector<std::u16string> &captions() {
    static const std::vector<std::u16string> all = makeCaptions();
    return all;
}

// Figures of a --ops run: operations by kind, and how often each log line
// and each call on other applications came up, to show which paths ran.
struct Figures {
    unsigned long long byOp[64] = {};
    unsigned long long inWait = 0;
    std::map<std::u16string, unsigned long long> logLines;
    std::map<std::string, unsigned long long> calls;
    std::map<std::string, unsigned long long> effects;
};
Figures *g_figures = nullptr;

void noteEffect(const char *what) {
    if (g_figures != nullptr) ++g_figures->effects[what];
}

void tally() {
    if (g_figures == nullptr) return;
    for (const std::u16string &line : capturedLogLines()) ++g_figures->logLines[line];
    for (const FakeDeskCall &call : fakeDesktop().calls()) {
        switch (call.kind) {
        case FakeDeskCall::SendMessageTimeout:
            ++g_figures->calls[call.message == WM_CLOSE      ? "WM_CLOSE sent"
                               : call.message == WM_GETICON ? "WM_GETICON sent"
                                                            : "WM_NULL sent"];
            if (call.result == 0) ++g_figures->calls["timed sends that failed or timed out"];
            break;
        case FakeDeskCall::TerminateProcess: ++g_figures->calls["TerminateProcess"]; break;
        case FakeDeskCall::OpenProcess: ++g_figures->calls["OpenProcess"]; break;
        case FakeDeskCall::SetForegroundWindow: ++g_figures->calls["SetForegroundWindow"]; break;
        case FakeDeskCall::SendInput: ++g_figures->calls["SendInput"]; break;
        case FakeDeskCall::MessageBox: ++g_figures->calls["MessageBox"]; break;
        default: break;
        }
    }
}

enum class Phase { Idle, Opening, Open };

// A message posted to the main window, or work deferred until the running
// command has finished: it runs after the operation that caused it.
struct Posted {
    enum Kind { AltEnding, FocusEnding, Init } kind;
    HWND dialog;
    bool deferred = false;  // Init: the dialog was shown while it waited
};

// One switcher dialog whose tree exists: the open one, one still waiting for
// its initialisation, or one that has been ended but whose thread has not
// yet taken the message that destroys it.
struct Dialog {
    HWND hwnd = nullptr;
    bool populated = false;
    bool dragging = false;
    HTREEITEM dragTarget = nullptr;
};

// What the main window keeps of a switch, mirrored for the fake dialogs.
struct Run {
    FuzzedDataProvider *input = nullptr;
    std::vector<HWND> windows;  // created and not yet destroyed
    Phase phase = Phase::Idle;
    HWND openDialog = nullptr;     // == g_hwndSwitcherDialog in Open
    HWND pendingDialog = nullptr;  // Opening: the dialog waiting for its init
    std::vector<Dialog> dialogs;   // every dialog whose tree exists
    std::deque<Posted> posted;
    std::uintptr_t nextDialog = 0xD1000;
    int waitDepth = 0;       // > 0 while an operation runs inside a wait
    int enumChangesArmed = 0;  // desktop changes due during the next enumerations
    // Caption and icon changes of the desktop: the open tree's window items
    // keep the text and picture they had when they were inserted.
    unsigned long desktopChanges = 0;
    unsigned long desktopChangesAtPopulation = 0;
    int enumerationsAtPopulation = 0;
    std::uint64_t comparedFingerprint = 0;
    HWND comparedDialog = nullptr;
    bool partlyShownSincePopulation = false;
    int operations = 0;
    int steps = 0;
};

Run *g_run = nullptr;

Dialog *dialogOf(HWND hwnd) {
    for (Dialog &dialog : g_run->dialogs)
        if (dialog.hwnd == hwnd) return &dialog;
    return nullptr;
}

bool isDragging(HWND hwnd) {
    const Dialog *dialog = dialogOf(hwnd);
    return dialog != nullptr && dialog->dragging;
}

// ------------------------------------------------------------ the world

// The program's state right after start-up, on an empty desktop.
void resetWorld() {
    plrSetModelThread();
    discardSnapshot();
    for (PLRGroup *group : g_rootGroup.subgroups) delete group;
    g_rootGroup.subgroups.clear();
    for (PLRWindow *window : g_rootGroup.windows) delete window;
    g_rootGroup.windows.clear();
    g_rootGroup.hti = nullptr;
    g_rootGroup.selected = 1;
    g_rootGroup.expanded = 1;
    plrCopy(g_rootGroup.name, PLRGroup::kNameUnits, PLR_T("Group 0"));
    g_groupCounter = 1;
    g_numberNewGroups = 1;
    g_savedGroupCounter = 0;
    g_seenWindows.clear();
    g_hwndSwitcherDialog = nullptr;
    g_hwndShell = nullptr;
    g_bDeletingGroup = 0;
    g_pGroupBeingDeleted = nullptr;
    g_htiDragSource = nullptr;
    g_dwLog = 1;
    g_dwCallTerminateProcess = 0;
    g_pfnIsHungAppWindow = fakeIsHungAppWindow;
    fakeDesktop().reset();
    faketree::reset();
    fakeimg::reset();
    clearCapturedLogLines();
    resetFakeLocalMemory();
}

HWND pickWindow(FuzzedDataProvider &input) {
    std::vector<HWND> &windows = g_run->windows;
    if (windows.empty()) return nullptr;
    return windows[input.ConsumeIntegralInRange<std::size_t>(0, windows.size() - 1)];
}

void forgetDestroyedWindows() {
    std::vector<HWND> alive;
    for (HWND hwnd : g_run->windows)
        if (fakeDesktop().window(hwnd) != nullptr) alive.push_back(hwnd);
    g_run->windows.swap(alive);
}

// Items the user can point at: those whose ancestors are all expanded.
std::vector<HTREEITEM> visibleItems(HWND dialog) {
    std::vector<HTREEITEM> visible;
    std::vector<HTREEITEM> pending = faketree::children(dialog, nullptr);
    while (!pending.empty()) {
        const HTREEITEM item = pending.back();
        pending.pop_back();
        visible.push_back(item);
        if (faketree::isExpanded(dialog, item)) {
            for (HTREEITEM child : faketree::children(dialog, item)) pending.push_back(child);
        }
    }
    return visible;
}

HTREEITEM pickItem(FuzzedDataProvider &input, const std::vector<HTREEITEM> &items) {
    if (items.empty() || input.ConsumeIntegralInRange<int>(0, 9) == 0) return nullptr;
    return items[input.ConsumeIntegralInRange<std::size_t>(0, items.size() - 1)];
}

// A handle that names no item of any tree (the fake's items sit 0x20 apart;
// these fall between them).
HTREEITEM staleItem(FuzzedDataProvider &input) {
    return reinterpret_cast<HTREEITEM>(std::uintptr_t{0x5000010} + 0x20 * input.ConsumeIntegralInRange<int>(0, 64));
}

// The dialog a mouse hand-off comes from: the open one mostly, sometimes one
// that has already been ended or is still waiting for its initialisation.
HWND pickDialog(FuzzedDataProvider &input) {
    if (g_run->dialogs.empty()) return nullptr;
    if (g_run->openDialog != nullptr && input.ConsumeIntegralInRange<int>(0, 3) != 0) return g_run->openDialog;
    return g_run->dialogs[input.ConsumeIntegralInRange<std::size_t>(0, g_run->dialogs.size() - 1)].hwnd;
}

// ------------------------------------------------------------ the switch

void populateDialog(HWND dialog, bool shownBefore) {
    g_hwndSwitcherDialog = dialog;
    g_run->openDialog = dialog;
    g_run->phase = Phase::Open;
    g_run->desktopChangesAtPopulation = g_run->desktopChanges;
    g_run->enumerationsAtPopulation = fakeDesktop().enumerationCount();
    g_run->partlyShownSincePopulation = false;
    if (Dialog *record = dialogOf(dialog)) record->populated = true;
    if (!shownBefore) {
        // Filled by the dialog's own thread from a plan of the model, which
        // the records then adopt; a model that changed meanwhile is filled
        // again item by item.
        g_rootGroup.hti = nullptr;
        const PopulationPlan plan = buildPopulationPlan();
        const std::vector<HTREEITEM> items = applyPopulationPlan(dialog, plan);
        if (g_run->input->ConsumeIntegralInRange<int>(0, 7) == 0 && !g_rootGroup.subgroups.empty())
            g_rootGroup.subgroups.back()->expanded ^= 1;
        if (adoptPopulation(plan, items)) {
            noteEffect("tree filled from a plan");
            return;
        }
        noteEffect("plan refused, tree filled again");
        sendTreeMessage(dialog, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    }
    populateTreeView(dialog);
}

// The end of a switch as the main window runs it: the dialog is told to end
// itself (its tree lives on until its thread takes that), the selected
// window comes forward on the Alt ending, the snapshot goes and the records
// forget their items.
void endSwitch(bool activateSelected) {
    g_hwndSwitcherDialog = nullptr;
    g_run->openDialog = nullptr;
    g_run->phase = Phase::Idle;
    if (activateSelected) {
        if (PLRWindow *selected = g_rootGroup.getSelectedWindow()) activateWindow(selected->hwnd);
    }
    discardSnapshot();
    g_rootGroup.clearHtis();
}

// The cancel keys after the tree was restored: the dialog ends, nothing is
// activated, the snapshot and the item handles stay.
void closeAfterCancel() {
    if (g_hwndSwitcherDialog == nullptr) return;
    g_hwndSwitcherDialog = nullptr;
    g_run->openDialog = nullptr;
    g_run->phase = Phase::Idle;
}

// The switcher thread takes the message that ends its dialog: the drag it
// may have been running is dropped, the lists are released, the tree goes.
void destroyDialog(HWND hwnd) {
    auto it = std::find_if(g_run->dialogs.begin(), g_run->dialogs.end(),
                           [hwnd](const Dialog &dialog) { return dialog.hwnd == hwnd; });
    if (it == g_run->dialogs.end()) return;
    FUZZ_CHECK(faketree::invalidHandleUses(hwnd) == 0,
               "tree message named a missing item: " + faketree::invalidHandleReports(hwnd).front());
    releaseTreeImageLists(hwnd);
    faketree::destroyTree(hwnd);
    g_run->dialogs.erase(it);
}

void startSwitcher(UINT) {
    // CreateThread can fail; the switch then stays idle and the command runs
    // on the model alone.
    if (g_run->input->ConsumeIntegralInRange<int>(0, 15) == 0) {
        logMessage(PLR_T("CreateThread, called from MainWndProc failed."));
        return;
    }
    g_run->phase = Phase::Opening;
}

// Structural equality of the live tree and the snapshot after a cancel.
bool sameTree(const PLRGroup *a, const PLRGroup *b) {
    if (a->selected != b->selected || a->expanded != b->expanded || !plrEqual(a->name, b->name)) return false;
    if (a->windows.size() != b->windows.size() || a->subgroups.size() != b->subgroups.size()) return false;
    auto wb = b->windows.begin();
    for (const PLRWindow *w : a->windows) {
        const PLRWindow *other = *wb++;
        if (w == other || w->hwnd != other->hwnd || w->selected != other->selected || w->hti != other->hti ||
            !plrEqual(w->caption, other->caption))
            return false;
    }
    auto gb = b->subgroups.begin();
    for (const PLRGroup *g : a->subgroups)
        if (!sameTree(g, *gb++)) return false;
    return true;
}

// One hotkey press as the main window handles it.
void pressHotkey(UINT id) {
    const bool opening = g_run->phase == Phase::Idle;
    bool mayStart = opening;
    if (opening && !g_run->dialogs.empty()) {
        // The previous switcher thread must have ended: it does within the
        // wait, or no switcher is started for this press.
        if (g_run->input->ConsumeBool()) {
            while (!g_run->dialogs.empty()) destroyDialog(g_run->dialogs.front().hwnd);
        } else {
            mayStart = false;
        }
    }
    if (!runHotkeyPress(id, opening, mayStart ? startSwitcher : nullptr)) return;
    if (isCancelHotkey(id)) {
        if (g_pPrevAllWindows != nullptr) {
            FUZZ_CHECK(sameTree(&g_rootGroup, g_pPrevAllWindows), "cancel did not put the snapshot's tree back");
            FUZZ_CHECK(g_groupCounter == g_savedGroupCounter, "cancel did not give the group numbers back");
        }
        closeAfterCancel();
    }
}

void runPosted() {
    while (!g_run->posted.empty()) {
        const Posted message = g_run->posted.front();
        g_run->posted.pop_front();
        switch (message.kind) {
        case Posted::AltEnding:
        case Posted::FocusEnding:
            // Only the switch the message names ends, and only once.
            if (message.dialog != nullptr && message.dialog == g_hwndSwitcherDialog)
                endSwitch(message.kind == Posted::AltEnding);
            break;
        case Posted::Init:
            if (g_run->pendingDialog == message.dialog) g_run->pendingDialog = nullptr;
            if (g_run->phase != Phase::Opening) break;
            // Losses of focus the dialog reported while its initialisation
            // waited came during the opening, where they end nothing.
            if (message.deferred) {
                std::deque<Posted> kept;
                for (const Posted &other : g_run->posted)
                    if (other.kind != Posted::FocusEnding) kept.push_back(other);
                g_run->posted.swap(kept);
            }
            populateDialog(message.dialog, message.deferred);
            break;
        }
        ++g_run->operations;
    }
}

// ------------------------------------------------------------ checks

bool inSubtree(const PLRGroup *group, const PLRWindow *window) {
    for (const PLRWindow *own : group->windows)
        if (own == window) return true;
    for (const PLRGroup *sub : group->subgroups)
        if (inSubtree(sub, window)) return true;
    return false;
}

int markerOf(const faketree::ItemView &view) { return static_cast<int>((view.state & TVIS_STATEIMAGEMASK) >> 12); }

// A record's item exists, sits under its group's item, shows the record's
// marker and, for a window, the picture at its image index.
void checkItems(HWND dialog, PLRGroup *group, bool isRoot) {
    if (group->hti != nullptr) {
        FUZZ_CHECK(faketree::isItem(dialog, group->hti), "group record holds a dead item");
        const faketree::ItemView view = faketree::item(dialog, group->hti);
        if (isRoot) FUZZ_CHECK(view.parent == nullptr, "root item is not at the top level");
        FUZZ_CHECK(markerOf(view) == (group->selected ? STATE_IMAGE_SELECTED_GROUP : 0), "group marker out of step");
    }
    for (PLRWindow *window : group->windows) {
        if (window->hti == nullptr) continue;
        FUZZ_CHECK(group->hti != nullptr, "window item under a group without an item");
        FUZZ_CHECK(faketree::isItem(dialog, window->hti), "window record holds a dead item");
        const faketree::ItemView view = faketree::item(dialog, window->hti);
        FUZZ_CHECK(view.parent == group->hti, "window item under a wrong parent");
        FUZZ_CHECK(markerOf(view) == (window->selected ? STATE_IMAGE_SELECTED_WINDOW : 0), "window marker out of step");
        FUZZ_CHECK(view.image == window->imageIndex, "window item shows another picture");
    }
    for (PLRGroup *sub : group->subgroups) {
        if (sub->hti != nullptr) {
            FUZZ_CHECK(group->hti != nullptr, "group item under a group without an item");
            FUZZ_CHECK(faketree::item(dialog, sub->hti).parent == group->hti, "group item under a wrong parent");
        }
        checkItems(dialog, sub, false);
    }
}

void checkNoItems(const PLRGroup *group) {
    for (const PLRWindow *window : group->windows)
        FUZZ_CHECK(window->hti == nullptr, "window keeps an item after the switch");
    for (const PLRGroup *sub : group->subgroups) {
        FUZZ_CHECK(sub->hti == nullptr, "group keeps an item after the switch");
        checkNoItems(sub);
    }
}

// Which record each item of a tree shows, from the records' item handles.
struct ItemOwner {
    const void *record = nullptr;
    bool isWindow = false;
    bool isRoot = false;
};
void mapItems(PLRGroup *group, bool isRoot, std::map<HTREEITEM, ItemOwner> &owners) {
    if (group->hti != nullptr) {
        FUZZ_CHECK(owners.count(group->hti) == 0, "two records hold the same item");
        owners[group->hti] = ItemOwner{group, false, isRoot};
    }
    for (PLRWindow *window : group->windows) {
        if (window->hti == nullptr) continue;
        FUZZ_CHECK(owners.count(window->hti) == 0, "two records hold the same item");
        owners[window->hti] = ItemOwner{window, true, false};
    }
    for (PLRGroup *sub : group->subgroups) mapItems(sub, false, owners);
}

// One line per item in tree order: the record it shows, its depth, text,
// picture (the icon at its image index in that tree's list), marker and, with
// children, whether it is open.
struct OutlineLine {
    const void *record = nullptr;
    int depth = 0;
    bool isWindow = false;
    bool open = false;
    bool showsOpen = false;  // the open state counts (children shown)
    bool hasText = false;
    std::u16string text;
    bool hasPicture = false;
    HICON picture = nullptr;
    int marker = 0;

    bool operator==(const OutlineLine &other) const {
        return record == other.record && depth == other.depth && isWindow == other.isWindow &&
               hasText == other.hasText && text == other.text && hasPicture == other.hasPicture &&
               picture == other.picture && marker == other.marker && showsOpen == other.showsOpen &&
               (!showsOpen || open == other.open);
    }
    std::string describe() const {
        std::string out = std::to_string(depth) + (isWindow ? " window \"" : " group \"");
        for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
        out += "\"";
        if (hasPicture) {
            char icon[32];
            std::snprintf(icon, sizeof icon, " icon %p", static_cast<void *>(picture));
            out += icon;
        }
        out += " marker " + std::to_string(marker);
        if (showsOpen) out += open ? " open" : " closed";
        return out;
    }
};
struct OutlineOptions {
    // Window texts and pictures, unless the desktop changed them since the
    // population: items keep what they were inserted with.
    bool windowTextsAndPictures = true;
    // Windows recorded while the dialog was open have no picture in its list
    // until the next population.
    std::set<const void *> withoutPicture;
};
void outlineInto(HWND dialog, HTREEITEM parent, int depth, const std::map<HTREEITEM, ItemOwner> &owners,
                 const OutlineOptions &options, std::vector<OutlineLine> &out) {
    const HIMAGELIST pictures = faketree::imageList(dialog, TVSIL_NORMAL);
    for (HTREEITEM child : faketree::children(dialog, parent)) {
        const faketree::ItemView view = faketree::item(dialog, child);
        auto owner = owners.find(child);
        FUZZ_CHECK(owner != owners.end(), "an item of the tree shows no record");
        OutlineLine line;
        line.record = owner->second.record;
        line.depth = depth;
        line.isWindow = owner->second.isWindow;
        line.open = (view.state & TVIS_EXPANDED) != 0;
        if (!line.isWindow || options.windowTextsAndPictures) {
            line.hasText = true;
            line.text = view.text;
            if (line.isWindow && options.withoutPicture.count(line.record) == 0) {
                line.hasPicture = true;
                line.picture = fakeimg::iconAt(pictures, view.image);
            }
        }
        line.marker = markerOf(view);
        out.push_back(line);
        outlineInto(dialog, child, depth + 1, owners, options, out);
    }
}

void saveItems(PLRGroup *group, std::vector<HTREEITEM> &items, std::vector<int> &indices) {
    items.push_back(group->hti);
    for (PLRWindow *window : group->windows) {
        items.push_back(window->hti);
        indices.push_back(window->imageIndex);
    }
    for (PLRGroup *sub : group->subgroups) saveItems(sub, items, indices);
}
void restoreItems(PLRGroup *group, const std::vector<HTREEITEM> &items, const std::vector<int> &indices,
                  std::size_t &i, std::size_t &w) {
    group->hti = items[i++];
    for (PLRWindow *window : group->windows) {
        window->hti = items[i++];
        window->imageIndex = indices[w++];
    }
    for (PLRGroup *sub : group->subgroups) restoreItems(sub, items, indices, i, w);
}

// True when a record below the group has no item.
bool anyRecordWithoutItem(const PLRGroup *group) {
    for (const PLRWindow *window : group->windows)
        if (window->hti == nullptr) return true;
    for (const PLRGroup *sub : group->subgroups)
        if (sub->hti == nullptr || anyRecordWithoutItem(sub)) return true;
    return false;
}

// The open tree against what a fresh population of the model shows. Records
// that have no item in the open tree (the control refused it, or the record
// came in while the dialog was open) are left out of the fresh outline: the
// next population shows them.
void checkAgainstFreshPopulation(HWND dialog) {
    OutlineOptions options;
    // A refresh pass brings the records up to date with the desktop, not the
    // items: texts and pictures are compared until the first pass after the
    // population, and while the desktop has not changed.
    options.windowTextsAndPictures = g_run->desktopChanges == g_run->desktopChangesAtPopulation &&
                                     fakeDesktop().enumerationCount() == g_run->enumerationsAtPopulation;
    std::map<HTREEITEM, ItemOwner> openOwners;
    mapItems(&g_rootGroup, true, openOwners);
    for (const auto &entry : openOwners) {
        if (entry.second.isWindow && static_cast<const PLRWindow *>(entry.second.record)->imageIndex < 0)
            options.withoutPicture.insert(entry.second.record);
    }
    std::vector<OutlineLine> open;
    outlineInto(dialog, nullptr, 0, openOwners, options, open);
    FUZZ_CHECK(open.size() == openOwners.size(), "a record's item is not reachable from the top of the tree");

    std::vector<HTREEITEM> items;
    std::vector<int> indices;
    saveItems(&g_rootGroup, items, indices);
    std::map<const void *, bool> hasItem;
    for (const auto &entry : openOwners) hasItem[entry.second.record] = true;

    faketree::createTree(kFreshDialog);
    g_hwndSwitcherDialog = kFreshDialog;
    populateTreeView(kFreshDialog);
    std::map<HTREEITEM, ItemOwner> freshOwners;
    mapItems(&g_rootGroup, true, freshOwners);
    std::vector<OutlineLine> fresh;
    outlineInto(kFreshDialog, nullptr, 0, freshOwners, options, fresh);
    FUZZ_CHECK(faketree::invalidHandleUses(kFreshDialog) == 0, "population named a missing item");
    releaseTreeImageLists(kFreshDialog);
    faketree::destroyTree(kFreshDialog);
    g_hwndSwitcherDialog = dialog;
    std::size_t i = 0, w = 0;
    restoreItems(&g_rootGroup, items, indices, i, w);

    std::vector<OutlineLine> expected;
    for (const OutlineLine &line : fresh)
        if (hasItem.count(line.record) != 0) expected.push_back(line);
    // Whether a group shows open matters only when it shows children, and
    // only while every record has had an item since the population:
    // selecting a record without one opens the groups on its path in the
    // model, while the tree cannot open a group that shows no children yet.
    if (anyRecordWithoutItem(&g_rootGroup)) g_run->partlyShownSincePopulation = true;
    for (std::vector<OutlineLine> *lines : {&open, &expected}) {
        for (std::size_t k = 0; k + 1 < lines->size(); ++k) {
            OutlineLine &line = (*lines)[k];
            line.showsOpen = (*lines)[k + 1].depth == line.depth + 1 && !g_run->partlyShownSincePopulation;
        }
    }
    std::size_t k = 0;
    while (k < open.size() && k < expected.size() && open[k] == expected[k]) ++k;
    if (k < open.size() || k < expected.size()) {
        std::string what = "the open tree differs from a fresh population at line " + std::to_string(k) + ": open ";
        what += k < open.size() ? open[k].describe() : std::string("(end)");
        what += ", fresh ";
        what += k < expected.size() ? expected[k].describe() : std::string("(end)");
        fail(what + "\n" + faketree::dump(dialog));
    }
}

// The checks that hold at any moment, inside a wait too.
void checkAlways() {
    std::string problem;
    FUZZ_CHECK(plrCheckInvariants(&problem), problem);

    PLRWindow *selectedWindow = g_rootGroup.getSelectedWindow();
    PLRGroup *selectedGroup = g_rootGroup.getSelectedGroup();
    if (selectedWindow != nullptr && selectedGroup != nullptr)
        FUZZ_CHECK(inSubtree(selectedGroup, selectedWindow), "selected window outside the selected group");

    FUZZ_CHECK(faketree::messagesWithoutTree() == 0, "tree message to a dialog without a tree");
    for (const Dialog &dialog : g_run->dialogs) {
        FUZZ_CHECK(faketree::invalidHandleUses(dialog.hwnd) == 0,
                   "tree message named a missing item: " + faketree::invalidHandleReports(dialog.hwnd).front());
    }
    FUZZ_CHECK(fakeimg::liveBitmaps() == 0, "GDI bitmap leaked");
    FUZZ_CHECK(fakeimg::invalidDeletes() == 0 && fakeimg::invalidDestroys() == 0, "double delete");
    // A deletion holds the handles of the processes it asks until it ends.
    FUZZ_CHECK(g_bDeletingGroup != 0 || fakeDesktop().openHandleCount() == 0, "process handle leaked");
    if (g_hwndSwitcherDialog != nullptr) {
        FUZZ_CHECK(g_hwndSwitcherDialog == g_run->openDialog, "g_hwndSwitcherDialog names no open dialog");
        checkItems(g_hwndSwitcherDialog, &g_rootGroup, true);
    }
}

// What the fresh population depends on: every record's identity, flags,
// item, image index, caption and icon, and whether texts and pictures are
// compared.
void mix(std::uint64_t &hash, std::uint64_t value) { hash = (hash ^ value) * 0x100000001B3ull; }
void fingerprintInto(const PLRGroup *group, std::uint64_t &hash) {
    mix(hash, reinterpret_cast<std::uintptr_t>(group));
    mix(hash, reinterpret_cast<std::uintptr_t>(group->hti));
    mix(hash, static_cast<std::uint64_t>(group->selected * 2 + group->expanded));
    for (const PLRWindow *window : group->windows) {
        mix(hash, reinterpret_cast<std::uintptr_t>(window));
        mix(hash, reinterpret_cast<std::uintptr_t>(window->hti));
        mix(hash, reinterpret_cast<std::uintptr_t>(window->hIconSmall));
        mix(hash, static_cast<std::uint64_t>(window->selected) * 0x10000 + static_cast<std::uint32_t>(window->imageIndex));
        for (const plr_char *c = window->caption; *c != 0; ++c) mix(hash, static_cast<std::uint64_t>(*c));
    }
    mix(hash, 0xFEED);
    for (const PLRGroup *sub : group->subgroups) fingerprintInto(sub, hash);
    mix(hash, 0xBEEF);
}
std::uint64_t modelFingerprint() {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    fingerprintInto(&g_rootGroup, hash);
    mix(hash, g_run->desktopChanges);
    mix(hash, static_cast<std::uint64_t>(fakeDesktop().enumerationCount()));
    return hash;
}

// Everything, between two operations of the main loop.
void checkAll() {
    checkAlways();
    FUZZ_CHECK(g_bDeletingGroup == 0 && g_pGroupBeingDeleted == nullptr, "deletion state left behind");
    FUZZ_CHECK(g_seenWindows.empty(), "seen windows left behind");
    FUZZ_CHECK(fakeDesktop().attachedThreadPairs().empty(), "thread input left attached");
    FUZZ_CHECK((g_run->phase == Phase::Open) == (g_hwndSwitcherDialog != nullptr), "switch phase out of step");

    int lists = 0;
    for (const Dialog &dialog : g_run->dialogs) lists += dialog.populated ? 2 : 0;
    FUZZ_CHECK(fakeimg::liveImageLists() == lists, "image list leaked");

    if (g_run->phase == Phase::Open) {
        // The comparison is the costly check: it is skipped when neither the
        // records nor the tree can have changed since the last one.
        const std::uint64_t fingerprint = modelFingerprint();
        const bool treeTouched = !faketree::messages(g_hwndSwitcherDialog).empty();
        if (treeTouched || fingerprint != g_run->comparedFingerprint || g_hwndSwitcherDialog != g_run->comparedDialog) {
            checkAgainstFreshPopulation(g_hwndSwitcherDialog);
            g_run->comparedFingerprint = fingerprint;
            g_run->comparedDialog = g_hwndSwitcherDialog;
        }
    } else {
        checkNoItems(&g_rootGroup);
    }
    // The controls keep every message; only the latest step's are of use.
    for (const Dialog &dialog : g_run->dialogs) faketree::clearMessages(dialog.hwnd);
}

// ------------------------------------------------------------ operations

enum Op {
    // The desktop.
    kAddWindow,
    kAddOwnedWindow,
    kDestroyWindow,
    kToggleVisible,
    kToggleToolWindow,
    kChangeCaption,
    kChangeResponsiveness,
    kChangeCloseBehaviour,
    kChangeIcons,
    kSetForeground,
    kEndProcess,
    kProcessKnobs,
    kSettings,
    kArmEnumerationChange,
    kImageKnobs,
    // Passes and commands called directly.
    kDiscovery,
    kDiscoveryAndPrune,
    kRefresh,
    kNextWindow,
    kPreviousWindow,
    kNextGroup,
    kPreviousGroup,
    kTakeSnapshot,
    kRestoreAndClose,
    kEndAndDiscard,
    kCreateGroup,
    kCreateGroupFromSelected,
    kDeleteGroup,
    // The switch life cycle.
    kHotkey,
    kHotkey2,
    kHotkey3,
    kDialogInit,
    kDialogFails,
    kAltRelease,
    kFocusLoss,
    kSwitcherThreadEnds,
    // The dialog's hand-offs.
    kDoubleClick,
    kRightClick,
    kExpansion,
    kDragBegin,
    kDragMove,
    kDrop,
    kItemDroppedDirect,
    kOpCount
};

// What can run while the main thread waits on a send: the switcher's
// hand-offs, the keyboard hook, a discovery pass, and the desktop itself.
const Op kWaitOps[] = {kAddWindow,    kDestroyWindow, kToggleVisible, kChangeCaption, kChangeCloseBehaviour,
                       kEndProcess,   kSetForeground, kDiscovery,     kDialogInit,    kDialogFails,
                       kAltRelease,   kFocusLoss,     kSwitcherThreadEnds, kDoubleClick, kRightClick,
                       kExpansion,    kDragBegin,     kDragMove,      kDrop,          kItemDroppedDirect};
// What can happen between the moment an enumeration lists a window and the
// moment it is reported.
const Op kEnumerationOps[] = {kAddWindow, kDestroyWindow, kToggleVisible, kToggleToolWindow, kChangeCaption,
                              kEndProcess};

void runOp(Op op);

void afterOperation() {
    ++g_run->operations;
    ++g_totalOperations;
    if (g_run->waitDepth > 0) {
        checkAlways();
    }
}

// The main thread takes sent messages while it waits on a window: a few
// operations run right there.
void duringWait(HWND waitedOn, UINT message) {
    Run &run = *g_run;
    if (run.waitDepth > 0 || run.input->remaining_bytes() == 0) return;
    ++run.waitDepth;
    const int count = run.input->ConsumeIntegralInRange<int>(0, 3);
    for (int i = 0; i < count && run.input->remaining_bytes() > 0; ++i) {
        if (run.input->ConsumeIntegralInRange<int>(0, 7) == 0) {
            // The window being waited on closes meanwhile.
            fakeDesktop().destroyWindow(waitedOn);
            forgetDestroyedWindows();
            afterOperation();
            continue;
        }
        const Op op = kWaitOps[run.input->ConsumeIntegralInRange<std::size_t>(0, std::size(kWaitOps) - 1)];
        // A discovery pass runs while a deleted group's applications are
        // asked to close; the passes themselves run from the hotkey handling
        // alone and never inside one another.
        if (op == kDiscovery && message != WM_CLOSE) continue;
        if (message == WM_CLOSE) noteEffect(g_bDeletingGroup != 0 ? "operation during a deletion's close request"
                                                                   : "operation during a close request");
        runOp(op);
        if (op == kDiscovery) g_seenWindows.clear();
        afterOperation();
    }
    --run.waitDepth;
}

void beforeEnumeration(HWND) {
    Run &run = *g_run;
    if (run.enumChangesArmed == 0 || run.waitDepth > 0 || run.input->remaining_bytes() == 0) return;
    --run.enumChangesArmed;
    ++run.waitDepth;
    runOp(kEnumerationOps[run.input->ConsumeIntegralInRange<std::size_t>(0, std::size(kEnumerationOps) - 1)]);
    afterOperation();
    --run.waitDepth;
}

void addWindow(FuzzedDataProvider &input, HWND owner) {
    if (g_run->windows.size() >= kMaxWindows) return;
    FakeDesktop &desktop = fakeDesktop();
    FakeWindow window;
    const std::vector<std::u16string> &texts = captions();
    window.caption = texts[input.ConsumeIntegralInRange<std::size_t>(0, texts.size() - 1)];
    window.owner = owner;
    if (owner != nullptr && input.ConsumeBool()) window.exStyle |= WS_EX_APPWINDOW;
    switch (input.ConsumeIntegralInRange<int>(0, 5)) {
    case 0:
        // Another window of an application already on the desktop.
        if (HWND sibling = pickWindow(input)) {
            if (FakeWindow *other = desktop.window(sibling)) window.processId = other->processId;
        }
        break;
    case 1:
        // One of the program's own windows (the About box).
        window.processId = desktop.getCurrentProcessId();
        break;
    default:
        break;
    }
    if (input.ConsumeBool()) {
        window.iconBig = desktop.newIcon();
        window.iconSmall = input.ConsumeBool() ? desktop.newIcon() : nullptr;
    }
    window.onClose = static_cast<FakeCloseBehaviour>(input.ConsumeIntegralInRange<int>(0, 2));
    g_run->windows.push_back(desktop.createWindow(window));
}

void mouseDoubleClickOn(FuzzedDataProvider &input, HWND dialog) {
    if (faketree::hasTree(dialog)) {
        const std::vector<HTREEITEM> visible = visibleItems(dialog);
        const HTREEITEM item = pickItem(input, visible);
        // The first click of the two makes the item the tree's current one.
        if (item != nullptr) sendTreeMessage(dialog, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    }
    mouseDoubleClick(dialog);
    // The control toggles a group on its own and reports what it did.
    const HTREEITEM caret = faketree::hasTree(dialog) ? faketree::caret(dialog) : nullptr;
    if (caret != nullptr && !faketree::children(dialog, caret).empty()) {
        const UINT action = faketree::isExpanded(dialog, caret) ? TVE_COLLAPSE : TVE_EXPAND;
        if (sendTreeMessage(dialog, TVM_EXPAND, action, reinterpret_cast<LPARAM>(caret)))
            mouseItemExpanded(dialog, caret, action);
    }
}

void mouseRightClickOn(FuzzedDataProvider &input, HWND dialog) {
    const bool hasTree = faketree::hasTree(dialog);
    if (hasTree && input.ConsumeBool()) {
        // Windows' control drop-highlights the item under a right click while
        // it reports it; Wine's does not, and the caret stands in.
        const HTREEITEM item = pickItem(input, visibleItems(dialog));
        if (item != nullptr) sendTreeMessage(dialog, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(item));
    }
    mouseRightClick(dialog);
    // The control takes its temporary highlight back.
    if (faketree::hasTree(dialog) && !dialogOf(dialog)->dragging)
        sendTreeMessage(dialog, TVM_SELECTITEM, TVGN_DROPHILITE, 0);
}

void expansionOn(FuzzedDataProvider &input, HWND dialog) {
    switch (input.ConsumeIntegralInRange<int>(0, 5)) {
    case 0:
        // A notification for an item that is not (or no longer) a group.
        mouseItemExpanded(dialog, staleItem(input), TVE_EXPAND);
        return;
    case 1: {
        const HTREEITEM item = faketree::hasTree(dialog) ? pickItem(input, visibleItems(dialog)) : nullptr;
        mouseItemExpanded(dialog, item, input.ConsumeIntegralInRange<UINT>(0, 4) == 3 ? 3 : 0);
        return;
    }
    default:
        break;
    }
    if (!faketree::hasTree(dialog)) return;
    const HTREEITEM item = pickItem(input, visibleItems(dialog));
    if (item == nullptr) return;
    const UINT action = input.ConsumeBool() ? TVE_EXPAND : TVE_COLLAPSE;
    if (sendTreeMessage(dialog, TVM_EXPAND, action, reinterpret_cast<LPARAM>(item))) mouseItemExpanded(dialog, item, action);
}

// The visible items that look like groups (the group picture) or like
// windows; the user aims at one kind or the other, now and then at either.
std::vector<HTREEITEM> visibleItemsLike(FuzzedDataProvider &input, HWND dialog, bool groups) {
    std::vector<HTREEITEM> items = visibleItems(dialog);
    if (input.ConsumeIntegralInRange<int>(0, 4) == 0) return items;
    std::vector<HTREEITEM> aimed;
    for (HTREEITEM item : items)
        if ((faketree::item(dialog, item).image == GROUP_IMAGE_INDEX) == groups) aimed.push_back(item);
    return aimed;
}

void dragBeginOn(FuzzedDataProvider &input, Dialog &dialog) {
    if (dialog.dragging) return;
    const HTREEITEM item = pickItem(input, visibleItemsLike(input, dialog.hwnd, false));
    if (item == nullptr) return;
    if (!dragSourceIsWindowItem(item)) return;
    noteEffect("drag began");
    dialog.dragging = true;
    dialog.dragTarget = nullptr;
}

void dragMoveOn(FuzzedDataProvider &input, Dialog &dialog) {
    if (!dialog.dragging) return;
    const HTREEITEM item = pickItem(input, visibleItemsLike(input, dialog.hwnd, true));
    if (item == nullptr || !isGroupItem(item)) return;
    if (faketree::caret(dialog.hwnd) == item) sendTreeMessage(dialog.hwnd, TVM_SELECTITEM, TVGN_DROPHILITE, 0);
    sendTreeMessage(dialog.hwnd, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(item));
    dialog.dragTarget = item;
    noteEffect("drag hovered a group");
}

void dropOn(Dialog &dialog) {
    if (!dialog.dragging) return;
    const HWND hwnd = dialog.hwnd;
    const HTREEITEM target = dialog.dragTarget;
    dialog.dragging = false;
    dialog.dragTarget = nullptr;
    PLRWindow *source = g_htiDragSource != nullptr ? g_rootGroup.findWindowByHti(g_htiDragSource) : nullptr;
    dropOnTarget(hwnd, target);
    if (source != nullptr && g_rootGroup.findWindowByHti(g_htiDragSource) == nullptr) noteEffect("drop moved a window");
}

void itemDroppedDirectly(FuzzedDataProvider &input) {
    std::vector<HTREEITEM> items;
    if (g_hwndSwitcherDialog != nullptr) items = faketree::allItems(g_hwndSwitcherDialog);
    switch (input.ConsumeIntegralInRange<int>(0, 2)) {
    case 0: g_htiDragSource = staleItem(input); break;
    case 1: g_htiDragSource = pickItem(input, items); break;
    default: break;  // the source of the last drag, whatever became of it
    }
    const HTREEITEM target = input.ConsumeBool() ? staleItem(input) : pickItem(input, items);
    itemDropped(target);
}

const char *const kOpNames[] = {
    "AddWindow", "AddOwnedWindow", "DestroyWindow", "ToggleVisible", "ToggleToolWindow", "ChangeCaption",
    "ChangeResponsiveness", "ChangeCloseBehaviour", "ChangeIcons", "SetForeground", "EndProcess", "ProcessKnobs",
    "Settings", "ArmEnumerationChange", "ImageKnobs", "Discovery", "DiscoveryAndPrune", "Refresh", "NextWindow",
    "PreviousWindow", "NextGroup", "PreviousGroup", "TakeSnapshot", "RestoreAndClose", "EndAndDiscard", "CreateGroup",
    "CreateGroupFromSelected", "DeleteGroup", "Hotkey", "Hotkey2", "Hotkey3", "DialogInit", "DialogFails",
    "AltRelease", "FocusLoss", "SwitcherThreadEnds", "DoubleClick", "RightClick", "Expansion", "DragBegin",
    "DragMove", "Drop", "ItemDroppedDirect"};
static_assert(std::size(kOpNames) == kOpCount, "a name for every operation");

// PLR_FUZZ_TRACE=1 prints every operation, indented inside waits, to
// replay a failure step by step.
const bool g_trace = std::getenv("PLR_FUZZ_TRACE") != nullptr;
// PLR_FUZZ_TRACE=trees also prints the open tree after every step.
const bool g_traceTrees = g_trace && std::strcmp(std::getenv("PLR_FUZZ_TRACE"), "trees") == 0;

void runOp(Op op) {
    Run &run = *g_run;
    if (g_trace) std::fprintf(stderr, "%*s%s\n", 2 * run.waitDepth, "", kOpNames[op]);
    if (g_figures != nullptr) {
        ++g_figures->byOp[op];
        if (run.waitDepth > 0) ++g_figures->inWait;
    }
    FuzzedDataProvider &input = *run.input;
    FakeDesktop &desktop = fakeDesktop();
    switch (op) {
    case kAddWindow:
        addWindow(input, nullptr);
        break;
    case kAddOwnedWindow:
        addWindow(input, pickWindow(input));
        break;
    case kDestroyWindow:
        if (HWND victim = pickWindow(input)) {
            desktop.destroyWindow(victim);
            forgetDestroyedWindows();  // owned windows go with their owner
        }
        break;
    case kToggleVisible:
        if (FakeWindow *w = desktop.window(pickWindow(input))) w->style ^= WS_VISIBLE;
        break;
    case kToggleToolWindow:
        if (FakeWindow *w = desktop.window(pickWindow(input))) w->exStyle ^= WS_EX_TOOLWINDOW;
        break;
    case kChangeCaption:
        if (FakeWindow *w = desktop.window(pickWindow(input))) {
            const std::vector<std::u16string> &texts = captions();
            w->caption = texts[input.ConsumeIntegralInRange<std::size_t>(0, texts.size() - 1)];
            if (input.ConsumeIntegralInRange<int>(0, 7) == 0) w->blankCaptionReads = 1;
            ++run.desktopChanges;
        }
        break;
    case kChangeResponsiveness:
        if (FakeWindow *w = desktop.window(pickWindow(input))) {
            ++run.desktopChanges;
            switch (input.ConsumeIntegralInRange<int>(0, 5)) {
            case 0: w->answers = true; w->countedHung = false; w->sendError = 0; w->answersBeforeHanging = -1; break;
            case 1: w->answers = false; w->countedHung = true; break;            // hung, and known to be
            case 2: w->answers = false; w->countedHung = false; break;           // stops answering
            case 3: w->answersBeforeHanging = input.ConsumeIntegralInRange<int>(0, 3); break;
            case 4: w->sendError = ERROR_ACCESS_DENIED; break;                    // another integrity level
            default: w->answerDelayMs = input.ConsumeIntegralInRange<UINT>(0, 3000); break;
            }
        }
        break;
    case kChangeCloseBehaviour:
        if (FakeWindow *w = desktop.window(pickWindow(input)))
            w->onClose = static_cast<FakeCloseBehaviour>(input.ConsumeIntegralInRange<int>(0, 2));
        break;
    case kChangeIcons:
        if (FakeWindow *w = desktop.window(pickWindow(input))) {
            ++run.desktopChanges;
            // Icons answered by WM_GETICON, class icons only, or none at all.
            switch (input.ConsumeIntegralInRange<int>(0, 2)) {
            case 0: w->iconBig = desktop.newIcon(); w->iconSmall = nullptr; w->iconSmall2 = desktop.newIcon(); break;
            case 1: w->iconBig = w->iconSmall = w->iconSmall2 = nullptr; w->classIcon = desktop.newIcon(); break;
            default: w->iconBig = w->iconSmall = w->iconSmall2 = w->classIcon = w->classIconSmall = nullptr; break;
            }
        }
        break;
    case kSetForeground:
        desktop.setForeground(input.ConsumeBool() ? pickWindow(input) : nullptr);
        break;
    case kEndProcess:
        // The application exits on its own: all its windows go at once.
        if (FakeWindow *w = desktop.window(pickWindow(input))) {
            const DWORD processId = w->processId;
            for (HWND hwnd : run.windows) {
                FakeWindow *other = desktop.window(hwnd);
                if (other != nullptr && other->processId == processId) desktop.destroyWindow(hwnd);
            }
            forgetDestroyedWindows();
        }
        break;
    case kProcessKnobs:
        if (FakeWindow *w = desktop.window(pickWindow(input))) {
            if (FakeProcess *process = desktop.process(w->processId)) {
                process->canOpenForTermination = input.ConsumeBool();
                process->terminateFails = input.ConsumeBool();
            }
        }
        break;
    case kSettings:
        switch (input.ConsumeIntegralInRange<int>(0, 2)) {
        case 0: g_dwCallTerminateProcess = input.ConsumeBool() ? 1 : 0; break;
        case 1:
            // As start-up finds it; a deletion asks the desktop again.
            g_hwndShell = input.ConsumeBool() ? pickWindow(input) : nullptr;
            desktop.setShellWindow(g_hwndShell);
            break;
        default: desktop.scriptForegroundResults({input.ConsumeBool(), input.ConsumeBool(), input.ConsumeBool()}); break;
        }
        break;
    case kArmEnumerationChange:
        run.enumChangesArmed = input.ConsumeIntegralInRange<int>(1, 3);
        break;
    case kImageKnobs:
        if (run.openDialog != nullptr && input.ConsumeBool()) {
            faketree::setInsertFailures(run.openDialog, 1, input.ConsumeIntegralInRange<int>(0, 3));
        } else if (FakeWindow *w = desktop.window(pickWindow(input))) {
            HICON icon = w->iconSmall != nullptr ? w->iconSmall : w->iconBig;
            if (icon != nullptr) {
                if (input.ConsumeBool())
                    fakeimg::setIconInfoFails(icon, input.ConsumeBool());
                else
                    fakeimg::setAddFailsForIcon(icon, input.ConsumeBool());
                ++run.desktopChanges;
            }
        }
        break;

    case kDiscovery:
        discoveryPass();
        if (run.waitDepth == 0) g_seenWindows.clear();
        break;
    case kDiscoveryAndPrune:
        // The program prunes only while no dialog is open.
        if (run.phase != Phase::Open) pruneInactiveWindows(discoveryPass());
        break;
    case kRefresh:
        // The pass of an opening that also rereads the known windows.
        discoveryPass(true);
        if (run.waitDepth == 0) g_seenWindows.clear();
        break;
    case kNextWindow: globalSelectNextWindow(); break;
    case kPreviousWindow: globalSelectPreviousWindow(); break;
    case kNextGroup: globalSelectNextGroup(); break;
    case kPreviousGroup: globalSelectPreviousGroup(); break;
    case kTakeSnapshot:
        // The program takes the snapshot when a switch opens, before its
        // dialog exists: the copy holds no item handle below the root.
        if (run.phase != Phase::Open) takeSnapshot();
        break;
    case kRestoreAndClose:
        // Cancel: the tree comes back from the snapshot and the dialog ends.
        if (run.phase == Phase::Open) {
            restoreSnapshot();
            closeAfterCancel();
            g_rootGroup.clearHtis();
        } else if (run.phase == Phase::Idle) {
            restoreSnapshot();
            g_rootGroup.clearHtis();
        }
        break;
    case kEndAndDiscard:
        if (run.phase == Phase::Open) {
            endSwitch(false);
        } else if (run.phase == Phase::Idle) {
            discardSnapshot();
        }
        break;
    case kCreateGroup: createGroup(); break;
    case kCreateGroupFromSelected: createGroupFromSelected(); break;
    case kDeleteGroup:
        // Emptying the root leaves little to work on: mostly a subgroup.
        if (g_rootGroup.selected != 0 && input.ConsumeIntegralInRange<int>(0, 3) != 0) break;
        deleteGroup();
        break;

    case kHotkey:
    case kHotkey2:
    case kHotkey3: {
        UINT id = input.ConsumeIntegralInRange<UINT>(kHotkeyNextWindow - 1, kHotkeyCancelShift + 1);
        // Alt+Tab and Alt+Delete most often.
        if (op == kHotkey2) id = kHotkeyNextWindow;
        if (op == kHotkey3) id = input.ConsumeBool() ? kHotkeyDeleteGroup : kHotkeyGroupFromSelected;
        if (id == kHotkeyDeleteGroup) {
            if (g_rootGroup.selected != 0 && input.ConsumeIntegralInRange<int>(0, 3) != 0) break;
            noteEffect(g_rootGroup.selected != 0 ? "root emptied by the hotkey"
                       : run.phase == Phase::Open ? "group deleted by the hotkey, dialog open"
                                                  : "group deleted by the hotkey, no dialog");
        }
        pressHotkey(id);
        break;
    }
    case kDialogInit:
        if (run.phase == Phase::Opening && run.pendingDialog == nullptr) {
            run.nextDialog += 0x10;
            const HWND hwnd = reinterpret_cast<HWND>(run.nextDialog);
            faketree::createTree(hwnd);
            Dialog dialog;
            dialog.hwnd = hwnd;
            run.dialogs.push_back(dialog);
            run.pendingDialog = hwnd;
            // Deferred while the main thread is inside a command.
            run.posted.push_back(Posted{Posted::Init, hwnd, run.waitDepth > 0});
            if (run.waitDepth == 0) runPosted();
        }
        break;
    case kDialogFails:
        // The dialog could not be created: the thread ends, the switch is
        // idle again (the snapshot stays for the next opening).
        if (run.phase == Phase::Opening && run.pendingDialog == nullptr) run.phase = Phase::Idle;
        break;
    case kAltRelease:
        // The hook decides at once; the ending itself is posted.
        if (g_bDeletingGroup == 0 && g_hwndSwitcherDialog != nullptr)
            run.posted.push_back(Posted{Posted::AltEnding, g_hwndSwitcherDialog});
        break;
    case kFocusLoss:
        if (HWND dialog = pickDialog(input)) run.posted.push_back(Posted{Posted::FocusEnding, dialog});
        break;
    case kSwitcherThreadEnds:
        // An ended dialog's thread takes the message that destroys it.
        for (const Dialog &dialog : run.dialogs) {
            if (dialog.hwnd != run.openDialog && dialog.hwnd != run.pendingDialog) {
                destroyDialog(dialog.hwnd);
                break;
            }
        }
        break;

    // While a drag runs the dialog holds the mouse capture: its tree sees
    // no clicks.
    case kDoubleClick:
        if (HWND dialog = input.ConsumeIntegralInRange<int>(0, 15) == 0 ? reinterpret_cast<HWND>(0xBAD0) : pickDialog(input))
            if (!isDragging(dialog)) mouseDoubleClickOn(input, dialog);
        break;
    case kRightClick:
        if (HWND dialog = pickDialog(input))
            if (!isDragging(dialog)) mouseRightClickOn(input, dialog);
        break;
    case kExpansion:
        if (HWND dialog = pickDialog(input))
            if (!isDragging(dialog)) expansionOn(input, dialog);
        break;
    case kDragBegin:
        if (Dialog *dialog = dialogOf(pickDialog(input))) dragBeginOn(input, *dialog);
        break;
    case kDragMove:
        if (Dialog *dialog = dialogOf(pickDialog(input))) dragMoveOn(input, *dialog);
        break;
    case kDrop:
        if (Dialog *dialog = dialogOf(pickDialog(input))) dropOn(*dialog);
        break;
    case kItemDroppedDirect:
        itemDroppedDirectly(input);
        break;
    case kOpCount:
        break;
    }
}

// The operations of the main loop, each as often as its weight: switches
// last long enough for the mouse to work in them, and the trees grow.
const std::vector<Op> &weightedOps() {
    static const std::vector<Op> ops = [] {
        std::vector<Op> all;
        for (int op = 0; op < kOpCount; ++op) {
            int weight = 2;
            switch (op) {
            case kAltRelease: case kFocusLoss: case kEndAndDiscard: case kRestoreAndClose: case kDialogFails:
            case kDestroyWindow: case kEndProcess: case kSettings: case kImageKnobs:
                weight = 1;
                break;
            case kAddWindow: case kDialogInit: case kHotkey: case kHotkey2: case kHotkey3: case kCreateGroup:
                weight = 3;
                break;
            case kDoubleClick: case kRightClick: case kExpansion: case kDragBegin: case kDragMove: case kDrop:
                weight = 4;
                break;
            default:
                break;
            }
            all.insert(all.end(), static_cast<std::size_t>(weight), static_cast<Op>(op));
        }
        return all;
    }();
    return ops;
}

// Runs one input from a fresh start; returns the number of operations.
int runInput(const std::uint8_t *data, std::size_t size) {
    resetWorld();
    FuzzedDataProvider input(data, size);
    Run run;
    run.input = &input;
    g_run = &run;
    g_inputData = data;
    g_inputSize = size;
    fakeDesktop().duringSendWait = duringWait;
    fakeDesktop().beforeEnumCallback = beforeEnumeration;

    for (run.steps = 0; run.steps < kMaxStepsPerInput && input.remaining_bytes() > 0; ++run.steps) {
        const std::vector<Op> &ops = weightedOps();
        runOp(ops[input.ConsumeIntegralInRange<std::size_t>(0, ops.size() - 1)]);
        afterOperation();
        runPosted();
        checkAll();
        if (run.phase == Phase::Open) noteEffect("steps ending with the dialog open");
        if (g_traceTrees && run.openDialog != nullptr) {
            std::fprintf(stderr, "%s  caret %p\n", faketree::dump(run.openDialog).c_str(),
                         static_cast<void *>(faketree::caret(run.openDialog)));
        }
        tally();
        clearCapturedLogLines();
        fakeDesktop().clearCalls();
    }
    // The program ends: the switch closes and every dialog goes.
    if (run.phase == Phase::Open) endSwitch(false);
    discardSnapshot();
    run.posted.clear();
    run.phase = Phase::Idle;
    run.pendingDialog = nullptr;
    while (!run.dialogs.empty()) destroyDialog(run.dialogs.front().hwnd);
    checkAll();

    fakeDesktop().duringSendWait = nullptr;
    fakeDesktop().beforeEnumCallback = nullptr;
    g_run = nullptr;
    g_inputData = nullptr;
    return run.operations;
}

// --ops=N [--seed=S]: N operations over inputs drawn from a seeded
// generator, so a run is the same every time. Prints the figures.
int runOperations(unsigned long long wanted, unsigned long long seed) {
    static Figures figures;
    g_figures = &figures;
    std::mt19937_64 random(seed);
    std::vector<std::uint8_t> data;
    unsigned long long inputs = 0;
    unsigned long long nextReport = 100000;
    const auto start = std::chrono::steady_clock::now();
    while (g_totalOperations < wanted) {
        data.resize(std::uniform_int_distribution<std::size_t>(64, 4096)(random));
        for (std::uint8_t &byte : data) byte = static_cast<std::uint8_t>(random());
        runInput(data.data(), data.size());
        ++inputs;
        if (g_totalOperations >= nextReport) {
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::printf("%llu operations, %llu inputs, %.1f s\n", g_totalOperations, inputs, seconds);
            std::fflush(stdout);
            nextReport += 100000;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("operations by kind (%llu of them inside a wait):\n", figures.inWait);
    for (int op = 0; op < kOpCount; ++op) std::printf("  %-24s %llu\n", kOpNames[op], figures.byOp[op]);
    std::printf("calls on other applications:\n");
    for (const auto &entry : figures.calls) std::printf("  %-40s %llu\n", entry.first.c_str(), entry.second);
    std::printf("effects:\n");
    for (const auto &entry : figures.effects) std::printf("  %-48s %llu\n", entry.first.c_str(), entry.second);
    std::printf("log lines:\n");
    for (const auto &entry : figures.logLines) {
        std::string text;
        for (char16_t c : entry.first) text += c < 0x80 ? static_cast<char>(c) : '?';
        std::printf("  %8llu  %s\n", entry.second, text.c_str());
    }
    std::printf("done: %llu operations in %llu inputs (seed %llu), %.1f s, every check held\n", g_totalOperations,
                inputs, seed, seconds);
    g_figures = nullptr;
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    unsigned long long ops = 0, seed = 1;
    for (int i = 1; i < *argc; ++i) {
        const char *arg = (*argv)[i];
        if (std::strncmp(arg, "--ops=", 6) == 0) ops = std::strtoull(arg + 6, nullptr, 10);
        if (std::strncmp(arg, "--seed=", 7) == 0) seed = std::strtoull(arg + 7, nullptr, 10);
    }
    if (ops != 0) std::exit(runOperations(ops, seed));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    runInput(data, size);
    return 0;
}
