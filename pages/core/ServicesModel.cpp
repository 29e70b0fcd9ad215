#include "pages/core/ServicesModel.h"

#include "display/core/Format.h"
#include "display/core/MessageBox.h"
#include "pages/core/ServiceRegistryLookup.h"

#include <cwctype>

namespace kestrun {

namespace {

using Row = ServiceRow;

std::wstring ToLower(std::wstring text)
{
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return text;
}

// The state code as the unsigned number it sorts by: Unknown (-1) is the largest.
uint32_t StateOrder(int32_t state) { return static_cast<uint32_t>(state); }

struct BuiltIn {
    const wchar_t* module;
    const wchar_t* description;
};

// The well-known service modules; each text starts with a blank.
constexpr BuiltIn kBuiltInDescriptions[] = {
    {L"dcomssd.dll", L" Distributed Component Object Model (DCOM) Service Control Module (SCM)"},
    {L"ftpd.dll", L" Copies files to and from remote computer systems over a network using TCP/IP"},
    {L"httpd.dll", L" Enables you to monitor, configure, and remotely control the device through the use of the Hypertext Transfer Protocol (HTTP)"},
    {L"lpcd.dll", L" Main engine for the local procedure-call driver (LPCD)"},
    {L"smbserver.dll", L" Enables clients to access files and other resources over the network using the Common Internet File System (CIFS), which is an extension of the Server Message Block (SMB) file sharing protocol"},
    {L"snmp.dll", L" Monitors network traffic and responds to queries from Simple Network Management Protocol (SNMP) manager applications"},
    {L"telnetd.dll", L" Allows remote administration through a standard Telnet client"},
    {L"timesvc.dll", L" Synchronizes computer clocks on the Internet using the Simple Network Time Protocol (SNTP) protocol"},
    {L"upnploader.dll", L" Loads Universal Plug and Play devices"},
    {L"upnpsvc.dll", L" Services Universal Plug and Play (UPnP)"},
};

constexpr wchar_t kSelectFirst[] = L"You must first select a service.";

}  // namespace

const ColumnTable<ServiceRow, kServiceColumnCount>& ServiceRowTraits::Columns()
{
    using A = ColumnAlign;
    static const ColumnTable<ServiceRow, kServiceColumnCount> columns = {{
        {L"Module", A::kLeft, 90, [](const Row& r) { return r.module; },
         [](const Row& a, const Row& b) { return CompareNoCase(a.module, b.module); }},
        {L"State", A::kLeft, 70, [](const Row& r) { return ServiceStateText(r.state); },
         [](const Row& a, const Row& b) { return Order(StateOrder(a.state), StateOrder(b.state)); }},
        {L"Order", A::kRight, kAutoColumnWidth, [](const Row& r) { return Printf(L"%lu", static_cast<unsigned long>(r.order)); },
         [](const Row& a, const Row& b) { return Order(a.order, b.order); }},
        {L"Prefix", A::kLeft, 50, [](const Row& r) { return r.prefix; },
         [](const Row& a, const Row& b) { return CompareNoCase(a.prefix, b.prefix); }},
        {L"Name", A::kLeft, 100, [](const Row& r) { return r.displayName; },
         [](const Row& a, const Row& b) { return CompareNoCase(a.displayName, b.displayName); }},
    }};
    return columns;
}

std::wstring ServiceStateText(int32_t state)
{
    switch (state) {
    case platform::kServiceOff: return L"Off";
    case platform::kServiceRunning: return L"Running";
    case platform::kServiceStartingUp: return L"Starting up";
    case platform::kServiceShuttingDown: return L"Shutting down";
    case platform::kServiceUnloading: return L"Unloading";
    case platform::kServiceUninitialized: return L"Uninitialized";
    case platform::kServiceUnknown: return L"Unknown";
    default: return {};
    }
}

std::wstring BuiltInServiceDescription(const std::wstring& module)
{
    for (const BuiltIn& known : kBuiltInDescriptions)
        if (CompareNoCase(module, known.module) == 0) return known.description;
    return L"(no description available)";
}

ServicesModel::ServicesModel(platform::Platform& platform, ListView& list) : platform_(platform), rows_(list) {}

bool ServicesModel::Refresh()
{
    const auto pass = rows_.BeginRefresh();
    if (!pass) return false;
    platform::ServiceManager& manager = platform_.services();
    std::optional<std::vector<platform::ServiceEntry>> services = manager.EnumServices();
    if (!services) {
        const uint32_t error = platform::GetLastError();
        if (!failing_ || error != failure_) ShowError(L"The information about the services cannot be read.");
        failing_ = true;
        failure_ = error;
        return false;
    }
    failing_ = false;

    for (const platform::ServiceEntry& entry : *services) {
        auto row = rows_.FindOrInsert(ToLower(entry.prefix), [&](ServiceRow& fresh) {
            fresh.key = ToLower(entry.prefix);
            fresh.prefix = entry.prefix;
            fresh.module = entry.dllName.substr(0, kModuleLength);
            fresh.modulePath = entry.dllPath;
            fresh.state = entry.state;
            // The settings keys are read once, when the row is created.
            ServiceSettings settings;
            LookupServiceRegistry(manager.Keys(), entry.prefix, settings);
            fresh.displayName = std::move(settings.displayName);
            fresh.description = std::move(settings.description);
            fresh.order = settings.order;
        });
        if (!row) continue;
        row.Set(row->state, entry.state, kServiceColState);
        rows_.Commit(row);
    }
    rows_.FinishRefresh();
    SetButtons(rows_.Selected());
    return true;
}

void ServicesModel::SetButtons(const ServiceRow* row)
{
    startEnabled_ = row != nullptr && row->state != platform::kServiceRunning;
    stopEnabled_ = row != nullptr && row->state != platform::kServiceOff;
}

void ServicesModel::SelectionChanged(const ServiceRow* row, bool selected)
{
    if (selected && row != nullptr) {
        SetButtons(row);
        description_ = row->description.empty() ? BuiltInServiceDescription(row->module) : row->description;
    } else if (!selected) {
        SetButtons(nullptr);
        description_.clear();
    }
}

bool ServicesModel::Control(const ServiceRow& row, platform::ServiceControl code)
{
    const std::wstring prefix = row.prefix;
    if (busy_) busy_(true);
    const bool done = platform_.services().Control(prefix, code);
    if (busy_) busy_(false);
    return done;
}

void ServicesModel::Start()
{
    const ServiceRow* row = rows_.Selected();
    if (row == nullptr) {
        MessageBox(kSelectFirst);
        return;
    }
    if (Control(*row, platform::ServiceControl::Start))
        Refresh();
    else
        ShowError(L"The service cannot be started.");
}

void ServicesModel::Stop()
{
    const ServiceRow* row = rows_.Selected();
    if (row == nullptr) {
        MessageBox(kSelectFirst);
        return;
    }
    if (MessageBox(L"Stopping a service may lead to malfunction of the system!\nAre you sure to stop the service?",
                   kMbYesNo | kMbIconExclamation) != kIdYes)
        return;
    if (Control(*row, platform::ServiceControl::Stop))
        Refresh();
    else
        ShowError(L"The service cannot be stopped.");
}

void ServicesModel::RefreshConfiguration()
{
    const ServiceRow* row = rows_.Selected();
    if (row == nullptr) {
        MessageBox(kSelectFirst);
        return;
    }
    if (Control(*row, platform::ServiceControl::Refresh))
        Refresh();
    else
        ShowError(L"The service configuration parameters cannot be refreshed.");
}

}  // namespace kestrun
