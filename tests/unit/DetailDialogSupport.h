// Shared setup of the detail-dialog tests: a simulated device of our own
// processes, an in-memory list and controls, and the error boxes collected.
#pragma once

#include "dialogs/core/MemoryDetailControls.h"
#include "display/core/MemoryListView.h"
#include "display/core/MessageBox.h"
#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kestrun::testing {

class DetailDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim_ = platform::sim::CreateSimPlatformForTest(platform::sim::SimProfile{});
        ASSERT_NE(sim_, nullptr);
        previous_ = SetMessageBoxHandler([this](const MessageBoxRequest& box) {
            boxes_.push_back(box);
            return kIdOk;
        });
    }
    void TearDown() override { SetMessageBoxHandler(previous_); }

    platform::sim::SimDevice& device() { return sim_->device(); }

    std::vector<std::wstring> Column(int column) const
    {
        std::vector<std::wstring> texts;
        for (int row = 0; row < list_.RowCount(); ++row) texts.push_back(list_.CellText(row, column));
        return texts;
    }
    // The first line of each error box shown.
    std::vector<std::wstring> BoxTexts() const
    {
        std::vector<std::wstring> texts;
        for (const MessageBoxRequest& box : boxes_) texts.push_back(box.text.substr(0, box.text.find(L'\n')));
        return texts;
    }

    std::unique_ptr<platform::sim::SimPlatform> sim_;
    MemoryListView list_;
    MemoryDetailControls controls_;
    std::vector<MessageBoxRequest> boxes_;
    MessageBoxHandler previous_;
};

}  // namespace kestrun::testing
