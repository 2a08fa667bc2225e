// Stacks home screens through ShowHomeScreen, as a user who never leaves
// through Exit does, then leaves through Exit. At depths 1, 10, 100, 1,000
// and every 1,000 after, reports the memory held, the stack used, and what
// opening one more screen costs there: a probe screen opened on top and
// closed again, many times, median CPU time of the opening. Goals: at most
// 32 KiB per stacked screen, and an open at depth 10,000 at most twice one
// at depth 1.
#include "DialerDlg.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace {

int g_target = 10000;
int g_depth = 0;
std::uintptr_t g_frameAtFirst = 0;
constexpr int kProbes = 41;

double cpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

long rssKb()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct Sample {
    int depth;
    double openMs;
    long rssKb;
    std::uintptr_t frame;
};
std::vector<Sample> g_samples;

bool sampled(int depth)
{
    return depth == 1 || depth == 10 || depth == 100 || depth % 1000 == 0;
}

// Opens a home screen over the top one and closes it again, kProbes times;
// the median CPU time from the call to the new screen's loop running.
double probeOpen()
{
    std::vector<double> times;
    for (int i = 0; i < kProbes; ++i) {
        const double start = cpuMs();
        QTimer::singleShot(0, [&times, start] {
            times.push_back(cpuMs() - start);
            CDialogBase::topScreen()->reject();
        });
        ShowHomeScreen();
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

const Sample* at(int depth)
{
    for (const Sample& s : g_samples)
        if (s.depth == depth)
            return &s;
    return nullptr;
}

void report()
{
    std::printf("%8s %18s %12s %14s\n", "depth", "open, median (ms)", "RSS (MiB)", "stack (KiB)");
    for (const Sample& s : g_samples)
        std::printf("%8d %18.3f %12.1f %14.1f\n", s.depth, s.openMs, s.rssKb / 1024.0,
            double(g_frameAtFirst - s.frame) / 1024.0);
    const Sample* first = at(1);
    const Sample* thousand = at(1000);
    const Sample& last = g_samples.back();
    auto perScreen = [](const Sample& a, const Sample& b) { return double(b.rssKb - a.rssKb) / (b.depth - a.depth); };
    if (thousand)
        std::printf(
            "memory per stacked screen, depth 1 to 1,000: %.1f KiB (goal <= 32)\n", perScreen(*first, *thousand));
    if (thousand && last.depth > thousand->depth)
        std::printf("memory per stacked screen, depth 1,000 to %d: %.1f KiB (goal <= 32)\n", last.depth,
            perScreen(*thousand, last));
    std::printf("stack per stacked screen: %.0f bytes\n", double(first->frame - last.frame) / (last.depth - 1));
    std::printf("open at depth %d against depth 1: %.2fx (goal <= 2)\n", last.depth, last.openMs / first->openMs);
    std::fflush(stdout);
}

void stackNext();

// Runs inside the newest home screen's loop, right after it opened.
void onOpened()
{
    const auto frame = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    if (g_depth == 1)
        g_frameAtFirst = frame;
    if (sampled(g_depth)) {
        const long rss = rssKb(); // before the probes, which may leave freed memory behind
        g_samples.push_back({ g_depth, probeOpen(), rss, frame });
    }
    if (g_depth < g_target) {
        stackNext();
        return;
    }
    report();
    // Leave as the user would: Exit, then OK.
    QWidget* top = CDialogBase::topScreen();
    QTimer::singleShot(0, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Ok)->click();
    });
    top->findChild<QPushButton*>(QStringLiteral("ctl1039"))->click();
}

void stackNext()
{
    QTimer::singleShot(0, [] {
        ++g_depth;
        QTimer::singleShot(0, onOpened); // runs once the new screen's loop spins
        ShowHomeScreen();
    });
}

} // namespace

int main(int argc, char* argv[])
{
    stackdepth::recordStackBase();
    QApplication app(argc, argv);
    if (argc > 1)
        g_target = std::atoi(argv[1]);
    // The first home screen is the application's; count it as depth 1.
    QTimer::singleShot(0, [] {
        g_depth = 1;
        onOpened();
    });
    theApp.InitInstance();
    std::printf("the first home screen ended without Exit\n");
    return 1;
}
