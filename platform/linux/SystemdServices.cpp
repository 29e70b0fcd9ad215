#include "platform/linux/SystemdServices.h"

#include "platform/LastError.h"
#include "platform/Types.h"
#include "platform/common/PathName.h"
#include "platform/linux/UnitFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#ifdef KESTRUN_HAVE_SYSTEMD
#include <systemd/sd-bus.h>
#endif

namespace kestrun::platform::linux_backend {

namespace {

struct ActiveStateCode {
    std::string_view activeState;
    int32_t state;
};

// systemd's active states and the service states they show as; any other is Unknown.
constexpr ActiveStateCode kActiveStates[] = {
    {"active", kServiceRunning},
    {"activating", kServiceStartingUp},
    {"reloading", kServiceStartingUp},
    {"deactivating", kServiceShuttingDown},
    {"inactive", kServiceOff},
    {"failed", kServiceUninitialized},
};

bool EndsWith(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

int32_t ServiceStateOfActiveState(std::string_view activeState)
{
    for (const ActiveStateCode& code : kActiveStates)
        if (code.activeState == activeState) return code.state;
    return kServiceUnknown;
}

#ifdef KESTRUN_HAVE_SYSTEMD

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kDestination = "org.freedesktop.systemd1";
constexpr const char* kManagerPath = "/org/freedesktop/systemd1";
constexpr const char* kManager = "org.freedesktop.systemd1.Manager";

uint64_t Microseconds(std::chrono::milliseconds ms) { return static_cast<uint64_t>(ms.count()) * 1000u; }

// An sd-bus call's error and reply, released on every path.
struct CallState {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    CallState() = default;
    CallState(const CallState&) = delete;
    CallState& operator=(const CallState&) = delete;
    ~CallState()
    {
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
    }
};

// What the page needs of a unit beyond the enumeration, read once per unit.
struct UnitDetails {
    std::string program;      // ExecStart's program
    std::string description;  // only for units systemd has not loaded
};

struct Unit {
    std::string name;
    std::string description;
    std::string activeState;
    std::string objectPath;  // empty: not loaded
};

std::wstring SecondsText(std::chrono::milliseconds ms)
{
    return std::to_wstring((ms.count() + 999) / 1000) + L" s";
}

}  // namespace

struct SystemdServices::Bus {
    SystemdOptions options;
    sd_bus* bus = nullptr;
    bool subscribed = false;
    std::unordered_map<std::string, UnitDetails> details;  // unit name -> what was read of it
    std::unordered_map<std::string, std::string> removedJobs;  // job path -> result, while a control waits

    explicit Bus(SystemdOptions o) : options(std::move(o)) {}
    ~Bus() { Close(); }

    void Close()
    {
        sd_bus_flush_close_unref(bus);
        bus = nullptr;
        subscribed = false;
    }

    bool Connect(bool& absent)
    {
        if (bus != nullptr && sd_bus_is_open(bus) > 0) return true;
        Close();
        sd_bus* b = nullptr;
        int r = 0;
        if (options.busAddress.empty()) {
            r = sd_bus_open_system(&b);
        } else {
            r = sd_bus_new(&b);
            if (r >= 0) r = sd_bus_set_address(b, options.busAddress.c_str());
            if (r >= 0) r = sd_bus_set_bus_client(b, 1);
            if (r >= 0) r = sd_bus_start(b);
        }
        if (r < 0) {
            sd_bus_unref(b);
            absent = r == -ENOENT || r == -ECONNREFUSED;
            return FailWithText(static_cast<uint32_t>(-r), L"The system bus cannot be reached: " + Widen(std::strerror(-r)));
        }
        // polkit may ask a user who is not root for a password before a control goes ahead.
        sd_bus_set_allow_interactive_authorization(b, 1);
        sd_bus_set_method_call_timeout(b, Microseconds(options.callTimeout));
        bus = b;
        return true;
    }

    // Sets the last error from a failed call: a D-Bus error's name and message become its text.
    bool FailCall(int r, const sd_bus_error& error, std::chrono::milliseconds timeout, bool* absent = nullptr)
    {
        if (r == -ECONNRESET || r == -ENOTCONN || r == -EPIPE || sd_bus_is_open(bus) <= 0) Close();
        if (r == -ETIMEDOUT)
            return FailWithText(ETIMEDOUT, L"The service manager did not answer within " + SecondsText(timeout) + L".");
        if (sd_bus_error_is_set(&error)) {
            if (absent != nullptr)
                *absent = sd_bus_error_has_name(&error, SD_BUS_ERROR_SERVICE_UNKNOWN) ||
                          sd_bus_error_has_name(&error, SD_BUS_ERROR_NAME_HAS_NO_OWNER);
            const int code = sd_bus_error_get_errno(&error);
            std::string text = error.name;
            if (error.message != nullptr && *error.message != '\0') text += std::string(": ") + error.message;
            return FailWithText(static_cast<uint32_t>(code > 0 ? code : EIO), Widen(text));
        }
        return Fail(static_cast<uint32_t>(r < 0 ? -r : EIO));
    }

    // A call of the manager with no arguments, or with a unit name and a job mode.
    int CallManager(const char* member, CallState& call, std::chrono::milliseconds timeout, const char* unit = nullptr)
    {
        sd_bus_message* m = nullptr;
        int r = sd_bus_message_new_method_call(bus, &m, kDestination, kManagerPath, kManager, member);
        if (r >= 0 && unit != nullptr) r = sd_bus_message_append(m, "ss", unit, "replace");
        if (r >= 0) r = sd_bus_call(bus, m, Microseconds(timeout), &call.error, &call.reply);
        sd_bus_message_unref(m);
        return r;
    }

    // Handles what arrived until done() holds or the deadline passes; false then.
    template <typename Done>
    bool Pump(Done done, Clock::time_point deadline)
    {
        while (!done()) {
            const int r = sd_bus_process(bus, nullptr);
            if (r < 0) return false;
            if (r > 0) continue;
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
            if (left.count() <= 0) return done();
            if (sd_bus_wait(bus, static_cast<uint64_t>(left.count())) < 0) return false;
        }
        return true;
    }

    // Handles signals that queued up meanwhile, without waiting.
    void Drain()
    {
        while (sd_bus_process(bus, nullptr) > 0) {
        }
    }

    std::optional<std::vector<Unit>> ListUnits(bool& absent);
    bool AddUnitFiles(std::vector<Unit>& units);
    void ReadPrograms(const std::vector<Unit>& units);
};

namespace {

struct ProgramRead {
    SystemdServices::Bus* owner = nullptr;
    std::string unit;
    sd_bus_slot* slot = nullptr;
    bool answered = false;
};

// The first ExecStart's program from a Properties.Get reply; empty when it has none.
std::string ProgramOfReply(sd_bus_message* m)
{
    if (sd_bus_message_is_method_error(m, nullptr)) return {};
    const char* path = nullptr;
    if (sd_bus_message_enter_container(m, 'v', "a(sasbttttuii)") <= 0) return {};
    if (sd_bus_message_enter_container(m, 'a', "(sasbttttuii)") <= 0) return {};
    if (sd_bus_message_enter_container(m, 'r', "sasbttttuii") <= 0) return {};
    if (sd_bus_message_read(m, "s", &path) <= 0 || path == nullptr) return {};
    return path;
}

// A read that ran out of time is asked again later; any other answer is kept.
int OnProgramRead(sd_bus_message* m, void* userdata, sd_bus_error*)
{
    auto* read = static_cast<ProgramRead*>(userdata);
    read->answered = true;
    const sd_bus_error* error = sd_bus_message_get_error(m);
    if (error != nullptr && (sd_bus_error_has_name(error, SD_BUS_ERROR_TIMEOUT) || sd_bus_error_has_name(error, SD_BUS_ERROR_NO_REPLY)))
        return 0;
    read->owner->details[read->unit].program = ProgramOfReply(m);
    return 0;
}

int OnJobRemoved(sd_bus_message* m, void* userdata, sd_bus_error*)
{
    auto* owner = static_cast<SystemdServices::Bus*>(userdata);
    uint32_t id = 0;
    const char* job = nullptr;
    const char* unit = nullptr;
    const char* result = nullptr;
    if (sd_bus_message_read(m, "uoss", &id, &job, &unit, &result) > 0) owner->removedJobs[job] = result;
    return 0;
}

}  // namespace

std::optional<std::vector<Unit>> SystemdServices::Bus::ListUnits(bool& absent)
{
    CallState call;
    int r = CallManager("ListUnits", call, options.callTimeout);
    if (r < 0) {
        FailCall(r, call.error, options.callTimeout, &absent);
        return std::nullopt;
    }
    std::vector<Unit> units;
    r = sd_bus_message_enter_container(call.reply, 'a', "(ssssssouso)");
    const char *id = nullptr, *description = nullptr, *load = nullptr, *active = nullptr, *sub = nullptr,
               *following = nullptr, *path = nullptr, *jobType = nullptr, *jobPath = nullptr;
    uint32_t jobId = 0;
    while (r > 0 && (r = sd_bus_message_read(call.reply, "(ssssssouso)", &id, &description, &load, &active, &sub,
                                             &following, &path, &jobId, &jobType, &jobPath)) > 0) {
        if (!EndsWith(id, ".service")) continue;
        // A name something refers to without a unit file: nothing to start or stop.
        if (std::strcmp(load, "not-found") == 0 && std::strcmp(active, "inactive") == 0) continue;
        units.push_back({id, description, active, path});
    }
    if (r < 0) {
        Fail(static_cast<uint32_t>(-r));
        return std::nullopt;
    }
    return units;
}

// Installed service units that systemd has not loaded, so that a stopped service
// can be started from the page. Templates need an instance name and aliases are
// other names of units listed already, so neither is one.
bool SystemdServices::Bus::AddUnitFiles(std::vector<Unit>& units)
{
    CallState call;
    int r = CallManager("ListUnitFiles", call, options.callTimeout);
    if (r < 0) {
        if (sd_bus_error_has_name(&call.error, SD_BUS_ERROR_UNKNOWN_METHOD)) return true;
        return FailCall(r, call.error, options.callTimeout);
    }
    std::unordered_set<std::string_view> loaded;
    loaded.reserve(units.size());
    for (const Unit& unit : units) loaded.insert(unit.name);
    std::vector<Unit> installed;
    r = sd_bus_message_enter_container(call.reply, 'a', "(ss)");
    const char* path = nullptr;
    const char* state = nullptr;
    while (r > 0 && (r = sd_bus_message_read(call.reply, "(ss)", &path, &state)) > 0) {
        std::string name(FileNameOf(path));
        if (!EndsWith(name, ".service") || EndsWith(name, "@.service") || loaded.count(name) != 0) continue;
        if (std::strcmp(state, "alias") == 0 || std::strcmp(state, "bad") == 0) continue;
        auto known = details.find(name);
        if (known == details.end()) {
            UnitFileSettings file = ReadUnitFile(path);
            known = details.emplace(name, UnitDetails{std::move(file.execStart), std::move(file.description)}).first;
        }
        installed.push_back({std::move(name), known->second.description, "inactive", {}});
    }
    if (r < 0) return Fail(static_cast<uint32_t>(-r));
    units.insert(units.end(), std::make_move_iterator(installed.begin()), std::make_move_iterator(installed.end()));
    return true;
}

// ExecStart of the loaded units seen for the first time, asked for all at once
// so that the answers come in one round trip's time. An unanswered read is
// asked again at the next enumeration.
void SystemdServices::Bus::ReadPrograms(const std::vector<Unit>& units)
{
    std::vector<std::unique_ptr<ProgramRead>> reads;
    for (const Unit& unit : units) {
        if (unit.objectPath.empty() || details.count(unit.name) != 0) continue;
        auto read = std::make_unique<ProgramRead>();
        read->owner = this;
        read->unit = unit.name;
        if (sd_bus_call_method_async(bus, &read->slot, kDestination, unit.objectPath.c_str(),
                                     "org.freedesktop.DBus.Properties", "Get", OnProgramRead, read.get(), "ss",
                                     "org.freedesktop.systemd1.Service", "ExecStart") < 0)
            continue;
        reads.push_back(std::move(read));
    }
    if (reads.empty()) return;
    Pump([&] { return std::all_of(reads.begin(), reads.end(), [](const auto& r) { return r->answered; }); },
         Clock::now() + options.callTimeout);
    for (const auto& read : reads) sd_bus_slot_unref(read->slot);  // cancels a read still unanswered
}

SystemdServices::SystemdServices(SystemdOptions options) : bus_(std::make_unique<Bus>(std::move(options))) {}

SystemdServices::~SystemdServices() = default;

std::optional<std::vector<LinuxService>> SystemdServices::List()
{
    absent_ = false;
    if (!bus_->Connect(absent_)) return std::nullopt;
    std::optional<std::vector<Unit>> units = bus_->ListUnits(absent_);
    if (!units) return std::nullopt;
    bus_->ReadPrograms(*units);
    if (!bus_->AddUnitFiles(*units)) return std::nullopt;
    bus_->Drain();
    std::sort(units->begin(), units->end(), [](const Unit& a, const Unit& b) { return a.name < b.name; });

    std::vector<LinuxService> services;
    services.reserve(units->size());
    for (const Unit& unit : *units) {
        LinuxService service;
        service.entry.prefix = Widen(unit.name);
        const auto known = bus_->details.find(unit.name);
        if (known != bus_->details.end() && !known->second.program.empty()) {
            service.entry.dllPath = Widen(known->second.program);
            service.entry.dllName = Widen(std::string(FileNameOf(known->second.program)));
        }
        service.entry.state = ServiceStateOfActiveState(unit.activeState);
        service.displayName = Widen(unit.description);
        services.push_back(std::move(service));
    }
    return services;
}

bool SystemdServices::Control(const std::string& name, ServiceControl code)
{
    const char* member = code == ServiceControl::Start ? "StartUnit"
                         : code == ServiceControl::Stop ? "StopUnit"
                         : code == ServiceControl::Refresh ? "ReloadUnit"
                                                            : nullptr;
    if (member == nullptr) return Fail(EINVAL);
    absent_ = false;
    if (!bus_->Connect(absent_)) return false;
    const std::chrono::milliseconds wait = bus_->options.jobTimeout;
    const Clock::time_point deadline = Clock::now() + wait;
    if (!bus_->subscribed) {
        // systemd sends job signals only while someone is subscribed.
        CallState call;
        const int r = bus_->CallManager("Subscribe", call, bus_->options.callTimeout);
        if (r < 0) return bus_->FailCall(r, call.error, bus_->options.callTimeout, &absent_);
        bus_->subscribed = true;
    }
    sd_bus_slot* match = nullptr;
    int r = sd_bus_match_signal(bus_->bus, &match, kDestination, kManagerPath, kManager, "JobRemoved", OnJobRemoved,
                                bus_.get());
    if (r < 0) return Fail(static_cast<uint32_t>(-r));
    bus_->removedJobs.clear();

    std::string job;
    {
        CallState call;
        r = bus_->CallManager(member, call, wait, name.c_str());
        if (r < 0) {
            sd_bus_slot_unref(match);
            return bus_->FailCall(r, call.error, wait, &absent_);
        }
        const char* path = nullptr;
        r = sd_bus_message_read(call.reply, "o", &path);
        if (r <= 0 || path == nullptr) {
            sd_bus_slot_unref(match);
            return Fail(static_cast<uint32_t>(r < 0 ? -r : EBADMSG));
        }
        job = path;
    }
    const bool finished = bus_->Pump([&] { return bus_->removedJobs.count(job) != 0; }, deadline);
    sd_bus_slot_unref(match);
    const std::wstring unit = Widen(name);
    if (!finished) {
        if (sd_bus_is_open(bus_->bus) <= 0) {
            bus_->Close();
            return FailWithText(ECONNRESET, L"The service manager went away before the job for " + unit + L" finished.");
        }
        return FailWithText(ETIMEDOUT, L"The job for " + unit + L" did not finish within " + SecondsText(wait) + L".");
    }
    const std::string result = bus_->removedJobs[job];
    bus_->removedJobs.clear();
    if (result == "done") return true;
    const uint32_t error = result == "timeout" ? ETIMEDOUT : result == "canceled" ? ECANCELED : EIO;
    return FailWithText(error, L"The job for " + unit + L" ended with the result \"" + Widen(result) + L"\".");
}

#else  // no sd-bus: there is no systemd to ask

struct SystemdServices::Bus {
    SystemdOptions options;
    explicit Bus(SystemdOptions o) : options(std::move(o)) {}
};

SystemdServices::SystemdServices(SystemdOptions options) : bus_(std::make_unique<Bus>(std::move(options))) {}
SystemdServices::~SystemdServices() = default;

std::optional<std::vector<LinuxService>> SystemdServices::List()
{
    absent_ = true;
    Fail(ENOSYS);
    return std::nullopt;
}

bool SystemdServices::Control(const std::string&, ServiceControl)
{
    absent_ = true;
    return Fail(ENOSYS);
}

#endif

}  // namespace kestrun::platform::linux_backend
