#include "probe/toolprocess.h"

#include <QProcess>
#include <QTimer>

#include <optional>

// Where a start does not copy the caller, QProcess costs no more than a spawn would.
class ToolProcess::Private
{
public:
    explicit Private(ToolProcess *q);

    void onFinished(int exitCode, QProcess::ExitStatus status);
    void killFor(Ending reason);
    void finish(int exitCode, Ending ending);

    ToolProcess *const q;
    QProcess *process;
    QTimer *timeLimit;
    QByteArray standardError;
    bool running = false; // from start() until finished() is emitted
    std::optional<Ending> killedFor; // set when we killed the tool, and why
};

ToolProcess::Private::Private(ToolProcess *q)
    : q(q), process(new QProcess(q)), timeLimit(new QTimer(q))
{
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    timeLimit->setSingleShot(true);
    QObject::connect(timeLimit, &QTimer::timeout, q, [this] { killFor(Ending::TimedOut); });
    QObject::connect(process, &QProcess::started, q, &ToolProcess::started);
    QObject::connect(
            process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), q,
            [this](int exitCode, QProcess::ExitStatus status) { onFinished(exitCode, status); });
    // The error may come from inside start(); finished() must not.
    QObject::connect(
            process, &QProcess::errorOccurred, q,
            [this](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart)
                    finish(-1, Ending::FailedToStart);
            },
            Qt::QueuedConnection);
}

void ToolProcess::Private::onFinished(int exitCode, QProcess::ExitStatus status)
{
    standardError = process->readAllStandardError();
    const bool crashed = status == QProcess::CrashExit;
    finish(exitCode, killedFor ? *killedFor : crashed ? Ending::Crashed : Ending::Exited);
}

void ToolProcess::Private::killFor(Ending reason)
{
    if (process->state() == QProcess::NotRunning || killedFor)
        return;
    killedFor = reason;
    process->kill();
}

// Emits last: a slot may start the next run or delete this object.
void ToolProcess::Private::finish(int exitCode, Ending ending)
{
    timeLimit->stop();
    running = false;
    emit q->finished(exitCode, ending);
}

ToolProcess::ToolProcess(QObject *parent) : QObject(parent), d(std::make_unique<Private>(this)) { }

ToolProcess::~ToolProcess()
{
    d->process->blockSignals(true);
    d->process->kill();
    d->process->waitForFinished(-1);
}

void ToolProcess::start(const QString &program, const QStringList &arguments, int timeLimitMs)
{
    if (d->running) {
        qWarning("ToolProcess: %s is still running; %s not started",
                 qPrintable(d->process->program()), qPrintable(program));
        return;
    }
    d->standardError.clear();
    d->killedFor.reset();
    d->running = true;
    d->process->start(program, arguments);
    if (timeLimitMs > 0)
        d->timeLimit->start(timeLimitMs);
}

bool ToolProcess::isRunning() const
{
    return d->running;
}

void ToolProcess::kill()
{
    d->killFor(Ending::Crashed);
}

QString ToolProcess::program() const
{
    return d->process->program();
}

QStringList ToolProcess::arguments() const
{
    return d->process->arguments();
}

QByteArray ToolProcess::standardError() const
{
    return d->standardError;
}
