// Stacks home screens through ShowHomeScreen, as a user who never leaves
// through Exit does, then leaves through Exit. Reports the time to open a
// screen and the memory and stack each stacked screen costs.
#include "DialerDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace {

int g_target = 10000;
int g_depth = 0;
QElapsedTimer g_clock;
std::uintptr_t g_frameAtFirst = 0;

std::vector<double> g_openTimes;

// Single opens are noisy on a shared machine: each sample is the mean of the
// opens just before it.
double recentMean()
{
    const std::size_t n = std::min<std::size_t>(g_openTimes.size(), 20);
    double sum = 0;
    for (std::size_t i = g_openTimes.size() - n; i < g_openTimes.size(); ++i)
        sum += g_openTimes[i];
    return n ? sum / double(n) : 0;
}

struct Sample {
    int depth;
    double openMs;
    long rssKb;
    std::uintptr_t frame;
};
std::vector<Sample> g_samples;

long rssKb()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

bool sampled(int depth)
{
    return depth == 1 || depth == 10 || depth == 100 || depth % 1000 == 0;
}

void report()
{
    std::printf("%8s %16s %12s %14s\n", "depth", "open, mean (ms)", "RSS (MiB)", "stack (KiB)");
    for (const Sample& s : g_samples)
        std::printf("%8d %16.3f %12.1f %14.1f\n", s.depth, s.openMs, s.rssKb / 1024.0,
            double(g_frameAtFirst - s.frame) / 1024.0);
    if (g_samples.size() >= 2) {
        const Sample& a = g_samples[g_samples.size() > 3 ? 3 : 1]; // from depth 1000
        const Sample& b = g_samples.back();
        const double perScreenKb = double(b.rssKb - a.rssKb) / (b.depth - a.depth);
        const double stackPerScreen = double(a.frame - b.frame) / (b.depth - a.depth);
        std::printf(
            "memory per stacked screen: %.1f KiB; stack per stacked screen: %.0f bytes\n", perScreenKb, stackPerScreen);
    }
    std::fflush(stdout);
}

void stackNext();

// Runs inside the newest home screen's loop, right after it opened.
void onOpened()
{
    const double ms = double(g_clock.nsecsElapsed()) / 1e6;
    const auto frame = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    if (g_depth == 1)
        g_frameAtFirst = frame;
    g_openTimes.push_back(ms);
    if (sampled(g_depth))
        g_samples.push_back({ g_depth, recentMean(), rssKb(), frame });
    if (g_depth < g_target) {
        stackNext();
        return;
    }
    report();
    // Leave as the user would: Exit, then OK.
    QWidget* top = QApplication::activeModalWidget();
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
        g_clock.start();
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
    g_depth = 0;
    // The first home screen is the application's; count it as depth 1.
    QTimer::singleShot(0, [] {
        g_depth = 1;
        g_clock.start();
        onOpened();
    });
    theApp.InitInstance();
    std::printf("the first home screen ended without Exit\n");
    return 1;
}
