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
// be answered) and posted ones (taken by its message loop). On top of it runs
// the program's own switch life cycle (shell/lifecycle.h), with a platform
// made of these ports: hotkeys, endings, hand-offs and requests go through
// the very functions the main window calls; the switcher threads run the
// dialog's initialisation hand-off, fill their tree from a plan of the model
// (switcher/population_plan.h) and run the dialog's clicks, expansion
// records and drags through the handlers of editing/mouse.h and
// editing/dragdrop.h.
//
// A user thread drives all of it at random: hotkeys, Alt releases (some the
// hook never sees, as when the system skips a slow hook), quick taps,
// clicks, drags, focus losses, tray-menu requests (also from inside a
// command's waits), windows that open, close and hang. The checks: no data
// race (the suite runs under ThreadSanitizer in preset native-tsan), no
// model access off the main thread (PLR_ASSERT_MODEL_THREAD aborts), the
// model's invariants after every command (the life cycle aborts in test
// builds), no message naming a dead item, no leaked image list or bitmap,
// every wait bounded, every switch that opened ended exactly once, and
// every dialog that stayed was told to end exactly once.
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
#include "shell/lifecycle.h"
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

// The user holds Alt (what GetAsyncKeyState would say).
std::atomic<bool> g_altDown{false};
// The opening gate (set by the life cycle on the main thread, read by the
// switcher threads).
std::atomic<bool> g_gateOpen{true};

struct DragState {
    bool dragging = false;
    HTREEITEM target = nullptr;
};

// One switcher thread and its dialog.
struct Switcher {
    unsigned serial = 0;
    HWND dialog = nullptr;
    DragState drag;  // its own thread only
    Port port;
    std::thread thread;
    std::atomic<bool> finished{false};
    std::atomic<bool> stayed{false};  // its initialisation said it stays
    int endMessages = 0;              // guarded by g_mutex
    int invalidHandleUses = 0;        // counted by its own thread before the tree goes
};

// Guarded by g_mutex: the switchers whose threads run, for the tree router
// and for the user thread, which sends its clicks to the newest one.
std::map<HWND, Switcher *> g_liveSwitchers;
Switcher *g_newestSwitcher = nullptr;

// The test's side of the main window (main thread only).
struct MainWindow {
    std::unique_ptr<Switcher> switcher;          // the newest switcher thread
    std::vector<std::unique_ptr<Switcher>> all;  // every switcher, kept to check at the end
    std::uintptr_t nextDialog = 0xD5000;
    bool quit = false;

    // Figures.
    int refusedHandOffs = 0, trayMenus = 0, queuedRequests = 0, plannedPopulations = 0, filledAfterWait = 0;
    int hookSkipped = 0;
    std::string problem;
};
MainWindow *g_main = nullptr;

// Requests of the test's main window (runRequest).
const UINT kTrayMenu = 1;  // the menu opens and closes without a choice
const UINT kExit = 2;      // Exit: as WM_DESTROY does

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

Switcher *switcherOf(HWND dialog) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_liveSwitchers.find(dialog);
    return it == g_liveSwitchers.end() ? nullptr : it->second;
}

// ----- the platform of the life cycle

bool startSwitcherThread(unsigned serial) {
    std::unique_ptr<Switcher> switcher(new Switcher());
    switcher->serial = serial;
    g_main->nextDialog += 0x10;
    switcher->dialog = reinterpret_cast<HWND>(g_main->nextDialog);
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_liveSwitchers[switcher->dialog] = switcher.get();
        g_newestSwitcher = switcher.get();
    }
    Switcher *raw = switcher.get();
    switcher->thread = std::thread([raw]() { switcherThread(raw); });
    if (g_main->switcher) g_main->all.push_back(std::move(g_main->switcher));
    g_main->switcher = std::move(switcher);
    return true;
}

// Waits, taking sent messages, for the newest switcher thread.
bool switcherThreadEnded(DWORD timeoutMs) {
    if (!g_main->switcher) return true;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!g_main->switcher->finished) {
        if (Clock::now() >= deadline) return false;
        takeSentMessagesFor(g_mainPort, std::chrono::microseconds(200));
    }
    g_main->switcher->thread.join();
    g_main->all.push_back(std::move(g_main->switcher));
    return true;
}

void setOpeningGate(bool open) { g_gateOpen = open; }

// The dialog is told to end (a null message); it does so on its own thread.
void endDialog(HWND dialog) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_liveSwitchers.find(dialog);
    if (it == g_liveSwitchers.end()) return;
    ++it->second->endMessages;
    it->second->port.posted.push_back(nullptr);  // null: the end
    g_changed.notify_all();
}

// As the program fills it: by the dialog's own thread from a plan of the
// model while it waits in its initialisation hand-off, item by item from
// here when the initialisation had to wait.
void fillTree(HWND dialog, bool withinHandOff) {
    Switcher *owner = switcherOf(dialog);
    if (!withinHandOff || owner == nullptr) {
        ++g_main->filledAfterWait;
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

bool altKeyDown() { return g_altDown; }

void runRequest(UINT message, WPARAM, LPARAM) {
    EXPECT_EQ(std::this_thread::get_id(), g_mainThread);
    if (modelCommandRunning()) noteProblem("a request ran inside a command");
    if (message == kTrayMenu) {
        ++g_main->trayMenus;
        // The menu's own loop takes messages: a hotkey may run inside it.
        takeSentMessagesFor(g_mainPort, std::chrono::microseconds(50));
        return;
    }
    if (message != kExit || g_main->quit) return;
    stopSwitcherForExit();
    // WM_DESTROY of the test: every switcher thread, old ones too, is gone
    // before the model is torn down.
    const Clock::time_point deadline = Clock::now() + kWaitBound;
    for (;;) {
        bool allFinished = true;
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            allFinished = g_liveSwitchers.empty();
        }
        if (allFinished) break;
        if (Clock::now() >= deadline) deadlock("the wait for the switcher threads at exit");
        takeSentMessagesFor(g_mainPort, std::chrono::microseconds(200));
    }
    g_main->quit = true;
}

// A request arriving at the main window (the tray icon's callback).
void deliverRequest(UINT message) {
    if (queueWhileCommandRuns(message, 0, 0)) {
        ++g_main->queuedRequests;
        return;
    }
    runRequest(message, 0, 0);
}

void wake() {
    postTo(g_mainPort, []() { runPendingSwitchWork(); });
}

const SwitchPlatform kTestPlatform = {startSwitcherThread, switcherThreadEnded, setOpeningGate, endDialog,
                                      fillTree,            altKeyDown,          runRequest,     wake};

// ------------------------------------------------------------ the switcher

thread_local std::mt19937 t_random;

LRESULT callFunction(void *context) { return (*static_cast<const std::function<LRESULT()> *>(context))(); }

// The dialog's hand-off to the main thread (runOnMainThread, WM_PLR_RUN).
LRESULT runOnMainThread(Switcher *self, PlrMainThreadFn fn, void *context) {
    return sendTo(g_mainPort, self->port, [fn, context]() {
        if (modelCommandRunning() && fn == callFunction) ++g_main->refusedHandOffs;
        return runHandedOverWork(fn, context);
    });
}
LRESULT runOnMainThread(Switcher *self, std::function<LRESULT()> work) {
    return runOnMainThread(self, callFunction, &work);
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
                ExpansionRecord record = {dialog, item, action};
                runOnMainThread(self, expansionHandedOver, &record);
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
    default: {  // the tree loses the focus: posted to the main window
        const unsigned serial = self->serial;
        postTo(g_mainPort, [serial]() { switchFocusLost(serial); });
        return;
    }
    }
}

void switcherThread(Switcher *self) {
    t_random.seed(static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(self->dialog)));
    const HWND dialog = self->dialog;
    faketree::createTree(dialog);

    const Clock::time_point gateDeadline = Clock::now() + std::chrono::seconds(5);
    while (!g_gateOpen && Clock::now() < gateDeadline) std::this_thread::sleep_for(std::chrono::microseconds(50));
    DialogInitialisation init = {dialog, self->serial};
    const bool stay = runOnMainThread(self, switcherDialogInitialising, &init) != 0;
    self->stayed = stay;
    // A dialog that ended while it opened could still have a user's input
    // queued, and the focus it never had cannot go.
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
        setSwitchPlatform(nullptr);
        resetSwitchLifeCycle();
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

void pressHotkey(UINT id) {
    g_altDown = true;
    postTo(g_mainPort, [id]() { switchHotkey(id); });
}

// The system calls the hook on the main thread, which takes it as a sent
// message; a hook that took too long is skipped, and then only the key's
// state says that Alt is up.
void releaseAlt(Port *self, bool hookSkipped) {
    g_altDown = false;
    if (!hookSkipped) sendTo(g_mainPort, *self, []() {
        switchAltReleased();
        return LRESULT(0);
    });
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
            pressHotkey(id);
            // A quick tap: Alt goes up right behind the key, before the
            // switcher has opened.
            if (roll(4) == 0) releaseAlt(self, roll(5) == 0);
        } else if (what < 40) {
            releaseAlt(self, roll(8) == 0);
        } else if (what < 42) {
            postTo(g_mainPort, []() { deliverRequest(kTrayMenu); });
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
        resetSwitchLifeCycle();
        plrSetModelThread();
        g_mainThread = std::this_thread::get_id();
        MainWindow window;
        g_main = &window;
        setSwitchPlatform(&kTestPlatform);
        g_gateOpen = true;
        g_altDown = false;
        faketree::setSendRouter(routeTreeMessage);
        // The main thread takes sent messages while it waits on another
        // application; now and then the tray icon's callback arrives then,
        // as the shell sends it.
        std::mt19937 sendWaitRandom(seed);
        fakeDesktop().duringSendWait = [&sendWaitRandom](HWND, UINT) {
            if (std::this_thread::get_id() != g_mainThread) return;
            if (sendWaitRandom() % 16 == 0) deliverRequest(kTrayMenu);
            takeSentMessagesFor(g_mainPort, std::chrono::microseconds(50));
        };

        Port userPort;
        std::thread user([seed, events, &userPort]() {
            userThread(seed, events, &userPort);
            postTo(g_mainPort, []() { deliverRequest(kExit); });
        });
        while (!window.quit) {
            std::function<void()> message = getMessage(g_mainPort);
            if (message) message();
            if (!modelCommandRunning() && g_hwndSwitcherDialog != nullptr) checkItems(g_hwndSwitcherDialog, &g_rootGroup);
            clearCapturedLogLines();
        }
        user.join();
        faketree::setSendRouter(nullptr);
        fakeDesktop().duringSendWait = nullptr;

        EXPECT_EQ(window.problem, "");
        // Every switch that opened ended exactly once, and every dialog that
        // stayed was told to end exactly once; one that did not stay ended
        // on its own and was told nothing.
        const SwitchCounts counts = switchCounts();
        EXPECT_EQ(counts.opened, counts.altEndings + counts.focusEndings + counts.cancelEndings +
                                     counts.abortedOpenings + counts.otherEndings);
        if (window.switcher) window.all.push_back(std::move(window.switcher));
        EXPECT_EQ(window.all.size(), counts.opened);
        int stayed = 0;
        for (const std::unique_ptr<Switcher> &switcher : window.all) {
            if (switcher->thread.joinable()) switcher->thread.join();
            EXPECT_TRUE(switcher->finished);
            EXPECT_EQ(switcher->endMessages, switcher->stayed ? 1 : 0) << "switch " << switcher->serial;
            EXPECT_EQ(switcher->invalidHandleUses, 0) << "switch " << switcher->serial;
            stayed += switcher->stayed ? 1 : 0;
        }
        std::printf("seed %u: %d events, %u switches (%u Alt, %u focus, %u cancel endings, %u aborted, %u other), "
                    "%d dialogs shown, %d hand-offs refused during a command, %d trees filled after a wait, %d by "
                    "their own thread, %d tray menus (%d queued behind a command)\n",
                    seed, events, counts.opened, counts.altEndings, counts.focusEndings, counts.cancelEndings,
                    counts.abortedOpenings, counts.otherEndings, stayed, window.refusedHandOffs,
                    window.filledAfterWait, window.plannedPopulations, window.trayMenus, window.queuedRequests);
        EXPECT_GT(counts.opened, 10u);
        EXPECT_GT(counts.altEndings, 0u);
        EXPECT_GT(counts.focusEndings, 0u);
        EXPECT_GT(window.plannedPopulations, 0);
        EXPECT_GT(window.queuedRequests, 0);

        EXPECT_TRUE(g_liveSwitchers.empty());
        EXPECT_EQ(faketree::messagesWithoutTree(), 0);
        EXPECT_EQ(fakeimg::liveImageLists(), 0);
        EXPECT_EQ(fakeimg::liveBitmaps(), 0);
        EXPECT_EQ(fakeDesktop().openHandleCount(), 0);
        EXPECT_EQ(g_hwndSwitcherDialog, nullptr);
        expectInvariants();
        setSwitchPlatform(nullptr);
        resetSwitchLifeCycle();
        g_main = nullptr;
    }
}
