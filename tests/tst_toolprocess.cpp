#include "probe/toolprocess.h"

#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using Ending = ToolProcess::Ending;

static constexpr int kWaitMs = 10000; // far below the 30 s and 60 s the stand-ins can hang
static constexpr int kLargeErrorBytes = 200000; // several pipe buffers

// Every stand-in gets these: spaces, quotes, shell syntax and non-ASCII must arrive as given.
static const QStringList kArguments{"two words", "\"double\" 'single'", "$HOME *;|", "",
                                    "ünïcødé 日本"};

class TestToolProcess : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    // A stand-in tool on PATH under this name; an empty body writes none.
    void writeTool(const QString &name, const QString &body, bool executable = true)
    {
        if (body.isEmpty())
            return;
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(("#!/bin/sh\n" + body + "\n").toUtf8());
        const auto readWrite = QFile::ReadOwner | QFile::WriteOwner;
        QVERIFY(file.setPermissions(executable ? readWrite | QFile::ExeOwner : readWrite));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        qRegisterMetaType<Ending>();
        qRegisterMetaType<QProcess::ExitStatus>();
        qputenv("PATH", QFile::encodeName(dir.path()) + ':' + qgetenv("PATH"));
    }

    void reportsHowTheRunEnded_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("executable");
        QTest::addColumn<int>("timeLimitMs");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<Ending>("ending");
        QTest::addColumn<QByteArray>("standardError");
        QTest::addRow("arguments unchanged")
                << "printf '%s\\n' \"$@\" >&2" << true << 0 << 0 << Ending::Exited
                << (kArguments.join('\n') + '\n').toLocal8Bit();
        QTest::addRow("more than a pipe holds")
                << QString("head -c %1 /dev/zero | tr '\\0' x >&2").arg(kLargeErrorBytes) << true
                << 0 << 0 << Ending::Exited << QByteArray(kLargeErrorBytes, 'x');
        QTest::addRow("exit code 3") << "echo failing >&2; exit 3" << true << 0 << 3
                                     << Ending::Exited << QByteArray("failing\n");
        QTest::addRow("segmentation fault")
                << "kill -SEGV $$" << true << 0 << SIGSEGV << Ending::Crashed << QByteArray();
        QTest::addRow("hangs past its time limit")
                << "exec sleep 60" << true << 300 << SIGKILL << Ending::TimedOut << QByteArray();
        QTest::addRow("killed") << "exec sleep 60" << true << 0 << SIGKILL << Ending::Crashed
                                << QByteArray();
        QTest::addRow("time limit not reached")
                << "exit 0" << true << 5000 << 0 << Ending::Exited << QByteArray();
        QTest::addRow("grandchild keeps standard error open")
                << "sleep 30 & echo left >&2" << true << 0 << 0 << Ending::Exited
                << QByteArray("left\n");
        QTest::addRow("missing program")
                << QString() << true << 0 << -1 << Ending::FailedToStart << QByteArray();
        QTest::addRow("not executable")
                << "exit 0" << false << 0 << -1 << Ending::FailedToStart << QByteArray();
    }

    // finished() comes once, from the event loop, with what the tool wrote; a kill ends a
    // run as a crash.
    void reportsHowTheRunEnded()
    {
        QFETCH(QString, script);
        QFETCH(bool, executable);
        QFETCH(int, timeLimitMs);
        QFETCH(Ending, ending);
        const QString name = QString("tool-%1").arg(QTest::currentDataTag()).replace(' ', '-');
        writeTool(name, script, executable);
        ToolProcess tool;
        QSignalSpy started(&tool, &ToolProcess::started);
        QSignalSpy finished(&tool, &ToolProcess::finished);
        tool.start(name, kArguments, timeLimitMs);
        QCOMPARE(tool.program(), name);
        QCOMPARE(tool.arguments(), kArguments);
        QVERIFY(tool.isRunning());
        QCOMPARE(finished.count(), 0);
        if (qstrcmp(QTest::currentDataTag(), "killed") == 0)
            tool.kill();
        QVERIFY(finished.wait(kWaitMs));
        QTest::qWait(0); // a second report would already be queued
        QCOMPARE(finished.count(), 1);
        QTEST(finished.at(0).at(0).toInt(), "exitCode");
        QCOMPARE(finished.at(0).at(1).value<Ending>(), ending);
        QTEST(tool.standardError(), "standardError");
        QCOMPARE(started.count(), ending == Ending::FailedToStart ? 0 : 1);
        QVERIFY(!tool.isRunning());
    }

    // The host's other children (the transcoder's QProcess, a plain spawn) are left to their
    // owners while our tools come and go.
    void othersChildrenStillFinish()
    {
        writeTool("slow", "sleep 0.3; exit 5");
        writeTool("quick", "exit 0");
        QProcess process;
        QSignalSpy processFinished(&process,
                                   qOverload<int, QProcess::ExitStatus>(&QProcess::finished));
        process.start("slow", QStringList());
        const pid_t plainChild = fork();
        if (plainChild == 0)
            _exit(7);
        ToolProcess tool;
        QSignalSpy finished(&tool, &ToolProcess::finished);
        connect(&tool, &ToolProcess::finished, this, [&] {
            if (process.state() != QProcess::NotRunning)
                tool.start("quick", {}, 0);
        });
        tool.start("quick", {}, 0);
        QVERIFY(processFinished.wait(kWaitMs));
        QCOMPARE(processFinished.at(0).at(0).toInt(), 5);
        QCOMPARE(processFinished.at(0).at(1).value<QProcess::ExitStatus>(), QProcess::NormalExit);
        QTRY_VERIFY(!tool.isRunning());
        QVERIFY(finished.count() > 1);
        for (const QVariantList &run : finished)
            QCOMPARE(run.at(1).value<Ending>(), Ending::Exited);
        int status = 0;
        QCOMPARE(waitpid(plainChild, &status, 0), plainChild);
        QCOMPARE(WEXITSTATUS(status), 7);
    }
};

QTEST_GUILESS_MAIN(TestToolProcess)
#include "tst_toolprocess.moc"
