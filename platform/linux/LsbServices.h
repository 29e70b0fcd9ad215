// The services of a system without systemd: the LSB init scripts of
// /etc/init.d, asked with "status" and controlled with "start", "stop" and
// "reload", one script at a time, each with a bounded wait.
#pragma once

#include "platform/linux/ServiceSource.h"

#include <chrono>
#include <ctime>
#include <string>
#include <unordered_map>

namespace kestrun::platform::linux_backend {

struct LsbOptions {
    std::string initDir = "/etc/init.d";
    std::string rcRoot = "/etc";                      // holds the rc?.d folders of start links
    std::chrono::milliseconds statusTimeout{2000};   // one "status"
    std::chrono::milliseconds controlTimeout{90000};  // one "start", "stop" or "reload"
};

struct InitScriptInfo {
    std::string shortDescription;  // from the LSB header; empty without one
    std::string daemon;            // the absolute program a DAEMON= line names; empty when none
};

InitScriptInfo ParseInitScript(const std::string& text);

class LsbServices final : public ServiceSource {
public:
    explicit LsbServices(LsbOptions options = {});

    // State from the exit code of "status": 0 Running, 3 Off, anything else
    // Unknown. A script whose "status" ran out of time is killed and shows as
    // Unknown without being asked again until it is controlled, so that one
    // hanging script costs its wait once, not on every refresh.
    std::optional<std::vector<LinuxService>> List() override;
    bool Control(const std::string& name, ServiceControl code) override;

private:
    struct Script {
        std::string path;
        timespec modified{};
        InitScriptInfo info;
        bool hangs = false;
    };

    std::unordered_map<std::string, uint32_t> StartOrders() const;
    Script* Find(const std::string& name);

    LsbOptions options_;
    std::unordered_map<std::string, Script> scripts_;  // by name, read again when the file changes
};

}  // namespace kestrun::platform::linux_backend
