// Whole switches against desktops that push the program's limits: captions
// at and past the 127-unit limit, with characters outside the Basic
// Multilingual Plane and a surrogate pair cut in half by the limit; two
// hundred windows; a window with no icon anywhere that answers no
// WM_GETICON; and windows that vanish between the moment the program learns
// of them and the moment it uses them.
//
// A switch here is what the main window does: the hotkey press
// (runHotkeyPress), the dialog's population, the commands, and the Alt
// ending (the selected window activated, the snapshot freed, the item handles
// cleared).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editing/groups.h"
#include "model/snapshot.h"
#include "platform/fake/fake_imagelist.h"
#include "shell/activation.h"
#include "shell/hotkeys.h"
#include "switcher_test_support.h"

namespace {

class ReliabilityDesktopTest : public SwitcherTest {
protected:
    // The press that opens a switch, then the dialog's initialisation.
    void openSwitch(UINT id = kHotkeyNextWindow) {
        ASSERT_TRUE(runHotkeyPress(id, true, nullptr));
        faketree::createTree(kDialog);
        openDialog();
    }
    // A press while the dialog is open.
    void press(UINT id) { ASSERT_TRUE(runHotkeyPress(id, false, nullptr)); }
    // The Alt ending.
    void releaseAlt() {
        g_hwndSwitcherDialog = nullptr;
        if (PLRWindow *selected = g_rootGroup.getSelectedWindow()) activateWindow(selected->hwnd);
        discardSnapshot();
        closeDialog();
    }

    PLRWindow *recordOf(HWND hwnd) { return g_rootGroup.findWindowByHwnd(hwnd); }

    // The open tree shows what a fresh population of the model shows, and
    // nothing named a dead item.
    void expectTreeMatchesModel() {
        EXPECT_EQ(outline(kDialog), freshOutline());
        expectTreeSound();
    }
    // After a record moved: it keeps its picture's index, which a fresh
    // population would give in tree order.
    void expectTreeSound() {
        EXPECT_EQ(faketree::invalidHandleUses(kDialog), 0) << reports(kDialog);
        expectInvariants();
    }

    static std::u16string firstUnits(const std::u16string &text, std::size_t units) {
        return text.substr(0, std::min(units, text.size()));
    }
};

// Captions are kept as the system returns them with a 128-unit buffer: at
// most 127 units. The cut may fall inside a surrogate pair, leaving its
// first half at the end; Windows cuts the same way, and since the program
// reads the foreground window's caption with the same limit, the lookup by
// caption still finds the record. Nothing else depends on the caption being
// well-formed.
TEST_F(ReliabilityDesktopTest, CaptionsAtAndPastTheLimitKeepTheirFirst127UnitsAndAreStillFound) {
    std::u16string faces;
    for (int i = 0; i < 250; ++i) faces += u"\U0001F642";
    const std::vector<std::u16string> texts = {
        u"",
        std::u16string(127, u'a'),
        std::u16string(500, u'c'),
        std::u16string(126, u'x') + u"\U0001F600 and more",  // the pair straddles units 126 and 127
        faces,                                                 // 250 pairs: cut after 63 and a half
        u"\U0001D11E clef",
    };
    std::vector<HWND> windows;
    for (const std::u16string &text : texts) windows.push_back(fakeDesktop().addAppWindow(text));

    for (std::size_t i = 0; i < windows.size(); ++i) {
        SCOPED_TRACE("window " + std::to_string(i));
        fakeDesktop().setForeground(windows[i]);
        openSwitch(kHotkeyCancel);  // opens without moving the selection
        PLRWindow *record = recordOf(windows[i]);
        ASSERT_NE(record, nullptr);
        const std::u16string expected = firstUnits(texts[i], 127);
        EXPECT_EQ(std::u16string(record->caption), expected);
        EXPECT_EQ(record->caption[expected.size()], 0);
        // Found by its (cut) caption: first in its group and selected.
        EXPECT_EQ(g_rootGroup.getSelectedWindow(), record);
        EXPECT_EQ(g_rootGroup.windows.front(), record);
        EXPECT_EQ(itemText(record->hti), expected);
        expectTreeMatchesModel();
        press(kHotkeyNextWindow);
        releaseAlt();
    }

    // The half pair at the end: exactly 127 units, the last one a lone high
    // surrogate, and the refresh pass keeps it that way.
    PLRWindow *straddling = recordOf(windows[3]);
    EXPECT_EQ(straddling->caption[126], 0xD83D);
    EXPECT_EQ(straddling->caption[127], 0);
    fakeDesktop().setForeground(windows[4]);
    openSwitch();
    EXPECT_EQ(recordOf(windows[4])->caption[126], 0xD83D);
    EXPECT_EQ(recordOf(windows[4])->caption[127], 0);

    // A group made from a window with a cut caption shows the same text.
    fakeDesktop().setForeground(windows[3]);
    g_rootGroup.getSelectedWindow()->select(false);
    straddling->select(true);
    createGroupFromSelected();
    EXPECT_EQ(itemText(straddling->hti), firstUnits(texts[3], 127));
    EXPECT_EQ(faketree::item(kDialog, straddling->hti).parent, g_rootGroup.subgroups.back()->hti);
    expectTreeSound();
    releaseAlt();
}

// Two captions that differ only past unit 127 are equal to the program: the
// foreground lookup takes the first record in tree order, as it does for any
// two equal captions.
TEST_F(ReliabilityDesktopTest, CaptionsThatDifferOnlyPastTheLimitLookTheSame) {
    const std::u16string prefix(127, u'p');
    const HWND first = fakeDesktop().addAppWindow(prefix + u" first");
    const HWND second = fakeDesktop().addAppWindow(prefix + u" second");
    fakeDesktop().setForeground(second);
    openSwitch(kHotkeyCancel);
    // The desktop lists the newer window first, so it is first in tree order.
    ASSERT_EQ(g_rootGroup.windows.size(), 2u);
    EXPECT_EQ(std::u16string(recordOf(first)->caption), std::u16string(recordOf(second)->caption));
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), g_rootGroup.windows.front());
    expectTreeMatchesModel();
    releaseAlt();
}

// Two hundred windows: every one gets a record, an item and its own picture,
// the window keys go round all of them, and emptying the root closes them all.
TEST_F(ReliabilityDesktopTest, TwoHundredWindowsGoThroughAWholeSwitch) {
    const int kWindows = 200;
    std::vector<HWND> windows;
    for (int i = 0; i < kWindows; ++i) {
        FakeWindow window;
        window.caption = u"window " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                         std::u16string(1, static_cast<char16_t>(u'0' + i / 26));
        window.iconBig = fakeDesktop().newIcon();
        window.iconSmall = fakeDesktop().newIcon();
        windows.push_back(fakeDesktop().createWindow(window));
    }
    fakeDesktop().setForeground(windows[0]);
    openSwitch();

    ASSERT_EQ(g_rootGroup.countWindows(), kWindows);
    EXPECT_EQ(faketree::itemCount(kDialog), kWindows + 1);
    const HIMAGELIST pictures = faketree::imageList(kDialog, TVSIL_NORMAL);
    EXPECT_EQ(fakeimg::imageCount(pictures), kWindows + 1);
    for (PLRWindow *record : g_rootGroup.windows)
        EXPECT_EQ(fakeimg::iconAt(pictures, record->imageIndex), fakeDesktop().window(record->hwnd)->iconSmall);
    expectTreeMatchesModel();

    // The opening press selected the second window; 199 more presses go
    // round to the first, one more to the second again.
    PLRWindow *second = g_rootGroup.getSelectedWindow();
    for (int i = 0; i < kWindows - 1; ++i) press(kHotkeyNextWindow);
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), g_rootGroup.windows.front());
    press(kHotkeyNextWindow);
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), second);
    press(kHotkeyPreviousWindow);
    press(kHotkeyPreviousWindow);
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), g_rootGroup.windows.back());

    press(kHotkeyGroupFromSelected);
    press(kHotkeyCreateGroup);
    EXPECT_EQ(faketree::itemCount(kDialog), kWindows + 3);
    expectTreeSound();

    g_rootGroup.select(true);
    fakeDesktop().clearCalls();
    press(kHotkeyDeleteGroup);
    int closeRequests = 0;
    for (const FakeDeskCall &call : fakeDesktop().callsOf(FakeDeskCall::SendMessageTimeout))
        closeRequests += call.message == WM_CLOSE;
    EXPECT_EQ(closeRequests, kWindows);
    EXPECT_EQ(g_rootGroup.countWindows(), 0);
    EXPECT_EQ(faketree::itemCount(kDialog), 0);
    EXPECT_EQ(fakeDesktop().openHandleCount(), 0);
    expectInvariants();
    releaseAlt();
}

// A window whose class has no icon and which answers no WM_GETICON costs one
// bounded wait per opening and shows the system's application icon; the
// windows after it keep their own pictures.
TEST_F(ReliabilityDesktopTest, AWindowWithoutAnyIconThatAnswersNoIconRequestShowsTheApplicationIcon) {
    FakeWindow mute;
    mute.caption = u"mute";
    mute.answers = false;  // not answering, and not (yet) counted hung
    const HWND silent = fakeDesktop().createWindow(mute);
    FakeWindow plain;
    plain.caption = u"plain";  // answers every request with no icon, no class icon
    const HWND bare = fakeDesktop().createWindow(plain);
    const HWND normal = fakeDesktop().addAppWindow(u"normal");
    fakeDesktop().window(normal)->iconSmall = fakeDesktop().newIcon();
    fakeDesktop().setForeground(normal);

    const std::uint64_t before = fakeDesktop().nowMs();
    openSwitch();
    // The opening's one pass waited once on the mute window.
    EXPECT_EQ(fakeDesktop().nowMs() - before, 250u);
    EXPECT_EQ(fakeDesktop().sendCount(silent, WM_GETICON), 2);  // once waiting 5 ms, once not

    const HIMAGELIST pictures = faketree::imageList(kDialog, TVSIL_NORMAL);
    EXPECT_EQ(fakeimg::iconAt(pictures, recordOf(silent)->imageIndex), FakeDesktop::applicationIcon());
    EXPECT_EQ(fakeimg::iconAt(pictures, recordOf(bare)->imageIndex), FakeDesktop::applicationIcon());
    EXPECT_EQ(fakeimg::iconAt(pictures, recordOf(normal)->imageIndex), fakeDesktop().window(normal)->iconSmall);
    expectTreeMatchesModel();

    // Selected and released: the activation probe waits its 250 ms and
    // leaves the window alone.
    g_rootGroup.getSelectedWindow()->select(false);
    recordOf(silent)->select(true);
    fakeDesktop().clearCalls();
    releaseAlt();
    EXPECT_TRUE(fakeDesktop().callsOf(FakeDeskCall::SetForegroundWindow).empty());
}

// Windows that vanish between enumeration and use: while their icons are
// asked for, before the Alt release activates them, while they wait for their
// close request, and as the foreground window the opening looks up.
TEST_F(ReliabilityDesktopTest, WindowsThatVanishBetweenEnumerationAndUseAreSkippedSafely) {
    FakeWindow slow;
    slow.caption = u"slow";
    slow.answers = false;
    const HWND vanishing = fakeDesktop().createWindow(slow);
    const HWND staying = fakeDesktop().addAppWindow(u"staying");
    const HWND later = fakeDesktop().addAppWindow(u"later");
    fakeDesktop().setForeground(staying);
    // The slow window closes while discovery waits for its icon.
    fakeDesktop().duringSendWait = [&](HWND hwnd, UINT) {
        if (hwnd == vanishing) fakeDesktop().destroyWindow(vanishing);
    };
    openSwitch(kHotkeyCancel);
    fakeDesktop().duringSendWait = nullptr;
    ASSERT_NE(recordOf(vanishing), nullptr) << "the record is made with what could be read";
    EXPECT_EQ(recordOf(vanishing)->hIconSmall, FakeDesktop::applicationIcon());
    expectTreeMatchesModel();

    // Selected, then gone before the release: nothing is activated.
    g_rootGroup.getSelectedWindow()->select(false);
    recordOf(later)->select(true);
    fakeDesktop().destroyWindow(later);
    fakeDesktop().clearCalls();
    releaseAlt();
    EXPECT_TRUE(fakeDesktop().calls().empty());

    // The next opening prunes both records.
    openSwitch(kHotkeyCancel);
    EXPECT_EQ(recordOf(vanishing), nullptr);
    EXPECT_EQ(recordOf(later), nullptr);
    ASSERT_NE(recordOf(staying), nullptr);
    releaseAlt();

    // A window that closes while the root is being emptied, before its turn:
    // its record is skipped, no stale process is opened.
    // Made first, so below `first` on the desktop and after it in the group.
    const HWND second = fakeDesktop().addAppWindow(u"second");
    const DWORD secondProcess = fakeDesktop().window(second)->processId;
    const HWND first = fakeDesktop().addAppWindow(u"first");
    fakeDesktop().window(first)->onClose = FakeCloseBehaviour::AsksModalQuestion;
    g_dwCallTerminateProcess = 1;
    fakeDesktop().setForeground(staying);
    openSwitch(kHotkeyCancel);
    fakeDesktop().duringSendWait = [&](HWND hwnd, UINT message) {
        if (message == WM_CLOSE && hwnd == first) fakeDesktop().destroyWindow(second);
    };
    fakeDesktop().clearCalls();
    deleteGroup();
    fakeDesktop().duringSendWait = nullptr;
    for (const FakeDeskCall &call : fakeDesktop().callsOf(FakeDeskCall::SendMessageTimeout))
        EXPECT_NE(call.hwnd, second);
    for (const FakeDeskCall &call : fakeDesktop().callsOf(FakeDeskCall::OpenProcess))
        EXPECT_NE(call.processId, secondProcess);
    EXPECT_EQ(fakeDesktop().openHandleCount(), 0);
    expectInvariants();
    releaseAlt();
}

// The foreground window can close between GetForegroundWindow and the read
// of its caption. Its caption then reads as empty, and looking that up
// selected whichever record has an empty caption, a window the user never
// had in front. The step is skipped for a window that is gone.
TEST_F(ReliabilityDesktopTest, AForegroundWindowThatIsGoneSelectsNoOtherWindow) {
    const HWND untitled = fakeDesktop().addAppWindow(u"");
    const HWND titled = fakeDesktop().addAppWindow(u"titled");
    const HWND gone = fakeDesktop().addAppWindow(u"gone soon");
    fakeDesktop().setForeground(titled);
    openSwitch(kHotkeyCancel);
    releaseAlt();
    ASSERT_EQ(g_rootGroup.getSelectedWindow(), recordOf(titled));

    // The foreground window closes just as the next switch opens: the
    // desktop still names it when asked.
    fakeDesktop().setForeground(gone);
    fakeDesktop().beforeEnumCallback = [&](HWND) {
        fakeDesktop().destroyWindow(gone);
        fakeDesktop().setForeground(gone);
    };
    ASSERT_TRUE(runOpeningSteps());
    fakeDesktop().beforeEnumCallback = nullptr;
    EXPECT_EQ(recordOf(untitled)->selected, 0);
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), recordOf(titled));
    EXPECT_EQ(recordOf(gone), nullptr);
    expectInvariants();

    // A live foreground window whose caption is empty is still looked up.
    fakeDesktop().setForeground(untitled);
    ASSERT_TRUE(runOpeningSteps());
    EXPECT_EQ(g_rootGroup.getSelectedWindow(), recordOf(untitled));
    EXPECT_EQ(g_rootGroup.windows.front(), recordOf(untitled));
}

}  // namespace
