// The invariant check must notice every broken invariant it names.
#include "model_fixture.h"

namespace {

class InvariantTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        group = addGroup(&g_rootGroup);
        first = addRecord(&g_rootGroup, handle(0x10), u"one");
        second = addRecord(group, handle(0x20), u"two");
    }
    static std::string problem() {
        std::string text;
        EXPECT_FALSE(plrCheckInvariants(&text));
        return text;
    }
    PLRGroup *group = nullptr;
    PLRWindow *first = nullptr;
    PLRWindow *second = nullptr;
};

}  // namespace

TEST_F(InvariantTest, SoundTreeAndSnapshotPass) {
    first->selected = 1;
    takeSnapshot();
    std::string text = "untouched";
    EXPECT_TRUE(plrCheckInvariants(&text));
    EXPECT_EQ(text, "");
    EXPECT_TRUE(plrCheckInvariants(nullptr));
}

TEST_F(InvariantTest, SelectedGroupMustBeExactlyOne) {
    g_rootGroup.selected = 0;
    EXPECT_NE(problem().find("0 selected groups"), std::string::npos);
    g_rootGroup.selected = 1;
    group->selected = 1;
    EXPECT_NE(problem().find("2 selected groups"), std::string::npos);
}

TEST_F(InvariantTest, AtMostOneSelectedWindow) {
    first->selected = 1;
    second->selected = 1;
    EXPECT_NE(problem().find("2 selected windows"), std::string::npos);
}

TEST_F(InvariantTest, HandleHeldTwiceInTheTreeOrInTheSnapshot) {
    PLRWindow *twin = addRecord(group, handle(0x10), u"twin");
    EXPECT_NE(problem().find("held by two records"), std::string::npos);
    group->windows.remove(twin);
    delete twin;

    takeSnapshot();
    addRecord(g_pPrevAllWindows, handle(0x20), u"twin");
    const std::string text = problem();
    EXPECT_NE(text.find("snapshot"), std::string::npos) << text;
    EXPECT_NE(text.find("held by two records"), std::string::npos) << text;
}

TEST_F(InvariantTest, RecordInTwoListsOrGroupInsideItself) {
    group->windows.push_back(first);
    EXPECT_NE(problem().find("in two lists"), std::string::npos);
    group->windows.pop_back();

    group->subgroups.push_back(group);  // would loop a naive walk
    EXPECT_NE(problem().find("reached twice"), std::string::npos);
    group->subgroups.pop_back();
    EXPECT_TRUE(plrCheckInvariants(nullptr));
}

TEST_F(InvariantTest, SnapshotAndGroupBeingDeletedShareNothingWithTheTree) {
    g_pPrevAllWindows = new PLRGroup();  // an empty snapshot, then shared records
    g_pPrevAllWindows->windows.push_back(second);
    EXPECT_NE(problem().find("snapshot shares window record"), std::string::npos);
    g_pPrevAllWindows->windows.pop_back();

    g_pPrevAllWindows->subgroups.push_back(group);
    EXPECT_NE(problem().find("snapshot shares group"), std::string::npos);
    g_pPrevAllWindows->subgroups.pop_back();

    PLRGroup detached;
    detached.windows.push_back(first);
    g_pGroupBeingDeleted = &detached;
    EXPECT_NE(problem().find("group being deleted shares window record"), std::string::npos);
    detached.windows.clear();
    EXPECT_TRUE(plrCheckInvariants(nullptr));
    g_pGroupBeingDeleted = nullptr;
}
