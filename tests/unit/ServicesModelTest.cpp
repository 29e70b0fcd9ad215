// The Services page's refresh, sort, selection and controls on the simulated device.
#include "display/core/MemoryListView.h"
#include "display/core/MessageBox.h"
#include "pages/core/ServicesModel.h"
#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace kestrun {
namespace {

using platform::ServiceControl;
using platform::sim::ServiceSpec;
using platform::sim::SimCall;
using platform::sim::SimProfile;

ServiceSpec Service(const std::wstring& prefix, uint32_t index, const std::wstring& dll, int32_t state,
                    std::optional<uint32_t> order = std::nullopt, const std::wstring& friendlyName = {})
{
    ServiceSpec spec;
    spec.prefix = prefix;
    spec.index = index;
    spec.dll = dll;
    spec.state = state;
    spec.keyName = prefix + std::to_wstring(index) + L"KEY";
    spec.order = order;
    spec.friendlyName = friendlyName;
    return spec;
}

TEST(ServicesColumns, StateTextsForEveryCode)
{
    const std::pair<int32_t, const wchar_t*> cases[] = {
        {0, L"Off"},           {1, L"Running"},       {2, L"Starting up"}, {3, L"Shutting down"},
        {4, L"Unloading"},     {5, L"Uninitialized"}, {-1, L"Unknown"},    {6, L""},
        {-2, L""},
    };
    for (const auto& [state, text] : cases) EXPECT_EQ(ServiceStateText(state), text) << state;
}

TEST(ServicesColumns, BuiltInDescriptionsKeepTheirLeadingBlankAndIgnoreCase)
{
    EXPECT_EQ(BuiltInServiceDescription(L"HTTPD.DLL"),
              L" Enables you to monitor, configure, and remotely control the device through the use of the Hypertext "
              L"Transfer Protocol (HTTP)");
    EXPECT_EQ(BuiltInServiceDescription(L"telnetd.dll"), L" Allows remote administration through a standard Telnet client");
    EXPECT_EQ(BuiltInServiceDescription(L"UpnpSvc.dll"), L" Services Universal Plug and Play (UPnP)");
    EXPECT_EQ(BuiltInServiceDescription(L"httpd"), L"(no description available)");
    EXPECT_EQ(BuiltInServiceDescription(L""), L"(no description available)");
}

class ServicesPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        SimProfile profile;
        profile.services = {Service(L"HTP", 0, L"HTTPD.DLL", 1, 50, L"Web Server"), Service(L"TEL", 0, L"telnetd.dll", 0, 60),
                            Service(L"NTP", 0, L"timesvc.dll", 1, 40)};
        profile.services[1].writeIndex = false;  // a key without an "Index" value
        profile.services[2].description = L"Keeps time";
        sim_ = platform::sim::CreateSimPlatformForTest(profile);
        ASSERT_NE(sim_, nullptr);
        previous_ = SetMessageBoxHandler([this](const MessageBoxRequest& box) {
            boxes_.push_back(box);
            return answer_;
        });
        model_ = std::make_unique<ServicesModel>(*sim_, list_);
        model_->InsertColumns();
        model_->SetBusyHandler([this](bool busy) { busyCalls_.push_back(busy); });
    }
    void TearDown() override
    {
        model_.reset();
        SetMessageBoxHandler(previous_);
    }

    platform::sim::SimDevice& device() { return sim_->device(); }

    int RowOf(const std::wstring& prefix) const
    {
        for (int row = 0; row < list_.RowCount(); ++row)
            if (list_.CellText(row, kServiceColPrefix) == prefix) return row;
        return -1;
    }
    std::wstring Cell(const std::wstring& prefix, int column) const { return list_.CellText(RowOf(prefix), column); }
    std::vector<std::wstring> Prefixes() const
    {
        std::vector<std::wstring> prefixes;
        for (int row = 0; row < list_.RowCount(); ++row) prefixes.push_back(list_.CellText(row, kServiceColPrefix));
        return prefixes;
    }
    void Select(const std::wstring& prefix)
    {
        const int row = RowOf(prefix);
        list_.SetSelected(row, true);
        model_->SelectionChanged(model_->RecordAt(row), true);
    }

    std::unique_ptr<platform::sim::SimPlatform> sim_;
    MemoryListView list_;
    std::unique_ptr<ServicesModel> model_;
    std::vector<MessageBoxRequest> boxes_;
    std::vector<bool> busyCalls_;
    int answer_ = kIdNo;
    MessageBoxHandler previous_;
};

TEST_F(ServicesPage, RowsShowModuleStateOrderPrefixAndName)
{
    ASSERT_TRUE(model_->Refresh());
    ASSERT_EQ(list_.RowCount(), 3);
    EXPECT_EQ(Prefixes(), (std::vector<std::wstring>{L"NTP0:", L"TEL0:", L"HTP0:"})) << "each new row at the top while unsorted";
    EXPECT_EQ(list_.Cells()[2], (std::vector<std::wstring>{L"HTTPD.DLL", L"Running", L"50", L"HTP0:", L"Web Server"}));
    std::vector<std::wstring> titles;
    for (const auto& column : list_.columns()) titles.push_back(column.title);
    EXPECT_EQ(titles, (std::vector<std::wstring>{L"Module", L"State", L"Order", L"Prefix", L"Name"}));
    EXPECT_EQ(list_.columns()[2].align, ColumnAlign::kRight);
    EXPECT_EQ(list_.columns()[2].width, kAutoColumnWidth);
    EXPECT_EQ(list_.columns()[0].width, 90);
}

TEST_F(ServicesPage, AServiceWhoseKeyHasNoIndexShowsNoNameAndOrderZero)
{
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(L"TEL0:", kServiceColName), L"");
    EXPECT_EQ(Cell(L"TEL0:", kServiceColOrder), L"0");
}

TEST_F(ServicesPage, ANewServiceGoesToTheTopWhileUnsortedAndToItsSortedPlaceOnceSorted)
{
    ASSERT_TRUE(model_->Refresh());
    device().AddService(Service(L"FTP", 0, L"ftpd.dll", 1, 55));
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(RowOf(L"FTP0:"), 0);

    model_->ClickHeader(kServiceColOrder);
    EXPECT_EQ(Prefixes(), (std::vector<std::wstring>{L"TEL0:", L"NTP0:", L"HTP0:", L"FTP0:"}));
    device().AddService(Service(L"LPC", 0, L"lpcd.dll", 1, 45));
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Prefixes(), (std::vector<std::wstring>{L"TEL0:", L"NTP0:", L"LPC0:", L"HTP0:", L"FTP0:"}));
}

TEST_F(ServicesPage, TheFirstClickOnOrderSortsAscendingTheNextDescending)
{
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(model_->sortOrder(), 0);
    EXPECT_EQ(model_->sortColumn(), kServiceColOrder);
    model_->ClickHeader(kServiceColOrder);
    EXPECT_EQ(model_->sortOrder(), 1);
    EXPECT_EQ(Prefixes(), (std::vector<std::wstring>{L"TEL0:", L"NTP0:", L"HTP0:"}));
    model_->ClickHeader(kServiceColOrder);
    EXPECT_EQ(model_->sortOrder(), -1);
    EXPECT_EQ(Prefixes(), (std::vector<std::wstring>{L"HTP0:", L"NTP0:", L"TEL0:"}));
    model_->ClickHeader(kServiceColModule);
    EXPECT_EQ(model_->sortOrder(), 1);
    EXPECT_EQ(Prefixes(), (std::vector<std::wstring>{L"HTP0:", L"TEL0:", L"NTP0:"})) << "module names ignoring case";
}

TEST_F(ServicesPage, UnknownStateSortsLast)
{
    ASSERT_TRUE(model_->Refresh());
    device().FindService(L"HTP0:")->entry.state = platform::kServiceUnknown;
    ASSERT_TRUE(model_->Refresh());
    model_->ClickHeader(kServiceColState);
    EXPECT_EQ(Prefixes().back(), L"HTP0:");
}

TEST_F(ServicesPage, RunningToOffWhileSelectedKeepsTheRowAndRewritesOnlyItsStateCell)
{
    ASSERT_TRUE(model_->Refresh());
    Select(L"HTP0:");
    EXPECT_TRUE(model_->stopEnabled());
    EXPECT_FALSE(model_->startEnabled());
    device().FindService(L"HTP0:")->entry.state = platform::kServiceOff;
    EXPECT_FALSE(model_->startEnabled()) << "the buttons follow the state only at a refresh";
    list_.ResetCounters();
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(list_.counters().cellWrites, 1u);
    EXPECT_EQ(list_.counters().inserts + list_.counters().deletes, 0u);
    EXPECT_EQ(list_.SelectedRow(), RowOf(L"HTP0:"));
    EXPECT_EQ(Cell(L"HTP0:", kServiceColState), L"Off");
    EXPECT_TRUE(model_->startEnabled());
    EXPECT_FALSE(model_->stopEnabled());
}

TEST_F(ServicesPage, ARowOutOfOrderIsSortedOnceAndAStateChangeInPlaceIsNot)
{
    ASSERT_TRUE(model_->Refresh());
    model_->ClickHeader(kServiceColState);  // TEL0 (Off) first
    list_.ResetCounters();
    device().FindService(L"NTP0:")->entry.state = platform::kServiceStartingUp;  // Running -> 2: moves past HTP0
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(list_.counters().sorts, 1u);
    EXPECT_EQ(Prefixes().back(), L"NTP0:");
    list_.ResetCounters();
    device().FindService(L"TEL0:")->entry.state = platform::kServiceRunning;  // 0 -> 1: still first (HTP0 ties)
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(list_.counters().sorts, 0u);
}

TEST_F(ServicesPage, TheDescriptionIsTheRegistrysElseTheBuiltInOne)
{
    ASSERT_TRUE(model_->Refresh());
    Select(L"HTP0:");
    EXPECT_EQ(model_->descriptionText(), BuiltInServiceDescription(L"httpd.dll")) << "HTTPD.DLL in capitals";
    EXPECT_EQ(model_->descriptionText().front(), L' ');
    Select(L"NTP0:");
    EXPECT_EQ(model_->descriptionText(), L"Keeps time");
    model_->SelectionChanged(nullptr, false);
    EXPECT_EQ(model_->descriptionText(), L"");
    EXPECT_FALSE(model_->startEnabled());
    EXPECT_FALSE(model_->stopEnabled());
}

TEST_F(ServicesPage, TheRegistryIsReadOnlyWhenARowIsCreated)
{
    ASSERT_TRUE(model_->Refresh());
    ASSERT_TRUE(sim_->registry().SetValue(platform::Hive::LocalMachine, L"Services\\HTP0KEY", L"FriendlyName",
                                          platform::RegValue::String(L"Renamed")));
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(L"HTP0:", kServiceColName), L"Web Server");
}

TEST_F(ServicesPage, StoppingAsksFirstAndNoSendsNothing)
{
    ASSERT_TRUE(model_->Refresh());
    Select(L"HTP0:");
    answer_ = kIdNo;
    model_->Stop();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, L"Stopping a service may lead to malfunction of the system!\nAre you sure to stop the service?");
    EXPECT_EQ(boxes_[0].style, kMbYesNo | kMbIconExclamation);
    EXPECT_TRUE(device().serviceControls.empty());
    EXPECT_TRUE(busyCalls_.empty());

    answer_ = kIdYes;
    model_->Stop();
    ASSERT_EQ(device().serviceControls.size(), 1u);
    EXPECT_EQ(device().serviceControls[0], std::make_pair(std::wstring(L"HTP0:"), ServiceControl::Stop));
    EXPECT_EQ(busyCalls_, (std::vector<bool>{true, false})) << "the wait cursor around the control";
    EXPECT_EQ(Cell(L"HTP0:", kServiceColState), L"Off") << "a successful control refreshes the list";
}

TEST_F(ServicesPage, ControlsReportTheirFailureWithTheErrorAndDoNotRefresh)
{
    ASSERT_TRUE(model_->Refresh());
    Select(L"HTP0:");
    model_->Start();  // already running
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text.rfind(L"The service cannot be started.\nError: 114 (", 0), 0u) << platform::Narrow(boxes_[0].text);
    Select(L"TEL0:");
    model_->RefreshConfiguration();
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[1].text.rfind(L"The service configuration parameters cannot be refreshed.\nError: 3 (", 0), 0u);
    device().InjectFailure(SimCall::ServiceControl, EIO);
    answer_ = kIdYes;
    Select(L"NTP0:");
    device().FindService(L"NTP0:")->entry.state = platform::kServiceOff;
    model_->Stop();
    ASSERT_EQ(boxes_.size(), 4u);
    EXPECT_EQ(boxes_[3].text, L"The service cannot be stopped.\nError: 5 (Input/output error)");
    EXPECT_EQ(Cell(L"NTP0:", kServiceColState), L"Running") << "no refresh after a failure";
}

TEST_F(ServicesPage, CommandsWithoutASelectionSaySo)
{
    ASSERT_TRUE(model_->Refresh());
    model_->Start();
    model_->Stop();
    model_->RefreshConfiguration();
    ASSERT_EQ(boxes_.size(), 3u);
    for (const MessageBoxRequest& box : boxes_) {
        EXPECT_EQ(box.text, L"You must first select a service.");
        EXPECT_EQ(box.style, kMbOk | kMbIconExclamation);
    }
    EXPECT_TRUE(device().serviceControls.empty());
}

TEST_F(ServicesPage, ServicesThatGoLoseTheirRows)
{
    ASSERT_TRUE(model_->Refresh());
    ASSERT_TRUE(device().RemoveService(L"TEL0:"));
    ASSERT_TRUE(device().RemoveService(L"HTP0:"));
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Prefixes(), (std::vector<std::wstring>{L"NTP0:"}));
    EXPECT_EQ(model_->rowCount(), 1u);
    model_->Clear();
    EXPECT_EQ(list_.RowCount(), 0);
    EXPECT_EQ(model_->rowCount(), 0u);
}

TEST_F(ServicesPage, AnEnumerationFailureKeepsTheRowsAndIsShownOncePerRunOfFailures)
{
    ASSERT_TRUE(model_->Refresh());
    device().InjectFailure(SimCall::EnumServices, EIO, 2);
    EXPECT_FALSE(model_->Refresh());
    EXPECT_FALSE(model_->Refresh());
    ASSERT_EQ(boxes_.size(), 1u) << "the same failure at the next tick is not shown again";
    EXPECT_EQ(boxes_[0].text, L"The information about the services cannot be read.\nError: 5 (Input/output error)");
    EXPECT_EQ(list_.RowCount(), 3);
    ASSERT_TRUE(model_->Refresh());
    device().InjectFailure(SimCall::EnumServices, EIO);
    EXPECT_FALSE(model_->Refresh());
    EXPECT_EQ(boxes_.size(), 2u) << "after a success a failure is news again";
}

TEST_F(ServicesPage, ARowKeepsAtMost49CharactersOfItsModule)
{
    device().AddService(Service(L"LNG", 0, std::wstring(60, L'm') + L".dll", 1));
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(L"LNG0:", kServiceColModule), std::wstring(49, L'm'));
}

TEST_F(ServicesPage, RowsMatchTheirServicesPrefixIgnoringCase)
{
    ASSERT_TRUE(model_->Refresh());
    device().FindService(L"HTP0:")->entry.prefix = L"htp0:";
    list_.ResetCounters();
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(list_.RowCount(), 3);
    EXPECT_EQ(list_.counters().inserts, 0u);
}

}  // namespace
}  // namespace kestrun
