// The rule that keeps the two threads apart, under load.
//
// The main thread owns the model. The switcher thread runs the dialog and
// reaches the model only by handing work to the main thread with a
// synchronous send; the main thread carries such work out only where the real
// one takes sent messages: in its message loop and while it waits in a send
// of its own (a timed send to another application, a message to the
// switcher's tree). The tree control belongs to the switcher thread: what the
// main thread sends it is carried out there, while the main thread waits.
//
// Natively there is no message queue, so this file builds the smallest one
// that behaves like Win32's: every thread has a port with sent messages
// (served whenever the thread waits, also while it waits for its own send to
// be answered) and posted ones (taken by its message loop). On top of it the
// test runs the main window's handling as the program does it: hotkeys and
// the commands of shell/hotkeys.h inside a command scope that refuses
// handed-over work while it runs, the dialog's initialisation deferred until
// the command is over, the Alt ending decided in the keyboard hook and
// posted, the focus ending posted by the dialog, each ending taking effect
// only for the dialog that is still open; the tree filled by the dialog's own
// thread from a plan of the model (switcher/population_plan.h); and a
// switcher thread per switch that runs the dialog's clicks, expansion
// records and drags through the handlers of editing/mouse.h and
// editing/dragdrop.h.
//
// A user thread drives all of it at random: hotkeys, Alt releases, clicks,
// drags, focus losses, windows that open, close and hang. The checks: no data
// race (the suite runs under ThreadSanitizer in preset native-tsan), no
// model access off the main thread (PLR_ASSERT_MODEL_THREAD aborts), the
// model's invariants after every command, no message naming a dead item, no
// leaked image list or bitmap, every wait bounded, and every switch that
// opened ended exactly once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "editing/dragdrop.h"
#include "editing/mouse.h"
#include "model/invariants.h"
#include "model/snapshot.h"
#include "model_fixture.h"
#include "platform/desktop.h"
#include "platform/fake/fake_imagelist.h"
#include "platform/fake/fake_tree.h"
#include "shell/activation.h"
#include "shell/hotkeys.h"
#include "switcher/population.h"
#include "switcher/population_plan.h"

namespace {

typedef std::chrono::steady_clock Clock;

// The longest any thread waits for another; a wait that runs out is a
// deadlock and ends the test run at once.
const std::chrono::seconds kWaitBound(20);

std::thread::id g_mainThread;

[[noreturn]] void deadlock(const char *where) {
    std::fprintf(stderr, "thread stress: a bounded wait ran out in %s on the %s thread (deadlock)\n", where,
                 std::this_thread::get_id() == g_mainThread ? "main" : "other");
    std::fflush(stderr);
    std::abort();
}

// ------------------------------------------------------------ messages

// One lock for every queue: three threads, few messages.
std::mutex g_mutex;
std::condition_variable g_changed;

struct SentMessage {
    std::function<LRESULT()> work;
    LRESULT result = 0;
    bool done = false;
};

struct Port {
    std::deque<SentMessage *> sent;
    std::deque<std::function<void()>> posted;
};

// Runs the messages sent to `self`; the lock is released while each runs.
void serveSent(Port &self, std::unique_lock<std::mutex> &lock) {
    while (!self.sent.empty()) {
        SentMessage *message = self.sent.front();
        self.sent.pop_front();
        lock.unlock();
        const LRESULT result = message->work();
        lock.lock();
        message->result = result;
        message->done = true;
        g_changed.notify_all();
    }
}

// SendMessageW: `work` runs on the thread that owns `target`; the sender
// waits, and carries out what is sent to it meanwhile.
LRESULT sendTo(Port &target, Port &self, std::function<LRESULT()> work) {
    SentMessage message;
    message.work = std::move(work);
    std::unique_lock<std::mutex> lock(g_mutex);
    target.sent.push_back(&message);
    g_changed.notify_all();
    const Clock::time_point deadline = Clock::now() + kWaitBound;
    for (;;) {
        serveSent(self, lock);
        if (message.done) return message.result;
        if (Clock::now() >= deadline) deadlock("a send");
        g_changed.wait_until(lock, deadline);
    }
}

void postTo(Port &target, std::function<void()> work) {
    std::lock_guard<std::mutex> lock(g_mutex);
    target.posted.push_back(std::move(work));
    g_changed.notify_all();
}

// GetMessageW: serves sent messages until a posted one arrives.
std::function<void()> getMessage(Port &self) {
    std::unique_lock<std::mutex> lock(g_mutex);
    const Clock::time_point deadline = Clock::now() + kWaitBound;
    for (;;) {
        serveSent(self, lock);
        if (!self.posted.empty()) {
            std::function<void()> work = std::move(self.posted.front());
            self.posted.pop_front();
            g_changed.notify_all();
            return work;
        }
        if (Clock::now() >= deadline) deadlock("a message loop");
        g_changed.wait_until(lock, deadline);
    }
}

// A wait on another application: sent messages are served for a moment.
void takeSentMessagesFor(Port &self, std::chrono::microseconds span) {
    std::unique_lock<std::mutex> lock(g_mutex);
    const Clock::time_point until = Clock::now() + span;
    do {
        serveSent(self, lock);
    } while (g_changed.wait_until(lock, until) != std::cv_status::timeout);
    serveSent(self, lock);
}

// ------------------------------------------------------------ the program

Port g_mainPort;

// One switcher thread and its dialog.
struct DragState {
    bool dragging = false;
    HTREEITEM target = nullptr;
};

struct Switcher {
    HWND dialog = nullptr;
    DragState drag;  // its own thread only
    Port port;
    std::thread thread;
    std::thread::id id;
    std::atomic<bool> finished{false};
    // Opened by the main thread when the press that started this switcher
    // has run; the dialog asks for its tree only then (or after the bound).
    std::atomic<bool> gateOpen{false};
    int invalidHandleUses = 0;  // counted by its own thread before the tree goes
};

// Guarded by g_mutex: the switchers whose threads run, for the tree router
// and for the user thread, which sends its clicks to the newest one.
std::map<HWND, Switcher *> g_liveSwitchers;
Switcher *g_newestSwitcher = nullptr;

// The main window's state of the switch (main thread only).
enum class Phase { Idle, Opening, Open, Closing };
struct MainWindow {
    Phase phase = Phase::Idle;
    int commandDepth = 0;
    HWND deferredInit = nullptr;
    enum class Ending { None, Alt, Focus } deferredEnding = Ending::None;
    HWND deferredEndingDialog = nullptr;
    std::unique_ptr<Switcher> switcher;          // the newest switcher thread
    std::vector<std::unique_ptr<Switcher>> old;  // ended, to be joined
    std::uintptr_t nextDialog = 0xD5000;
    bool quit = false;

    // Figures.
    std::map<HWND, int> opened, ended;
    int commands = 0, refusedHandOffs = 0, deferredInits = 0, altEndings = 0, focusEndings = 0, cancels = 0;
    int plannedPopulations = 0;
    std::string problem;
};
MainWindow *g_main = nullptr;

void switcherThread(Switcher *self);

void noteProblem(const std::string &what) {
    if (g_main->problem.empty()) g_main->problem = what;
}

// Every record's item is a live item of the open tree, under its group's
// item, with the record's marker.
void checkItems(HWND dialog, const PLRGroup *group) {
    for (const PLRWindow *window : group->windows) {
        if (window->hti == nullptr) continue;
        if (!faketree::isItem(dialog, window->hti)) return noteProblem("a window record holds a dead item");
        const faketree::ItemView view = faketree::item(dialog, window->hti);
        if (group->hti != nullptr && view.parent != group->hti) return noteProblem("a window item is misplaced");
        if (faketree::stateImage(dialog, window->hti) != (window->selected ? STATE_IMAGE_SELECTED_WINDOW : 0))
            return noteProblem("a window marker is out of step");
    }
    for (const PLRGroup *sub : group->subgroups) {
        if (sub->hti != nullptr && !faketree::isItem(dialog, sub->hti))
            return noteProblem("a group record holds a dead item");
        checkItems(dialog, sub);
    }
}

void checkAfterCommand() {
    std::string problem;
    if (!plrCheckInvariants(&problem)) noteProblem("after a command: " + problem);
    if (g_hwndSwitcherDialog != nullptr) checkItems(g_hwndSwitcherDialog, &g_rootGroup);
}

void runDeferredSwitchWork();

// Brackets work on the model that may take sent messages while it waits:
// handed-over work is refused meanwhile, and what had to wait runs when the
// outermost scope closes.
class CommandScope {
public:
    CommandScope() { ++g_main->commandDepth; }
    ~CommandScope() {
        if (--g_main->commandDepth != 0) return;
        runDeferredSwitchWork();
        if (g_main->commandDepth == 0) checkAfterCommand();
        ++g_main->commands;
    }
    CommandScope(const CommandScope &) = delete;
    CommandScope &operator=(const CommandScope &) = delete;
};

// The dialog is told to end (a null message); it does so on its own thread.
void postEndDialog(HWND dialog) {
    if (dialog == nullptr) return;
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_liveSwitchers.find(dialog);
    if (it == g_liveSwitchers.end()) return;
    it->second->port.posted.push_back(nullptr);  // null: the end
    g_changed.notify_all();
}

Switcher *switcherOf(HWND dialog) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_liveSwitchers.find(dialog);
    return it == g_liveSwitchers.end() ? nullptr : it->second;
}

// WM_PLR_FOCUS_LOST, posted by the dialog's tree.
struct FocusLost {
    HWND dialog;
    void operator()() const;
};

// A dialog whose initialisation had to wait was shown meanwhile; a loss of
// focus it reported then came while the switch was still opening, where it
// ends nothing, and is dropped before the dialog counts as open.
void dropFocusLossesOfOpening() {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::deque<std::function<void()>> kept;
    for (std::function<void()> &message : g_mainPort.posted)
        if (message.target<FocusLost>() == nullptr) kept.push_back(std::move(message));
    g_mainPort.posted.swap(kept);
    g_changed.notify_all();
}

// The tree is filled as the main window fills it: by the dialog's own
// thread from a plan of the model while it waits in its initialisation
// hand-off, item by item from here when the initialisation had to wait.
void openDialog(HWND dialog, bool shownBefore) {
    if (shownBefore) dropFocusLossesOfOpening();
    g_hwndSwitcherDialog = dialog;
    g_main->phase = Phase::Open;
    ++g_main->opened[dialog];
    Switcher *owner = switcherOf(dialog);
    if (shownBefore || owner == nullptr) {
        populateTreeView(dialog);
        return;
    }
    g_rootGroup.hti = nullptr;
    const PopulationPlan plan = buildPopulationPlan();
    std::vector<HTREEITEM> items;
    bool filled = false;
    sendTo(owner->port, g_mainPort, [dialog, &plan, &items, &filled]() {
        items = applyPopulationPlan(dialog, plan);
        filled = true;
        return LRESULT(0);
    });
    if (filled && adoptPopulation(plan, items)) {
        ++g_main->plannedPopulations;
        return;
    }
    sendTreeMessage(dialog, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    populateTreeView(dialog);
}

void endSwitch(bool activateSelected) {
    const HWND dialog = g_hwndSwitcherDialog;
    g_hwndSwitcherDialog = nullptr;
    g_main->phase = Phase::Idle;
    ++g_main->ended[dialog];
    postEndDialog(dialog);
    if (activateSelected) {
        if (PLRWindow *selected = g_rootGroup.getSelectedWindow()) activateWindow(selected->hwnd);
    }
    discardSnapshot();
    g_rootGroup.clearHtis();
}

void requestEnding(HWND dialog, MainWindow::Ending ending) {
    if (dialog == nullptr || dialog != g_hwndSwitcherDialog) return;
    if (g_main->commandDepth > 0) {
        if (g_main->deferredEnding == MainWindow::Ending::None) {
            g_main->deferredEnding = ending;
            g_main->deferredEndingDialog = dialog;
        }
        return;
    }
    CommandScope scope;
    (ending == MainWindow::Ending::Alt ? g_main->altEndings : g_main->focusEndings)++;
    endSwitch(ending == MainWindow::Ending::Alt);
}

void runDeferredSwitchWork() {
    static bool running = false;
    if (running) return;
    running = true;
    for (;;) {
        if (g_main->deferredInit != nullptr) {
            const HWND dialog = g_main->deferredInit;
            g_main->deferredInit = nullptr;
            if (g_main->phase != Phase::Opening) continue;
            CommandScope scope;
            openDialog(dialog, true);
            continue;
        }
        if (g_main->deferredEnding != MainWindow::Ending::None) {
            const MainWindow::Ending ending = g_main->deferredEnding;
            const HWND dialog = g_main->deferredEndingDialog;
            g_main->deferredEnding = MainWindow::Ending::None;
            g_main->deferredEndingDialog = nullptr;
            if (dialog == nullptr || dialog != g_hwndSwitcherDialog) continue;
            CommandScope scope;
            (ending == MainWindow::Ending::Alt ? g_main->altEndings : g_main->focusEndings)++;
            endSwitch(ending == MainWindow::Ending::Alt);
            continue;
        }
        break;
    }
    running = false;
}

// The dialog's WM_INITDIALOG hand-off.
LRESULT switcherDialogInitialising(HWND dialog) {
    if (g_main->phase != Phase::Opening || dialog == nullptr || dialog != g_main->switcher->dialog) return 0;
    if (g_main->commandDepth > 0) {
        g_main->deferredInit = dialog;
        ++g_main->deferredInits;
        return 1;
    }
    CommandScope scope;
    openDialog(dialog, false);
    return 1;
}

// WM_PLR_RUN: any other handed-over work, refused while a command runs.
LRESULT runHandedOverWork(const std::function<LRESULT()> &work) {
    EXPECT_EQ(std::this_thread::get_id(), g_mainThread);
    if (g_main->commandDepth > 0) {
        ++g_main->refusedHandOffs;
        return 0;
    }
    CommandScope scope;
    return work();
}

void reapSwitchers() {
    for (auto it = g_main->old.begin(); it != g_main->old.end();) {
        if ((*it)->finished) {
            (*it)->thread.join();
            it = g_main->old.erase(it);
        } else {
            ++it;
        }
    }
}

Phase currentSwitchPhase() {
    const bool running = g_main->phase == Phase::Opening || g_main->phase == Phase::Open;
    if (running && g_main->switcher && g_main->switcher->finished) {
        if (g_main->phase == Phase::Open) noteProblem("a dialog ended while its switch was open");
        g_main->deferredInit = nullptr;
        g_main->phase = Phase::Idle;
    }
    return g_main->phase;
}

// Waits, taking sent messages, for the previous switcher thread.
bool previousSwitcherEnded() {
    if (!g_main->switcher) return true;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(2);
    while (!g_main->switcher->finished) {
        if (Clock::now() >= deadline) return false;
        takeSentMessagesFor(g_mainPort, std::chrono::microseconds(200));
    }
    g_main->switcher->thread.join();
    g_main->switcher.reset();
    return true;
}

void startSwitcherThread(UINT) {
    if (g_main->switcher) g_main->old.push_back(std::move(g_main->switcher));
    std::unique_ptr<Switcher> switcher(new Switcher());
    g_main->nextDialog += 0x10;
    switcher->dialog = reinterpret_cast<HWND>(g_main->nextDialog);
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_liveSwitchers[switcher->dialog] = switcher.get();
        g_newestSwitcher = switcher.get();
    }
    Switcher *raw = switcher.get();
    switcher->thread = std::thread([raw]() { switcherThread(raw); });
    g_main->switcher = std::move(switcher);
    g_main->phase = Phase::Opening;
}

// The opening press's passes are done: its dialog may ask for its tree.
void releaseSwitcherDialog(UINT) {
    if (g_main->switcher) g_main->switcher->gateOpen = true;
}

void closeSwitcherAfterCancel() {
    if (g_hwndSwitcherDialog == nullptr) return;
    ++g_main->ended[g_hwndSwitcherDialog];
    ++g_main->cancels;
    postEndDialog(g_hwndSwitcherDialog);
    g_hwndSwitcherDialog = nullptr;
    g_main->phase = Phase::Idle;
}

void onHotkey(UINT id) {
    CommandScope scope;
    reapSwitchers();
    const bool opening = currentSwitchPhase() == Phase::Idle;
    const bool mayStart = opening && previousSwitcherEnded();
    // As the program does: the dialog is made while the press runs and waits
    // for it before asking for its tree.
    if (mayStart) startSwitcherThread(id);
    const bool completed = runHotkeyPress(id, opening, mayStart ? releaseSwitcherDialog : nullptr);
    if (mayStart) {
        if (!completed && g_main->phase == Phase::Opening) g_main->phase = Phase::Idle;
        if (g_main->switcher) g_main->switcher->gateOpen = true;
    }
    if (!completed) return;
    if (isCancelHotkey(id)) closeSwitcherAfterCancel();
}

// WM_DESTROY: the open dialog ends, and the main thread waits for every
// switcher thread.
void stopForExit() {
    g_main->phase = Phase::Closing;
    if (g_hwndSwitcherDialog != nullptr) {
        ++g_main->ended[g_hwndSwitcherDialog];
        postEndDialog(g_hwndSwitcherDialog);
        g_hwndSwitcherDialog = nullptr;
        discardSnapshot();
        g_rootGroup.clearHtis();
    }
    postEndDialog(g_main->deferredInit);
    g_main->deferredInit = nullptr;
    if (g_main->switcher) g_main->old.push_back(std::move(g_main->switcher));
    for (const std::unique_ptr<Switcher> &old : g_main->old) old->gateOpen = true;
    const Clock::time_point deadline = Clock::now() + kWaitBound;
    for (;;) {
        reapSwitchers();
        if (g_main->old.empty()) break;
        if (Clock::now() >= deadline) deadlock("the wait for the switcher threads at exit");
        // A switcher still on its way to its initialisation is told to end
        // when it asks for it.
        takeSentMessagesFor(g_mainPort, std::chrono::microseconds(200));
    }
    g_main->quit = true;
}

// The keyboard hook, on the main thread: an Alt release ends the switch
// unless a deletion runs; the ending itself is posted.
LRESULT keyboardHookAltUp() {
    EXPECT_EQ(std::this_thread::get_id(), g_mainThread);
    if (g_bDeletingGroup != 0 || g_hwndSwitcherDialog == nullptr) return 0;
    const HWND dialog = g_hwndSwitcherDialog;
    postTo(g_mainPort, [dialog]() { requestEnding(dialog, MainWindow::Ending::Alt); });
    return 0;
}

// ------------------------------------------------------------ the switcher

thread_local std::mt19937 t_random;

// The dialog's hand-off to the main thread (runOnMainThread).
LRESULT runOnMainThread(Switcher *self, std::function<LRESULT()> work) {
    return sendTo(g_mainPort, self->port, [work]() { return runHandedOverWork(work); });
}

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

HTREEITEM pickVisible(HWND dialog) {
    const std::vector<HTREEITEM> items = visibleItems(dialog);
    if (items.empty()) return nullptr;
    return items[std::uniform_int_distribution<std::size_t>(0, items.size() - 1)(t_random)];
}

// One piece of user input on the dialog, as the control and DialogProc2
// handle it on this thread.
void userInput(Switcher *self, int kind) {
    const HWND dialog = self->dialog;
    DragState &drag = self->drag;
    switch (kind) {
    case 0:  // double click: the first click moves the caret
        if (drag.dragging) return;
        if (HTREEITEM item = pickVisible(dialog)) {
            sendTreeMessage(dialog, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
            runOnMainThread(self, [dialog]() {
                mouseDoubleClick(dialog);
                return LRESULT(0);
            });
        }
        return;
    case 1:  // right click: drop-highlighted while it is reported
        if (drag.dragging) return;
        if (HTREEITEM item = pickVisible(dialog)) {
            sendTreeMessage(dialog, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(item));
            runOnMainThread(self, [dialog]() {
                mouseRightClick(dialog);
                return LRESULT(0);
            });
            sendTreeMessage(dialog, TVM_SELECTITEM, TVGN_DROPHILITE, 0);
        }
        return;
    case 2:  // the user opens or closes a group
        if (drag.dragging) return;
        if (HTREEITEM item = pickVisible(dialog)) {
            const UINT action = faketree::isExpanded(dialog, item) ? TVE_COLLAPSE : TVE_EXPAND;
            if (sendTreeMessage(dialog, TVM_EXPAND, action, reinterpret_cast<LPARAM>(item))) {
                runOnMainThread(self, [dialog, item, action]() {
                    mouseItemExpanded(dialog, item, action);
                    return LRESULT(0);
                });
            }
        }
        return;
    case 3:  // a drag starts on an item
        if (drag.dragging) return;
        if (HTREEITEM item = pickVisible(dialog)) {
            if (runOnMainThread(self, [item]() { return LRESULT(dragSourceIsWindowItem(item) ? 1 : 0); }) != 0) {
                drag.dragging = true;
                drag.target = nullptr;
            }
        }
        return;
    case 4:  // the drag passes over an item
        if (!drag.dragging) return;
        if (HTREEITEM item = pickVisible(dialog)) {
            if (runOnMainThread(self, [item]() { return LRESULT(isGroupItem(item) ? 1 : 0); }) != 0) {
                if (faketree::caret(dialog) == item) sendTreeMessage(dialog, TVM_SELECTITEM, TVGN_DROPHILITE, 0);
                sendTreeMessage(dialog, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(item));
                drag.target = item;
            }
        }
        return;
    case 5: {  // the button is released
        if (!drag.dragging) return;
        const HTREEITEM target = drag.target;
        drag = DragState();
        runOnMainThread(self, [dialog, target]() {
            dropOnTarget(dialog, target);
            return LRESULT(0);
        });
        return;
    }
    default:  // the tree loses the focus: posted to the main window
        postTo(g_mainPort, FocusLost{dialog});
        return;
    }
}

void FocusLost::operator()() const { requestEnding(dialog, MainWindow::Ending::Focus); }

void switcherThread(Switcher *self) {
    self->id = std::this_thread::get_id();
    t_random.seed(static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(self->dialog)));
    const HWND dialog = self->dialog;
    faketree::createTree(dialog);

    const Clock::time_point gateDeadline = Clock::now() + std::chrono::seconds(5);
    while (!self->gateOpen && Clock::now() < gateDeadline) std::this_thread::sleep_for(std::chrono::microseconds(50));
    const bool stay = sendTo(g_mainPort, self->port, [dialog]() { return switcherDialogInitialising(dialog); }) != 0;
    while (stay) {
        std::function<void()> message = getMessage(self->port);
        if (!message) break;  // the main thread ended the dialog
        message();            // user input
    }
    // WM_DESTROY: the drag is dropped, the image lists and the control go.
    self->drag = DragState();
    releaseTreeImageLists(dialog);
    self->invalidHandleUses = faketree::invalidHandleUses(dialog);
    faketree::destroyTree(dialog);

    std::lock_guard<std::mutex> lock(g_mutex);
    g_liveSwitchers.erase(dialog);
    if (g_newestSwitcher == self) g_newestSwitcher = nullptr;
    self->port.posted.clear();
    self->finished = true;
    g_changed.notify_all();
}

// Tree messages go to the thread that owns the dialog.
LRESULT routeTreeMessage(HWND dialog, const std::function<LRESULT()> &deliver) {
    Switcher *owner = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        auto it = g_liveSwitchers.find(dialog);
        if (it != g_liveSwitchers.end()) owner = it->second;
    }
    if (owner == nullptr || std::this_thread::get_id() != g_mainThread) return deliver();
    return sendTo(owner->port, g_mainPort, deliver);
}

}  // namespace

// ------------------------------------------------------------ the test

class ThreadStressTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        faketree::reset();
        fakeimg::reset();
        g_dwLog = 1;
    }
    void TearDown() override {
        faketree::setSendRouter(nullptr);
        fakeDesktop().duringSendWait = nullptr;
        faketree::reset();
        fakeimg::reset();
        ModelTest::TearDown();
    }
};

// Waits until the posted messages of the main thread and of the newest
// dialog have been taken.
void waitUntilTaken() {
    std::unique_lock<std::mutex> lock(g_mutex);
    const bool taken = g_changed.wait_until(lock, Clock::now() + kWaitBound, []() {
        return g_mainPort.posted.empty() && (g_newestSwitcher == nullptr || g_newestSwitcher->port.posted.empty());
    });
    if (!taken) deadlock("the user's wait for the program");
}

// The user: hotkeys and Alt releases to the main thread, input to the newest
// dialog, and a desktop whose windows come, go and hang.
void userThread(unsigned seed, int events, Port *self) {
    std::mt19937 random(seed);
    std::vector<HWND> windows;
    auto roll = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    for (int i = 0; i < events; ++i) {
        const int what = roll(100);
        if (what < 30) {
            static const UINT kIds[] = {kHotkeyNextWindow, kHotkeyNextWindow, kHotkeyNextWindow, kHotkeyPreviousWindow,
                                        kHotkeyNextGroup, kHotkeyPreviousGroup, kHotkeyCreateGroup,
                                        kHotkeyCreateGroup, kHotkeyGroupFromSelected, kHotkeyDeleteGroup,
                                        kHotkeyCancel, kHotkeyCancelShift};
            const UINT id = kIds[roll(static_cast<int>(sizeof kIds / sizeof kIds[0]))];
            postTo(g_mainPort, [id]() { onHotkey(id); });
        } else if (what < 40) {
            sendTo(g_mainPort, *self, keyboardHookAltUp);
        } else if (what < 85) {
            const int kind = roll(7);
            std::lock_guard<std::mutex> lock(g_mutex);
            if (g_newestSwitcher != nullptr) {
                Switcher *target = g_newestSwitcher;
                target->port.posted.push_back([target, kind]() { userInput(target, kind); });
                g_changed.notify_all();
            }
        } else if (what < 93 || windows.size() < 3) {
            FakeWindow window;
            window.caption = roll(2) == 0 ? u"Editor" : u"Mail \U0001F600";
            window.onClose = static_cast<FakeCloseBehaviour>(roll(3));
            windows.push_back(fakeDesktop().createWindow(window));
            fakeDesktop().setForeground(windows.back());
        } else if (what < 97) {
            const std::size_t k = static_cast<std::size_t>(roll(static_cast<int>(windows.size())));
            fakeDesktop().destroyWindow(windows[k]);
            windows.erase(windows.begin() + static_cast<std::ptrdiff_t>(k));
        } else {
            fakeDesktop().setHung(windows[static_cast<std::size_t>(roll(static_cast<int>(windows.size())))],
                                  roll(2) == 0);
        }
        // A person is slower than the program: mostly the input waits until
        // the main thread and the dialog have taken what came before.
        if (roll(5) != 0) waitUntilTaken();
        if (roll(4) == 0) std::this_thread::sleep_for(std::chrono::microseconds(roll(300)));
    }
}

TEST_F(ThreadStressTest, HotkeysAndDialogHandlersRacingFromBothThreadsKeepTheModelOnTheMainThread) {
    const char *setting = std::getenv("PLR_STRESS_EVENTS");
    const int events = setting != nullptr ? std::atoi(setting) : 3000;
    for (unsigned seed : {1u, 2u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        resetModelWorld();
        faketree::reset();
        fakeimg::reset();
        plrSetModelThread();
        g_mainThread = std::this_thread::get_id();
        MainWindow window;
        g_main = &window;
        faketree::setSendRouter(routeTreeMessage);
        // The main thread takes sent messages while it waits on another
        // application.
        fakeDesktop().duringSendWait = [](HWND, UINT) {
            if (std::this_thread::get_id() == g_mainThread)
                takeSentMessagesFor(g_mainPort, std::chrono::microseconds(50));
        };

        Port userPort;
        std::thread user([seed, events, &userPort]() {
            userThread(seed, events, &userPort);
            postTo(g_mainPort, []() { stopForExit(); });
        });
        while (!window.quit) {
            std::function<void()> message = getMessage(g_mainPort);
            if (message) message();
            clearCapturedLogLines();
        }
        user.join();
        faketree::setSendRouter(nullptr);
        fakeDesktop().duringSendWait = nullptr;

        EXPECT_EQ(window.problem, "");
        // Every switch that opened ended exactly once.
        int switches = 0;
        for (const auto &entry : window.opened) {
            ++switches;
            EXPECT_EQ(entry.second, 1);
            EXPECT_EQ(window.ended[entry.first], 1) << "dialog " << entry.first;
        }
        for (const auto &entry : window.ended) EXPECT_EQ(window.opened.count(entry.first), 1u);
        EXPECT_GT(switches, 10);
        std::printf("seed %u: %d events, %d commands, %d switches (%d Alt, %d focus, %d cancel endings), "
                    "%d hand-offs refused during a command, %d initialisations deferred, %d trees filled by "
                    "their own thread\n",
                    seed, events, window.commands, switches, window.altEndings, window.focusEndings, window.cancels,
                    window.refusedHandOffs, window.deferredInits, window.plannedPopulations);
        EXPECT_GT(window.plannedPopulations, 0);

        EXPECT_TRUE(g_liveSwitchers.empty());
        EXPECT_EQ(faketree::messagesWithoutTree(), 0);
        EXPECT_EQ(fakeimg::liveImageLists(), 0);
        EXPECT_EQ(fakeimg::liveBitmaps(), 0);
        EXPECT_EQ(fakeDesktop().openHandleCount(), 0);
        EXPECT_EQ(g_hwndSwitcherDialog, nullptr);
        expectInvariants();
        g_main = nullptr;
    }
}
