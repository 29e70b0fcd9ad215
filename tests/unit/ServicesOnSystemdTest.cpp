// The Services page's model on the Linux service manager, talking to a stand-in
// systemd on a private system bus: states as they change, and the service
// manager's own error texts in the error boxes.
#include "display/core/MemoryListView.h"
#include "display/core/MessageBox.h"
#include "pages/core/ServicesModel.h"
#include "platform/linux/LinuxServices.h"
#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>

#include <thread>

#if __has_include(<systemd/sd-bus.h>)
#include "tests/support/StandInSystemd.h"

namespace kestrun {
namespace {

using namespace std::chrono_literals;
using namespace platform::linux_backend;

// The simulated device with the Linux service manager in place of its own.
class LinuxServicesPlatform final : public platform::Platform {
public:
    LinuxServicesPlatform(platform::Platform& inner, std::unique_ptr<platform::ServiceManager> services)
        : inner_(inner), services_(std::move(services)) {}
    std::string Name() const override { return "linux"; }
    platform::ToolHelp& toolHelp() override { return inner_.toolHelp(); }
    platform::Kernel& kernel() override { return inner_.kernel(); }
    platform::Registry& registry() override { return inner_.registry(); }
    platform::ServiceManager& services() override { return *services_; }
    platform::DeviceManager& devices() override { return inner_.devices(); }
    platform::InterfaceTable& interfaces() override { return inner_.interfaces(); }
    platform::Desktop& desktop() override { return inner_.desktop(); }
    platform::Shell& shell() override { return inner_.shell(); }

private:
    platform::Platform& inner_;
    std::unique_ptr<platform::ServiceManager> services_;
};

class ServicesOnSystemd : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        if (!manager_.Start("{\"job_ms\": 200}", why)) GTEST_SKIP() << why;
        ASSERT_TRUE(manager_.AddService("web.service", "Web server", "/usr/sbin/sshd", "inactive"));
        ASSERT_TRUE(manager_.AddService("bad.service", "Fails to start", "/usr/sbin/bad", "inactive", "fail"));
        SystemdOptions options;
        options.busAddress = manager_.address();
        sim_ = platform::sim::CreateSimPlatformForTest(platform::sim::SimProfile{});
        platform_ = std::make_unique<LinuxServicesPlatform>(
            *sim_, std::make_unique<LinuxServices>(std::make_unique<SystemdServices>(options), std::make_unique<LsbServices>(),
                                                   std::make_shared<DpkgIndex>(testing::FixturePath("dpkg"))));
        previous_ = SetMessageBoxHandler([this](const MessageBoxRequest& box) {
            boxes_.push_back(box.text);
            return kIdYes;
        });
        model_ = std::make_unique<ServicesModel>(*platform_, list_);
        model_->InsertColumns();
    }
    void TearDown() override
    {
        model_.reset();
        if (previous_) SetMessageBoxHandler(previous_);
    }

    int RowOf(const std::wstring& prefix) const
    {
        for (int row = 0; row < list_.RowCount(); ++row)
            if (list_.CellText(row, kServiceColPrefix) == prefix) return row;
        return -1;
    }
    std::wstring State(const std::wstring& prefix) const { return list_.CellText(RowOf(prefix), kServiceColState); }
    void Select(const std::wstring& prefix)
    {
        list_.SetSelected(RowOf(prefix), true);
        model_->SelectionChanged(model_->RecordAt(RowOf(prefix)), true);
    }

    testing::StandInSystemd manager_;
    std::unique_ptr<platform::sim::SimPlatform> sim_;
    std::unique_ptr<platform::Platform> platform_;
    MemoryListView list_;
    std::unique_ptr<ServicesModel> model_;
    std::vector<std::wstring> boxes_;
    MessageBoxHandler previous_;
};

TEST_F(ServicesOnSystemd, AServiceGoesOffStartingUpRunningAndOffOnThePage)
{
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(State(L"web.service"), L"Off");
    Select(L"web.service");
    EXPECT_EQ(model_->descriptionText(), L"secure shell (SSH) server, for secure access from remote machines");
    EXPECT_EQ(list_.CellText(RowOf(L"web.service"), kServiceColName), L"Web server");
    EXPECT_EQ(list_.CellText(RowOf(L"web.service"), kServiceColModule), L"sshd");

    ASSERT_TRUE(manager_.StartElsewhere("web.service", 1000));
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(State(L"web.service"), L"Starting up");
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(State(L"web.service"), L"Running");
    model_->Stop();  // answered Yes
    ASSERT_EQ(boxes_.size(), 1u) << "only the question";
    EXPECT_EQ(State(L"web.service"), L"Off");
    EXPECT_TRUE(model_->startEnabled());
}

TEST_F(ServicesOnSystemd, TheServiceManagersErrorsReachTheErrorBox)
{
    ASSERT_TRUE(model_->Refresh());
    Select(L"bad.service");
    model_->Start();
    Select(L"web.service");
    model_->RefreshConfiguration();
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0], L"The service cannot be started.\nError: 5 (The job for bad.service ended with the result \"failed\")");
    EXPECT_EQ(boxes_[1], L"The service configuration parameters cannot be refreshed.\nError: 5 "
                         L"(org.freedesktop.systemd1.UnitInactive: Unit web.service is not active)");
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(State(L"bad.service"), L"Uninitialized");
}

}  // namespace
}  // namespace kestrun

#endif
