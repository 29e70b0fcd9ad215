// The compiled-in demo device, and generated devices for benchmarks.
#include "platform/sim/SimProfile.h"

#include "platform/sim/SimProfileReader.h"

#include <algorithm>
#include <cstdio>

namespace kestrun::platform::sim {

namespace {

// A small x86 device an hour after boot: the system processes, a shell, a few
// programs with windows (one that never answers a close request), ROM and RAM
// modules, heaps, services, stream devices and a wired and a wireless interface.
const char* const kBuiltinProfile = R"json({
  "name": "Kestrel reference board",
  "clock": "real",
  "tick": 3600000,
  "bootTime": "2024-05-06 08:00:00",
  "memory": { "totalPhys": "64M", "availPhys": "27M", "totalVirtual": "32M", "availVirtual": "21M" },
  "modules": [
    { "name": "coredll.dll", "size": "512K", "rom": true, "base": "0x03F50000",
      "version": { "description": "Core system library", "fileVersion": "5.0.1400", "company": "Kestrel Devices",
                   "copyright": "Copyright (C) Kestrel Devices", "product": "Kestrel OS", "productVersion": "5.0" } },
    { "name": "ws2.dll", "size": "96K", "rom": true },
    { "name": "winsock.dll", "size": "24K", "rom": true },
    { "name": "commctrl.dll", "size": "320K", "rom": true },
    { "name": "ole32.dll", "size": "288K", "rom": true },
    { "name": "oleaut32.dll", "size": "256K", "rom": true },
    { "name": "toolhelp.dll", "size": "16K", "rom": true },
    { "name": "iphlpapi.dll", "size": "64K", "rom": true },
    { "name": "netui.dll", "size": "80K", "rom": true },
    { "name": "httpd.dll", "size": "128K", "rom": true },
    { "name": "timesvc.dll", "size": "32K", "rom": true },
    { "name": "telnetd.dll", "size": "40K", "rom": true },
    { "name": "ftpd.dll", "size": "56K", "rom": true },
    { "name": "serial.dll", "size": "36K", "rom": true },
    { "name": "ne2000.dll", "size": "44K", "rom": true },
    { "name": "pcmcia.dll", "size": "40K", "rom": true },
    { "name": "routeui.dll", "path": "\\Program Files\\Field Logger\\routeui.dll", "size": "72K",
      "version": { "description": "Field Logger route views", "fileVersion": "2.3.0.114", "company": "Northwind Field Systems",
                   "copyright": "(c) Northwind Field Systems", "product": "Field Logger", "productVersion": "2.3" } },
    { "name": "scanlib.dll", "path": "\\Program Files\\Scanner\\scanlib.dll", "size": "48K" }
  ],
  "processes": [
    { "exe": "nk.exe", "rom": true, "terminable": false,
      "threads": [ { "priority": 0, "load": 0.4, "kernelShare": 100, "kernelMs": 9100 },
                   { "priority": 1, "load": 0.1, "kernelShare": 100, "kernelMs": 1200 },
                   { "priority": 7, "kernelShare": 100, "kernelMs": 40 } ],
      "heaps": [ { "flags": 1, "blocks": [ { "size": 4096, "repeat": 6 }, { "size": 1024, "flags": "free" } ] } ],
      "modules": [ "coredll.dll" ] },
    { "exe": "filesys.exe", "rom": true,
      "threads": [ { "priority": 1, "load": 0.6, "kernelMs": 14800 }, { "priority": 3, "count": 3, "kernelMs": 300 } ],
      "heaps": [ { "flags": 1, "blocks": [ { "size": 2048, "repeat": 12 }, { "size": 65536, "flags": "fixed|big" },
                                           { "size": 512, "flags": "free", "repeat": 3 } ] } ],
      "modules": [ "coredll.dll" ] },
    { "exe": "device.exe", "rom": true,
      "threads": [ { "priority": 1, "load": 0.3, "userMs": 2100, "kernelMs": 6400 }, { "priority": 0, "load": 0.2, "count": 2 },
                   { "priority": 3, "count": 5, "userMs": 120 } ],
      "heaps": [ { "flags": 1, "blocks": [ { "size": 1536, "repeat": 20 }, { "size": 384, "flags": "moveable", "lock": 1 },
                                           { "size": 131072, "flags": "fixed|big" }, { "size": 768, "flags": "free", "repeat": 4 } ] } ],
      "modules": [ "coredll.dll", "serial.dll", "ne2000.dll", "pcmcia.dll", "ws2.dll", "iphlpapi.dll", "netui.dll" ] },
    { "exe": "gwes.exe", "rom": true,
      "threads": [ { "priority": 1, "load": 2.5, "userMs": 21000, "kernelMs": 33000 }, { "priority": 3, "count": 4, "load": 0.2 } ],
      "heaps": [ { "flags": 1, "blocks": [ { "size": 4096, "repeat": 30 }, { "size": 256, "flags": "moveable", "repeat": 8 },
                                           { "size": 1024, "flags": "free", "repeat": 6 } ] } ],
      "modules": [ "coredll.dll", "commctrl.dll" ] },
    { "exe": "services.exe", "rom": true,
      "threads": [ { "priority": 3, "load": 0.3, "userMs": 900 }, { "priority": 3, "count": 4 } ],
      "heaps": [ { "flags": 1, "blocks": [ { "size": 1024, "repeat": 15 }, { "size": 2048, "flags": "free" } ] } ],
      "modules": [ "coredll.dll", "ws2.dll", "winsock.dll", "httpd.dll", "timesvc.dll", "telnetd.dll", "ftpd.dll" ] },
    { "exe": "shell32.exe", "rom": true,
      "threads": [ { "priority": 3, "load": 0.5, "userMs": 5300 }, { "priority": 3, "count": 2 } ],
      "heaps": [ { "flags": 1, "blocks": [ { "size": 3072, "repeat": 18 }, { "size": 512, "flags": "free", "repeat": 2 } ] } ],
      "modules": [ "coredll.dll", "commctrl.dll", "ole32.dll", "oleaut32.dll" ],
      "windows": [ { "title": "", "closeEndsProcess": false }, { "title": "Desktop", "visible": false, "closeEndsProcess": false } ] },
    { "exe": "cmd.exe", "rom": true,
      "threads": [ { "priority": 3, "load": 0.2, "userMs": 700 }, { "priority": 3, "runsIn": "gwes.exe" } ],
      "heaps": [ { "flags": 1, "blocks": [ { "size": 1024, "repeat": 5 } ] } ],
      "modules": [ "coredll.dll" ],
      "windows": [ { "title": "Command Prompt", "icon": "#202060" } ] },
    { "exe": "fieldlog.exe", "path": "\\Program Files\\Field Logger\\fieldlog.exe",
      "threads": [ { "priority": 3, "load": 6.0, "userMs": 48000, "kernelMs": 9000, "kernelShare": 20 },
                   { "priority": 2, "load": 1.5, "runsIn": "device.exe" }, { "priority": 4, "count": 2, "load": 0.3 } ],
      "heaps": [ { "flags": 1, "blocks": [ { "size": 8192, "repeat": 40 }, { "size": 640, "flags": "moveable", "repeat": 6, "lock": 2 },
                                           { "size": 262144, "flags": "fixed|big" }, { "size": 2048, "flags": "free", "repeat": 5 } ] },
                 { "flags": 0, "blocks": [ { "size": 512, "repeat": 10 } ] } ],
      "modules": [ "coredll.dll", "commctrl.dll", "ws2.dll", { "name": "routeui.dll", "usage": 2 } ],
      "windows": [ { "title": "Field Logger - Route 7", "icon": "#2E8B57", "foreground": true },
                   { "title": "Sync Status", "owner": "Field Logger - Route 7", "icon": "#2E8B57" } ] },
    { "exe": "scanner.exe", "path": "\\Program Files\\Scanner\\scanner.exe",
      "threads": [ { "priority": 3, "load": 0.8, "userMs": 3000 }, { "priority": 1, "load": 0.4 } ],
      "heaps": [ { "flags": 1, "blocks": [ { "size": 4096, "repeat": 9 }, { "size": 1024, "flags": "free" } ] } ],
      "modules": [ "coredll.dll", "scanlib.dll" ],
      "windows": [ { "title": "Barcode Scanner", "icon": "#B8860B", "respondsToClose": false } ] },
    { "exe": "iesample.exe",
      "threads": [ { "priority": 3, "load": 1.2, "userMs": 12000 }, { "priority": 3, "count": 3, "load": 0.1 } ],
      "heaps": [ { "flags": 1, "blocks": [ { "size": 16384, "repeat": 25 }, { "size": 4096, "flags": "free", "repeat": 4 } ] } ],
      "modules": [ "coredll.dll", "commctrl.dll", "ole32.dll", "oleaut32.dll", "ws2.dll", "winsock.dll" ],
      "windows": [ { "title": "Web Browser - Status Page", "icon": "#1E5AA8" } ] },
    { "exe": "kestrun.exe", "self": true,
      "threads": [ { "priority": 3, "load": 0.3 } ],
      "windows": [ { "title": "Dravik Task Manager" } ],
      "heaps": [ { "flags": 1, "blocks": [ { "size": 2048, "repeat": 10 } ] } ],
      "modules": [ "coredll.dll", "commctrl.dll", "toolhelp.dll", "iphlpapi.dll" ] }
  ],
  "services": [
    { "prefix": "HTP", "dll": "httpd.dll", "state": 1, "key": "HTTPD", "order": 50, "friendlyName": "Web Server",
      "description": "Serves the device status pages" },
    { "prefix": "NTP", "dll": "timesvc.dll", "state": 1, "key": "TIMESVC", "order": 40, "displayName": "Time Service" },
    { "prefix": "TEL", "dll": "telnetd.dll", "state": 0, "key": "TELNETD", "order": 60, "friendlyName": "Telnet Server" },
    { "prefix": "FTP", "dll": "ftpd.dll", "state": 1, "key": "FTPD", "order": 55, "friendlyName": "FTP Server" },
    { "prefix": "SMB", "dll": "smbserver.dll", "state": 5, "key": "SMBServer", "order": 70, "displayName": "File Server" },
    { "prefix": "LPC", "dll": "lpcd.dll", "state": 2, "key": "LPCD", "order": 10, "registryIndex": false,
      "friendlyName": "Local Procedure Calls" }
  ],
  "devices": [
    { "name": "COM1:", "dll": "serial.dll", "driverKey": "Drivers\\BuiltIn\\Serial", "order": 0, "irq": 4, "sysIntr": 20,
      "ioBase": { "dword": "0x3F8" }, "power": 0 },
    { "name": "COM2:", "dll": "serial.dll", "driverKey": "Drivers\\BuiltIn\\Serial2", "order": 0, "irq": 3, "sysIntr": 19,
      "ioBase": { "string": "2f8" }, "power": 1 },
    { "name": "NDS0:", "dll": "ne2000.dll", "driverKey": "Comm\\NE20001", "order": 1, "sysIntr": 19,
      "ioBase": ["300", "310"], "memBase": { "dword": "0xD0000" }, "power": 0 },
    { "name": "PCC1:", "dll": "pcmcia.dll", "driverKey": "Drivers\\PCMCIA", "order": 2, "irq": 11, "memBase": "d8000", "power": 0 },
    { "name": "KBD1:", "dll": "keybddr.dll", "driverKey": "Drivers\\BuiltIn\\Keyboard", "order": 1, "sysIntr": 17, "power": 0,
      "deactivatable": false },
    { "name": "AFD1:", "dll": "afd.dll", "driverKey": "Drivers\\BuiltIn\\Afd", "order": 3, "power": -1 },
    { "name": "DSK1:", "dll": "atadisk.dll", "driverKey": "Drivers\\BuiltIn\\Ide", "order": 4, "irq": 14, "ioBase": { "dword": "0x1F0" },
      "power": 2 }
  ],
  "interfaces": [
    { "index": 1, "name": "", "adapter": "LOOPBACK", "description": "Loopback interface", "type": 24, "mtu": 1500,
      "speed": 10000000, "status": 5, "inRate": 40, "outRate": 40 },
    { "index": 2, "name": "", "adapter": "NE20001", "friendlyName": "LAN Adapter", "description": "NE2000 compatible Ethernet",
      "type": 6, "mtu": 1500, "speed": 10000000, "status": 5, "inOctets": 48123456, "outOctets": 9123456,
      "inUcastPkts": 61234, "outUcastPkts": 23456, "inRate": 14000, "outRate": 3500 },
    { "index": 3, "name": "", "adapter": "PCI\\WLAN1", "description": "Wireless LAN card", "type": 71, "mtu": 1500,
      "speed": 11000000, "status": 4, "inOctets": 1200000, "outOctets": 450000, "inRate": 2500, "outRate": 900 }
  ],
  "registry": {
    "localMachine": { "Ident": { "Name": "KESTREL-01", "Desc": "Kestrel reference board" } }
  }
})json";

}  // namespace

const std::string& BuiltinProfileText()
{
    static const std::string text(kBuiltinProfile);
    return text;
}

SimProfile BuiltinProfile()
{
    std::string error;
    std::optional<SimProfile> profile = ParseProfile(BuiltinProfileText(), "built-in profile", error);
    // The built-in text is checked by the tests; should it ever fail, an empty device still runs.
    return profile ? std::move(*profile) : SimProfile{};
}

void AppendGeneratedPrograms(SimProfile& profile, uint32_t processes, uint32_t threadsPerProcess, uint32_t heapEntriesPerProcess)
{
    const bool haveCore = std::any_of(profile.modules.begin(), profile.modules.end(), [](const ModuleSpec& m) { return Lower(m.name) == L"coredll.dll"; });
    if (!haveCore) {
        ModuleSpec core;
        core.name = L"coredll.dll";
        core.size = 512 * 1024;
        core.inRom = true;
        profile.modules.push_back(core);
    }
    const size_t first = profile.processes.size();
    profile.processes.reserve(first + processes);
    for (uint32_t n = 0; n < processes; ++n) {
        wchar_t name[32];
        std::swprintf(name, 32, L"app%05u.exe", n);
        ProcessSpec process;
        process.exeName = name;
        process.path = L"\\Program Files\\" + std::wstring(name, 8) + L"\\" + name;
        for (uint32_t t = 0; t < threadsPerProcess; ++t) {
            ThreadSpec thread;
            // The first thread of each program uses 0.01 % of the processor, the
            // others idle: up to 10,000 programs fit in the one processor without
            // being scaled down, so each row changes the same way at any size.
            thread.load = t == 0 ? 1 : 0;
            thread.userTime = uint64_t{n % 97 + t} * 10000 * 10;
            thread.createdMs = 100 + n;
            process.threads.push_back(thread);
        }
        HeapSpec heap;
        heap.flags = 1;
        heap.blocks.reserve(heapEntriesPerProcess);
        for (uint32_t b = 0; b < heapEntriesPerProcess; ++b) {
            HeapBlockSpec block;
            block.size = 16u << ((n + b) % 9);  // 16 bytes .. 4 KiB
            block.flags = (b % 10 == 9) ? uint32_t{kHeapFree} : uint32_t{kHeapFixed};
            heap.blocks.push_back(block);
        }
        process.heaps.push_back(std::move(heap));
        process.modules.push_back({L"coredll.dll", 1});
        profile.processes.push_back(std::move(process));
    }
}

SimProfile MakeScaledProfile(uint32_t processes, uint32_t threadsPerProcess, uint32_t heapEntriesPerProcess)
{
    SimProfile profile;
    profile.name = "Scaled device";
    profile.memory = MemoryStatus{0, 256u << 20, 96u << 20, 32u << 20, 20u << 20};
    const wchar_t* const system[] = {L"nk.exe", L"filesys.exe", L"device.exe", L"gwes.exe", L"services.exe", L"kestrun.exe"};
    for (const wchar_t* exe : system) {
        ProcessSpec process;
        process.exeName = exe;
        process.inRom = process.exeName != L"kestrun.exe";
        process.self = !process.inRom;
        process.threads.resize(std::max<uint32_t>(threadsPerProcess, 1));
        HeapSpec heap;
        heap.flags = 1;
        heap.blocks.resize(heapEntriesPerProcess, HeapBlockSpec{0, 256, kHeapFixed, 0});
        process.heaps.push_back(std::move(heap));
        profile.processes.push_back(std::move(process));
    }
    const uint32_t generated = processes > profile.processes.size() ? processes - static_cast<uint32_t>(profile.processes.size()) : 0;
    AppendGeneratedPrograms(profile, generated, std::max<uint32_t>(threadsPerProcess, 1), heapEntriesPerProcess);
    for (ProcessSpec& process : profile.processes)
        if (process.modules.empty()) process.modules.push_back({L"coredll.dll", 1});
    return profile;
}

}  // namespace kestrun::platform::sim
