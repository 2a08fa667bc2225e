// Process start to first paint: the dialer's home screen against a bare Qt
// dialog with the same controls, in pairs whose order alternates. The figure
// is the CPU time each process used up to its first paint, as it reports it;
// the wall time, which a shared machine's other work stretches, is shown
// beside it. Uses the platform of the environment (offscreen when
// QT_QPA_PLATFORM says so, X11 under Xvfb).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

struct Run {
    double cpuMs;
    double wallMs;
};

std::optional<Run> runOnce(const char* program, const QProcessEnvironment& env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    p.start(QString::fromLocal8Bit(program), {});
    if (!p.waitForReadyRead(30000))
        return std::nullopt;
    const double wallMs = double(t.nsecsElapsed()) / 1e6;
    p.waitForFinished(30000);
    const QByteArray out = p.readAllStandardOutput().trimmed();
    bool ok = false;
    const double cpuUs = out.startsWith("shown ") ? out.mid(6).toDouble(&ok) : 0;
    if (!ok)
        return std::nullopt;
    return Run { cpuUs / 1000, wallMs };
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int pairs = std::max(30, argc > 1 ? std::atoi(argv[1]) : 30);
    QTemporaryDir data;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    runOnce(HOME_BIN, env); // warm the page cache for both
    runOnce(BARE_BIN, env);
    std::vector<double> homeCpu, bareCpu, homeWall, bareWall, ratios;
    for (int i = 0; i < pairs; ++i) {
        // Alternating which goes first keeps any lag after a start on one side only.
        const bool homeFirst = i % 2 == 0;
        const std::optional<Run> first = runOnce(homeFirst ? HOME_BIN : BARE_BIN, env);
        const std::optional<Run> second = runOnce(homeFirst ? BARE_BIN : HOME_BIN, env);
        if (!first || !second) {
            std::fprintf(stderr, "a run did not reach its first paint\n");
            return 1;
        }
        const Run& home = homeFirst ? *first : *second;
        const Run& bare = homeFirst ? *second : *first;
        homeCpu.push_back(home.cpuMs);
        bareCpu.push_back(bare.cpuMs);
        homeWall.push_back(home.wallMs);
        bareWall.push_back(bare.wallMs);
        ratios.push_back(home.cpuMs / bare.cpuMs);
    }
    std::printf("platform %s, %d pairs, CPU time to the first paint (wall time beside it)\n",
        qgetenv("QT_QPA_PLATFORM").isEmpty() ? "default" : qgetenv("QT_QPA_PLATFORM").constData(), pairs);
    std::printf("bare QDialog  median %.1f ms CPU (min %.1f), %.1f ms wall\n", median(bareCpu),
        *std::min_element(bareCpu.begin(), bareCpu.end()), median(bareWall));
    std::printf("home screen   median %.1f ms CPU (min %.1f), %.1f ms wall\n", median(homeCpu),
        *std::min_element(homeCpu.begin(), homeCpu.end()), median(homeWall));
    std::printf("ratio         %.2fx of the medians, %.2fx median of the pairs (goal <= 1.10x)\n",
        median(homeCpu) / median(bareCpu), median(ratios));
    // The call history is opened when a call is placed or the list is asked for, never at the start.
    std::printf("call history  %s\n",
        QFileInfo::exists(data.filePath(QStringLiteral("dialer/history.sqlite"))) ? "opened at the start (goal: not)"
                                                                                  : "not opened at the start");
    return 0;
}
