// Times a program from just before it is started to the "frame <ns>" line it
// prints, on the same monotonic clock, so loading, linking and static set-up
// count as launch time. Passes every line through and adds "launch_ms <ms>".
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

extern char** environ;

namespace {

long long monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_spawn PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    int out[2];
    if (pipe(out) != 0)
        return 2;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);

    const long long start = monotonicNs();
    pid_t child = 0;
    if (posix_spawn(&child, argv[1], &actions, nullptr, argv + 1, environ) != 0) {
        std::perror(argv[1]);
        return 2;
    }
    close(out[1]);

    FILE* lines = fdopen(out[0], "r");
    char line[256];
    while (lines && std::fgets(line, sizeof line, lines)) {
        std::fputs(line, stdout);
        long long frame = 0;
        if (std::sscanf(line, "frame %lld", &frame) == 1)
            std::printf("launch_ms %.3f\n", static_cast<double>(frame - start) / 1e6);
        std::fflush(stdout);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
