// Construction, copying and destruction of window and group records.
#include <climits>

#include "model_fixture.h"

namespace {

std::u16string repeated(char16_t unit, std::size_t count) { return std::u16string(count, unit); }

// The captions of a group's own windows, in list order.
std::vector<std::u16string> captions(const PLRGroup &group) {
    std::vector<std::u16string> result;
    for (const PLRWindow *window : group.windows) result.emplace_back(window->caption);
    return result;
}

}  // namespace

// ---------------------------------------------------------------- numbering

TEST_F(ModelTest, GroupsAreNumberedFromOneAfterStartUp) {
    PLRGroup *first = addGroup(&g_rootGroup);
    PLRGroup *second = addGroup(first);
    PLRGroup *third = addGroup(&g_rootGroup);
    EXPECT_EQ(text(first->name), u"Group 1");
    EXPECT_EQ(text(second->name), u"Group 2");
    EXPECT_EQ(text(third->name), u"Group 3");
    EXPECT_EQ(g_groupCounter, 4);
}

TEST_F(ModelTest, NewGroupStartsEmptyUnselectedAndExpanded) {
    PLRGroup group;
    EXPECT_TRUE(group.subgroups.empty());
    EXPECT_TRUE(group.windows.empty());
    EXPECT_EQ(group.hti, nullptr);
    EXPECT_EQ(group.selected, 0);
    EXPECT_EQ(group.expanded, 1);
}

TEST_F(ModelTest, GroupMadeWhileNumberingIsOffHasNoNameAndTakesNoNumber) {
    g_numberNewGroups = 0;
    PLRGroup group;
    g_numberNewGroups = 1;
    for (int i = 0; i < PLRGroup::kNameUnits; ++i) ASSERT_EQ(group.name[i], 0) << "unit " << i;
    EXPECT_EQ(g_groupCounter, 1);
}

TEST_F(ModelTest, GroupNumberIsWrittenInDecimalWithItsSign) {
    g_groupCounter = INT_MIN;
    PLRGroup low;
    EXPECT_EQ(text(low.name), u"Group -2147483648");
    g_groupCounter = 1234567;
    PLRGroup high;
    EXPECT_EQ(text(high.name), u"Group 1234567");
}

// ---------------------------------------------------------------- window records

TEST_F(ModelTest, WindowAssignmentCopiesEveryFieldAndAllCaptionUnits) {
    PLRWindow source;
    source.hwnd = handle(0x1234);
    source.hIconBig = reinterpret_cast<HICON>(0x10);
    source.hIconSmall = reinterpret_cast<HICON>(0x20);
    for (int i = 0; i < PLRWindow::kCaptionUnits; ++i) source.caption[i] = static_cast<plr_char>(u'a' + i % 26);
    source.caption[3] = 0;  // units after the terminator are copied too
    source.selected = 1;
    source.hti = item(0x99);
    source.imageIndex = 7;

    PLRWindow copy;
    copy = source;
    EXPECT_EQ(copy.hwnd, source.hwnd);
    EXPECT_EQ(copy.hIconBig, source.hIconBig);
    EXPECT_EQ(copy.hIconSmall, source.hIconSmall);
    for (int i = 0; i < PLRWindow::kCaptionUnits; ++i) ASSERT_EQ(copy.caption[i], source.caption[i]) << "unit " << i;
    EXPECT_EQ(copy.selected, 1);
    EXPECT_EQ(copy.hti, item(0x99));
    EXPECT_EQ(copy.imageIndex, 7);

    PLRWindow &self = copy;
    copy = self;
    EXPECT_EQ(copy.hwnd, source.hwnd);
    EXPECT_EQ(text(copy.caption), u"abc");
}

// The icons are not asked for here: the pass asks every new window at once.
TEST_F(ModelTest, DiscoveryConstructorReadsTheCaptionOfTheWindow) {
    FakeWindow desc;
    desc.caption = u"Editor \u00e9\u4e2d";
    desc.iconBig = fakeDesktop().newIcon();
    desc.iconSmall = fakeDesktop().newIcon();
    HWND hwnd = fakeDesktop().createWindow(desc);

    PLRWindow record(hwnd, hwnd);
    EXPECT_EQ(record.hwnd, hwnd);
    EXPECT_EQ(text(record.caption), u"Editor \u00e9\u4e2d");
    EXPECT_EQ(record.hIconBig, nullptr);
    EXPECT_EQ(record.hIconSmall, nullptr);
    EXPECT_EQ(fakeDesktop().sendCount(hwnd), 0);
    EXPECT_EQ(record.selected, 0);
    EXPECT_EQ(record.hti, nullptr);
}

TEST_F(ModelTest, LongCaptionsKeepTheirFirst127Units) {
    for (std::size_t length : {126u, 127u, 128u, 500u}) {
        FakeWindow desc;
        desc.caption = repeated(u'x', length - 1) + u"\u20ac";
        HWND hwnd = fakeDesktop().createWindow(desc);
        PLRWindow record(hwnd, hwnd);
        const std::u16string stored(record.caption);
        const std::size_t expected = length < 127 ? length : 127;
        EXPECT_EQ(stored.size(), expected) << "caption of " << length << " units";
        EXPECT_EQ(stored, desc.caption.substr(0, expected));
        EXPECT_EQ(record.caption[PLRWindow::kCaptionUnits - 1], 0);
    }
}

TEST_F(ModelTest, CaptionComesFromTheRootOwnerUnlessItHasNone) {
    FakeWindow rootDesc;
    rootDesc.caption = u"Owner title";
    rootDesc.iconBig = fakeDesktop().newIcon();
    HWND root = fakeDesktop().createWindow(rootDesc);
    FakeWindow childDesc;
    childDesc.caption = u"Child title";
    childDesc.owner = root;
    childDesc.iconBig = fakeDesktop().newIcon();
    HWND child = fakeDesktop().createWindow(childDesc);

    PLRWindow fromRoot(root, child);
    EXPECT_EQ(fromRoot.hwnd, child);
    EXPECT_EQ(text(fromRoot.caption), u"Owner title");

    fakeDesktop().window(root)->caption.clear();
    PLRWindow fallback(root, child);
    EXPECT_EQ(text(fallback.caption), u"Child title");
}

TEST_F(ModelTest, CaptionOfAGoneWindowIsEmpty) {
    PLRWindow record(handle(0x7777), handle(0x7777));
    EXPECT_EQ(text(record.caption), u"");
}

// ---------------------------------------------------------------- deep copy

class GroupCopyTest : public ModelTest {
protected:
    // source: windows A, B; subgroups S1 (window C; subgroup S11 with D) and S2.
    void buildSource() {
        source.selected = 1;
        source.expanded = 0;
        source.hti = item(0x500);
        plrCopy(source.name, PLRGroup::kNameUnits, PLR_T("Source"));
        addRecord(&source, handle(0xA), u"A")->hti = item(0x501);
        addRecord(&source, handle(0xB), u"B")->selected = 1;
        s1 = addGroup(&source);
        plrCopy(s1->name, PLRGroup::kNameUnits, PLR_T("Work"));
        s1->hti = item(0x510);
        addRecord(s1, handle(0xC), u"C");
        s11 = addGroup(s1);
        s11->expanded = 0;
        addRecord(s11, handle(0xD), u"D");
        s2 = addGroup(&source);
    }

    PLRGroup source;
    PLRGroup *s1 = nullptr;
    PLRGroup *s11 = nullptr;
    PLRGroup *s2 = nullptr;
};

TEST_F(GroupCopyTest, CopyIntoAPopulatedGroupReplacesEverythingWithCopies) {
    buildSource();
    PLRGroup target;
    addRecord(&target, handle(0xE), u"old window");
    addGroup(addGroup(&target));
    addRecord(target.subgroups.front(), handle(0xF), u"old nested");

    target = source;

    EXPECT_EQ(captions(target), (std::vector<std::u16string>{u"A", u"B"}));
    EXPECT_EQ(text(target.name), u"Source");
    EXPECT_EQ(target.selected, 1);
    EXPECT_EQ(target.expanded, 0);
    EXPECT_EQ(target.hti, item(0x500));
    EXPECT_EQ(target.windows.front()->hti, item(0x501));
    EXPECT_EQ(target.windows.back()->selected, 1);
    ASSERT_EQ(target.subgroups.size(), 2u);
    PLRGroup *copyS1 = target.subgroups.front();
    EXPECT_EQ(text(copyS1->name), u"Work");
    EXPECT_EQ(copyS1->hti, item(0x510));
    EXPECT_EQ(captions(*copyS1), (std::vector<std::u16string>{u"C"}));
    ASSERT_EQ(copyS1->subgroups.size(), 1u);
    EXPECT_EQ(copyS1->subgroups.front()->expanded, 0);
    EXPECT_EQ(captions(*copyS1->subgroups.front()), (std::vector<std::u16string>{u"D"}));
    EXPECT_EQ(text(target.subgroups.back()->name), text(s2->name));
    EXPECT_EQ(target.countWindows(), 4);

    // Nothing is shared: every record is a separate object.
    EXPECT_NE(target.windows.front(), source.windows.front());
    EXPECT_NE(copyS1, s1);
    EXPECT_NE(copyS1->subgroups.front(), s11);
    EXPECT_NE(copyS1->windows.front(), s1->windows.front());
    source.windows.front()->caption[0] = u'Z';
    EXPECT_EQ(text(target.windows.front()->caption), u"A");
}

TEST_F(GroupCopyTest, CopyWithNumberingOnSpendsOneNumberPerCopiedGroup) {
    buildSource();
    const int before = g_groupCounter;
    PLRGroup *target = new PLRGroup();  // takes one number itself
    *target = source;
    EXPECT_EQ(g_groupCounter, before + 1 + 3);
    EXPECT_EQ(text(target->subgroups.front()->name), u"Work");
    delete target;

    g_numberNewGroups = 0;
    PLRGroup quiet;
    quiet = source;
    g_numberNewGroups = 1;
    EXPECT_EQ(g_groupCounter, before + 4);
}

TEST_F(GroupCopyTest, SelfAssignmentChangesAndFreesNothing) {
    buildSource();
    PLRWindow *firstWindow = source.windows.front();
    const int counter = g_groupCounter;
    PLRGroup &self = source;
    source = self;
    ASSERT_EQ(source.windows.size(), 2u);
    EXPECT_EQ(source.windows.front(), firstWindow);
    EXPECT_EQ(source.subgroups.front(), s1);
    EXPECT_EQ(s1->subgroups.front(), s11);
    EXPECT_EQ(text(firstWindow->caption), u"A");
    EXPECT_EQ(g_groupCounter, counter);
}

// Assigning a group from one of its own descendants, or a descendant from
// its ancestor, must neither read freed records nor loop.
TEST_F(GroupCopyTest, CopyBetweenAGroupAndItsOwnDescendantIsSound) {
    buildSource();
    source = *s1;  // s1 is freed by the assignment: it must be read first
    EXPECT_EQ(text(source.name), u"Work");
    EXPECT_EQ(captions(source), (std::vector<std::u16string>{u"C"}));
    ASSERT_EQ(source.subgroups.size(), 1u);
    EXPECT_EQ(captions(*source.subgroups.front()), (std::vector<std::u16string>{u"D"}));

    PLRGroup *child = source.subgroups.front();
    const int counter = g_groupCounter;
    *child = source;  // the child ends up holding a copy of the old parent
    EXPECT_EQ(text(child->name), u"Work");
    EXPECT_EQ(captions(*child), (std::vector<std::u16string>{u"C"}));
    ASSERT_EQ(child->subgroups.size(), 1u);
    EXPECT_EQ(captions(*child->subgroups.front()), (std::vector<std::u16string>{u"D"}));
    EXPECT_EQ(g_groupCounter, counter + 1);  // one group copied, numbered as usual
    EXPECT_EQ(source.countWindows(), 3);
}

TEST_F(ModelTest, UnterminatedNameIsReportedAndTheRestIsCopied) {
    PLRGroup source;
    for (int i = 0; i < PLRGroup::kNameUnits; ++i) source.name[i] = u'n';
    addRecord(&source, handle(0x42), u"kept");
    PLRGroup target;
    target = source;
    EXPECT_EQ(logLines(), std::vector<std::u16string>{u"PLRGroup::operator=: wcscpy_s failed."});
    EXPECT_EQ(text(target.name), u"");
    EXPECT_EQ(captions(target), std::vector<std::u16string>{u"kept"});

    g_dwLog = 0;
    clearCapturedLogLines();
    target = source;
    EXPECT_TRUE(logLines().empty());
}

// ---------------------------------------------------------------- destruction

TEST_F(ModelTest, DeepTreeIsDestroyedWithEveryAncestor) {
    // Run under the sanitiser build, which reports any record not freed.
    const int levels = 200;
    PLRGroup *top = addGroup(&g_rootGroup);
    PLRGroup *current = top;
    for (int level = 0; level < levels; ++level) {
        addRecord(current, handle(0x1000 + static_cast<std::uintptr_t>(level)), u"w");
        addGroup(current);  // a sibling leaf at each level
        current = addGroup(current);
    }
    EXPECT_EQ(top->countWindows(), levels);

    PLRGroup copy;
    copy = g_rootGroup;
    EXPECT_EQ(copy.countWindows(), levels);

    g_rootGroup.subgroups.remove(top);
    delete top;
    EXPECT_TRUE(g_rootGroup.subgroups.empty());
    EXPECT_EQ(g_rootGroup.countWindows(), 0);
}
