// Time from exec to the first window mapped on the X display, for programs
// run in turn (interleaved rounds), under Xvfb.
//   lumavera-bench-mapped ROUNDS NAME=COMMAND...

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

double msSince(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s ROUNDS NAME=COMMAND...\n", argv[0]);
        return 2;
    }
    const int rounds = std::max(1, std::atoi(argv[1]));
    xcb_connection_t *x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x);

    struct Program
    {
        std::string name;
        std::string command;
        std::vector<double> ms;
    };
    std::vector<Program> programs;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto eq = arg.find('=');
        programs.push_back({arg.substr(0, eq), arg.substr(eq + 1), {}});
    }
    for (int round = 0; round < rounds; ++round) {
        for (Program &p : programs) {
            const auto t0 = std::chrono::steady_clock::now();
            const pid_t child = ::fork();
            if (child == 0) {
                ::execl("/bin/sh", "sh", "-c", ("exec " + p.command).c_str(),
                        static_cast<char *>(nullptr));
                ::_exit(127);
            }
            bool mapped = false;
            while (!mapped && msSince(t0) < 10000) {
                xcb_generic_event_t *e = xcb_poll_for_event(x);
                if (!e) {
                    ::usleep(200);
                    continue;
                }
                mapped = (e->response_type & 0x7f) == XCB_MAP_NOTIFY;
                std::free(e);
            }
            if (mapped)
                p.ms.push_back(msSince(t0));
            ::kill(child, SIGTERM);
            ::waitpid(child, nullptr, 0);
            // Drain the unmap and destroy events of this round.
            ::usleep(50000);
            while (xcb_generic_event_t *e = xcb_poll_for_event(x))
                std::free(e);
        }
    }
    std::printf("exec to window mapped under Xvfb (%d interleaved rounds)\n", rounds);
    const double base = programs.front().ms.empty() ? 0 : [&] {
        auto v = programs.front().ms;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }();
    for (Program &p : programs) {
        std::sort(p.ms.begin(), p.ms.end());
        if (p.ms.empty()) {
            std::printf("%-30s never mapped\n", p.name.c_str());
            continue;
        }
        const double median = p.ms[p.ms.size() / 2];
        std::printf("%-30s median %7.1f ms  (min %.1f, max %.1f)  %.2fx the first\n",
                    p.name.c_str(), median, p.ms.front(), p.ms.back(),
                    base > 0 ? median / base : 0);
    }
    xcb_disconnect(x);
    return 0;
}
