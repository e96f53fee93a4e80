// The tree-control contract against the fake control the native tests use.
#include <gtest/gtest.h>

#include "platform/desktop.h"
#include "platform/fake/fake_imagelist.h"
#include "platform/fake/fake_tree.h"
#include "platform/win32types.h"
#include "tests/contract/tree_contract.h"

class TreeContract : public ::testing::Test {
protected:
    void SetUp() override {
        faketree::reset();
        fakeimg::reset();
        faketree::createTree(dialog());
    }

    void TearDown() override {
        EXPECT_EQ(0, faketree::invalidHandleUses(dialog())) << reports();
        faketree::reset();
    }

    HWND dialog() const { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0xD1A106)); }

    void expectInvalidHandleUse(int count) {
        EXPECT_EQ(count, faketree::invalidHandleUses(dialog())) << reports();
        faketree::clearInvalidHandleUses(dialog());
    }

private:
    std::string reports() const {
        std::string out;
        for (const std::string &report : faketree::invalidHandleReports(dialog())) out += report + "\n";
        return out;
    }
};

#include "tests/contract/tree_contract.inc"
