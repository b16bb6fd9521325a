// Starts a do-nothing tool STARTS times one after another, three ways: through ToolProcess
// and through QProcess from the event loop (each start waits for the previous run's end), and
// from a bare posix_spawn + waitpid loop. Then the process grows by MEGABYTES of touched
// memory, as a host with a large folder loaded does, and the three run again. Prints
// milliseconds per start: a start that copies the caller grows with it, a spawn should not.
//
//   build/bench/bench_spawn [STARTS] [MEGABYTES]

#include "probe/toolprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTextStream>

#include <functional>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

namespace {

constexpr int kDefaultStarts = 1000;
constexpr int kDefaultMegabytes = 500;
constexpr int kBallastChunkBytes = 4096; // small blocks on the heap, like a model's records
constexpr char kTool[] = "/bin/true"; // the tool's own time is next to nothing

struct Timing
{
    double msPerStart;
    int failures; // runs that did not exit with 0: the figure would be meaningless
};

Timing timeOf(int starts, const std::function<int()> &run)
{
    QElapsedTimer clock;
    clock.start();
    const int failures = run();
    return {clock.nsecsElapsed() / 1e6 / starts, failures};
}

int throughToolProcess(int starts)
{
    ToolProcess tool;
    QEventLoop loop;
    int left = starts, failures = 0;
    QObject::connect(&tool, &ToolProcess::finished, &loop,
                     [&](int exitCode, ToolProcess::Ending ending) {
                         failures += exitCode != 0 || ending != ToolProcess::Ending::Exited;
                         if (--left > 0)
                             tool.start(QLatin1String(kTool), {}, 0);
                         else
                             loop.quit();
                     });
    tool.start(QLatin1String(kTool), {}, 0);
    loop.exec();
    return failures;
}

int throughQProcess(int starts)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    QEventLoop loop;
    int left = starts, failures = 0;
    QObject::connect(&process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop,
                     [&](int exitCode, QProcess::ExitStatus status) {
                         failures += exitCode != 0 || status != QProcess::NormalExit;
                         if (--left > 0)
                             process.start(QLatin1String(kTool), QStringList());
                         else
                             loop.quit();
                     });
    process.start(QLatin1String(kTool), QStringList());
    loop.exec();
    return failures;
}

int throughBareSpawn(int starts)
{
    char *const argv[] = {const_cast<char *>(kTool), nullptr};
    int failures = 0;
    for (int i = 0; i < starts; ++i) {
        pid_t pid = 0;
        int status = 0;
        if (posix_spawn(&pid, kTool, nullptr, nullptr, argv, environ) != 0
            || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            ++failures;
    }
    return failures;
}

void printRound(QTextStream &out, const QString &title, int starts)
{
    out << title << Qt::endl;
    const std::pair<const char *, std::function<int()>> ways[] = {
            {"ToolProcess",
             [=] {
                 return throughToolProcess(starts);
             }},
            {"QProcess",
             [=] {
                 return throughQProcess(starts);
             }},
            {"posix_spawn + waitpid",
             [=] {
                 return throughBareSpawn(starts);
             }},
    };
    for (const auto &[name, run] : ways) {
        const Timing timing = timeOf(starts, run);
        out << QStringLiteral("  %1 %2 ms per start")
                        .arg(QLatin1String(name), -22)
                        .arg(timing.msPerStart, 6, 'f', 3);
        if (timing.failures > 0)
            out << QStringLiteral("  (%1 runs failed)").arg(timing.failures);
        out << Qt::endl;
    }
}

// Touched page by page, so every page is mapped and a fork has to copy its table entry.
std::vector<QByteArray> grow(int megabytes)
{
    const qint64 chunks = qint64(megabytes) * 1024 * 1024 / kBallastChunkBytes;
    std::vector<QByteArray> ballast;
    ballast.reserve(chunks);
    for (qint64 i = 0; i < chunks; ++i)
        ballast.emplace_back(kBallastChunkBytes, char(i));
    return ballast;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int starts = arguments.value(1, QString::number(kDefaultStarts)).toInt();
    const int megabytes = arguments.value(2, QString::number(kDefaultMegabytes)).toInt();
    QTextStream out(stdout);
    out << starts << " sequential starts of " << kTool << Qt::endl;
    printRound(out, QStringLiteral("as started:"), starts);
    const std::vector<QByteArray> ballast = grow(megabytes);
    printRound(out, QStringLiteral("after %1 MB more, touched:").arg(megabytes), starts);
    return ballast.empty() && megabytes > 0;
}
