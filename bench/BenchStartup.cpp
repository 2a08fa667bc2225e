// Process start to first paint: the dialer's home screen against a bare Qt
// dialog, alternating runs, medians and the ratio. Uses the platform of the
// environment (offscreen when QT_QPA_PLATFORM says so, X11 under Xvfb).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double runOnce(const char* program, const QProcessEnvironment& env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    p.start(QString::fromLocal8Bit(program), {});
    if (!p.waitForReadyRead(30000))
        return -1;
    const double ms = double(t.nsecsElapsed()) / 1e6;
    p.waitForFinished(30000);
    return p.readAllStandardOutput().contains("shown") ? ms : -1;
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
    const int runs = argc > 1 ? std::atoi(argv[1]) : 30;
    QTemporaryDir data;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    std::vector<double> home, bare;
    runOnce(HOME_BIN, env); // warm the page cache for both
    runOnce(BARE_BIN, env);
    for (int i = 0; i < runs; ++i) {
        home.push_back(runOnce(HOME_BIN, env));
        bare.push_back(runOnce(BARE_BIN, env));
    }
    if (std::count(home.begin(), home.end(), -1.0) || std::count(bare.begin(), bare.end(), -1.0)) {
        std::fprintf(stderr, "a run did not reach its first paint\n");
        return 1;
    }
    const double h = median(home), b = median(bare);
    std::printf("platform %s, %d runs each\n",
        qgetenv("QT_QPA_PLATFORM").isEmpty() ? "default" : qgetenv("QT_QPA_PLATFORM").constData(), runs);
    std::printf("bare QDialog  median %.1f ms (min %.1f)\n", b, *std::min_element(bare.begin(), bare.end()));
    std::printf("home screen   median %.1f ms (min %.1f)\n", h, *std::min_element(home.begin(), home.end()));
    std::printf("ratio         %.2fx (goal <= 1.25x)\n", h / b);
    return 0;
}
