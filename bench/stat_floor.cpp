// The floor of a process monitor's refresh: each pass reads every
// /proc/PID/stat and nothing more. Usage: stat_floor PASSES INTERVAL-SECONDS.
// Built by the live benchmark scripts.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
int main(int argc, char** argv)
{
    if (argc != 3) return 2;
    const int passes = std::atoi(argv[1]);
    const int interval = std::atoi(argv[2]);
    char buffer[4096];
    char path[300];
    for (int pass = 0; pass < passes; ++pass) {
        if (pass > 0) sleep(interval);
        DIR* proc = opendir("/proc");
        while (dirent* entry = readdir(proc)) {
            if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
            snprintf(path, sizeof path, "/proc/%s/stat", entry->d_name);
            const int fd = open(path, O_RDONLY);
            if (fd < 0) continue;
            while (read(fd, buffer, sizeof buffer) > 0) {}
            close(fd);
        }
        closedir(proc);
    }
}
