#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

// One run of an external tool at a time: standard input and output on the null device,
// standard error collected. Every way a run ends is reported once through finished(),
// always from the event loop, never from inside start().
//
// Where starting a process copies the caller (POSIX), the tool is spawned without copying
// the host's memory, so a start costs the same however large the host has grown. Only the
// tool's own process is ever reaped: QProcess instances elsewhere in the host keep working.
class ToolProcess : public QObject
{
    Q_OBJECT
public:
    enum class Ending { Exited, Crashed, TimedOut, FailedToStart };
    Q_ENUM(Ending)

    explicit ToolProcess(QObject *parent = nullptr);
    ~ToolProcess() override; // a tool still running is killed and reaped here, silently

    // A program (searched on PATH when it has no directory part) and its arguments; never a
    // shell. A time limit of 0 or less means none. A run is in progress from here until
    // finished() is emitted; starting another one before that is refused with a warning.
    void start(const QString &program, const QStringList &arguments, int timeLimitMs);
    bool isRunning() const;
    void kill(); // ends the run; finished() follows with Crashed
    QString program() const;
    QStringList arguments() const;
    QByteArray standardError() const; // everything the tool wrote there, once finished

signals:
    void started(); // may come from inside start(), on a successful start only
    // exitCode: the tool's exit status when Exited, the signal that ended it when Crashed or
    // TimedOut (the exception code on Windows), -1 when FailedToStart.
    void finished(int exitCode, ToolProcess::Ending ending);

private:
    class Private; // one per platform, in the source file the build picks
    std::unique_ptr<Private> d;
};
