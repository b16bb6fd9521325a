#include "probe/toolprocess.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

constexpr int kMaxStandardErrorBytes = 4 * 1024 * 1024; // many times any real report, yet a
                                                        // runaway tool cannot eat the memory
constexpr int kReadChunkBytes = 64 * 1024; // one full pipe buffer per read
constexpr int kExitPollMs = 5; // without a pidfd: short next to any tool's run, still idle
constexpr char kNullDevice[] = "/dev/null";

// A descriptor that becomes readable when the child exits, or -1 where the kernel has none
// (too old, or refused by a sandbox): the caller then polls.
int openPidFd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    Q_UNUSED(pid)
    return -1;
#endif
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

pid_t waitForPid(pid_t pid, int *status, int options)
{
    pid_t result;
    do {
        result = ::waitpid(pid, status, options);
    } while (result < 0 && errno == EINTR);
    return result;
}

// posix_spawnp copies the caller no more than vfork does. The child starts with an empty
// signal mask and every signal at its default, whatever the host blocks or ignores (a tool
// that ignored SIGPIPE would never stop writing into a closed pipe). Returns 0 or an errno.
int spawnTool(const QString &program, const QStringList &arguments, int errorWriteFd, pid_t *pid)
{
    std::vector<QByteArray> words{QFile::encodeName(program)};
    for (const QString &argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, kNullDevice, O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, kNullDevice, O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errorWriteFd, STDERR_FILENO);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signalSet;
    sigemptyset(&signalSet);
    posix_spawnattr_setsigmask(&attributes, &signalSet);
    sigfillset(&signalSet);
    posix_spawnattr_setsigdefault(&attributes, &signalSet);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const int error = posix_spawnp(pid, argv.front(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

} // namespace

class ToolProcess::Private
{
public:
    explicit Private(ToolProcess *q);

    void start(const QString &program, const QStringList &arguments, int timeLimitMs);
    void watchExit();
    void watchStandardError();
    void killFor(Ending reason);
    void readStandardError();
    void checkExit();
    void finish(int exitCode, Ending ending);
    void reportFailedStart();
    void release();

    ToolProcess *const q;
    QString program;
    QStringList arguments;
    QByteArray standardError;
    bool running = false; // from start() until finished() is emitted
    pid_t pid = -1; // our child, until reaped
    int errorReadFd = -1; // non-blocking read end of the tool's standard error
    int pidFd = -1;
    QSocketNotifier *errorNotifier = nullptr; // both notifiers live for one run
    QSocketNotifier *exitNotifier = nullptr;
    QTimer *exitPoll; // stands in for the pidfd where there is none
    QTimer *timeLimit;
    std::optional<Ending> killedFor; // set when we killed the tool, and why
};

ToolProcess::Private::Private(ToolProcess *q)
    : q(q), exitPoll(new QTimer(q)), timeLimit(new QTimer(q))
{
    exitPoll->setInterval(kExitPollMs);
    timeLimit->setSingleShot(true);
    QObject::connect(exitPoll, &QTimer::timeout, q, [this] { checkExit(); });
    QObject::connect(timeLimit, &QTimer::timeout, q, [this] { killFor(Ending::TimedOut); });
}

void ToolProcess::Private::start(const QString &program, const QStringList &arguments,
                                 int timeLimitMs)
{
    this->program = program;
    this->arguments = arguments;
    standardError.clear();
    killedFor.reset();
    running = true;

    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0)
        return reportFailedStart();
    const int spawnError = spawnTool(program, arguments, errorPipe[1], &pid);
    ::close(errorPipe[1]); // the tool holds its own copy
    errorReadFd = errorPipe[0];
    if (spawnError != 0) {
        pid = -1;
        closeFd(errorReadFd);
        return reportFailedStart();
    }
    watchExit();
    watchStandardError();
    if (timeLimitMs > 0)
        timeLimit->start(timeLimitMs);
    emit q->started();
}

void ToolProcess::Private::watchExit()
{
    pidFd = openPidFd(pid);
    if (pidFd < 0)
        return exitPoll->start();
    exitNotifier = new QSocketNotifier(pidFd, QSocketNotifier::Read, q);
    QObject::connect(exitNotifier, &QSocketNotifier::activated, q, [this] { checkExit(); });
}

void ToolProcess::Private::watchStandardError()
{
    ::fcntl(errorReadFd, F_SETFL, ::fcntl(errorReadFd, F_GETFL) | O_NONBLOCK);
    errorNotifier = new QSocketNotifier(errorReadFd, QSocketNotifier::Read, q);
    QObject::connect(errorNotifier, &QSocketNotifier::activated, q,
                     [this] { readStandardError(); });
}

void ToolProcess::Private::killFor(Ending reason)
{
    if (pid <= 0 || killedFor)
        return;
    killedFor = reason;
    ::kill(pid, SIGKILL); // the pid stays ours until we reap it, even once it has exited
}

// Reads without blocking until the pipe is empty: a grandchild may hold it open long after
// the tool has gone, so an end of file is never waited for.
void ToolProcess::Private::readStandardError()
{
    char chunk[kReadChunkBytes];
    for (;;) {
        const ssize_t count = ::read(errorReadFd, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR)
            continue;
        if (count == 0 && errorNotifier)
            errorNotifier->setEnabled(false); // at its end the pipe would stay readable
        if (count <= 0)
            return;
        const int room = kMaxStandardErrorBytes - standardError.size();
        standardError.append(chunk, qMin(static_cast<int>(count), room));
    }
}

void ToolProcess::Private::checkExit()
{
    if (pid <= 0)
        return; // waitpid would take any child of the host for -1
    int status = 0;
    const pid_t reaped = waitForPid(pid, &status, WNOHANG);
    if (reaped == 0)
        return; // still running: only the poll asks this early
    readStandardError();
    const bool signalled = reaped < 0 || WIFSIGNALED(status); // < 0: reaped behind our back
    const int exitCode = reaped < 0 ? -1 : signalled ? WTERMSIG(status) : WEXITSTATUS(status);
    const Ending ending = killedFor ? *killedFor : signalled ? Ending::Crashed : Ending::Exited;
    pid = -1;
    finish(exitCode, ending);
}

// Emits last: a slot may start the next run or delete this object.
void ToolProcess::Private::finish(int exitCode, Ending ending)
{
    release();
    running = false;
    emit q->finished(exitCode, ending);
}

void ToolProcess::Private::reportFailedStart()
{
    QMetaObject::invokeMethod(
            q, [this] { finish(-1, Ending::FailedToStart); }, Qt::QueuedConnection);
}

// Notifiers go before their descriptors close; they may be the sender of the current call.
void ToolProcess::Private::release()
{
    for (QSocketNotifier **notifier : {&errorNotifier, &exitNotifier}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->deleteLater();
        }
        *notifier = nullptr;
    }
    exitPoll->stop();
    timeLimit->stop();
    closeFd(errorReadFd);
    closeFd(pidFd);
}

ToolProcess::ToolProcess(QObject *parent) : QObject(parent), d(std::make_unique<Private>(this)) { }

ToolProcess::~ToolProcess()
{
    if (d->pid > 0) {
        ::kill(d->pid, SIGKILL);
        int status = 0;
        waitForPid(d->pid, &status, 0);
    }
    d->release();
}

void ToolProcess::start(const QString &program, const QStringList &arguments, int timeLimitMs)
{
    if (d->running) {
        qWarning("ToolProcess: %s is still running; %s not started", qPrintable(d->program),
                 qPrintable(program));
        return;
    }
    d->start(program, arguments, timeLimitMs);
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
    return d->program;
}

QStringList ToolProcess::arguments() const
{
    return d->arguments;
}

QByteArray ToolProcess::standardError() const
{
    return d->standardError;
}
