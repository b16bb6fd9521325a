#include "transcode/ui_proc_transcodingtool_desktop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

#include <cmath>

namespace {

constexpr int kReportIntervalMs = 100; // about ten progress reports a second
constexpr int kStopGraceMs = 2000;
constexpr float kLastRunningFraction = 0.999f; // 1.0 means done and is reported once

int roundUpTo(int value, int multiple)
{
    return (value + multiple - 1) / multiple * multiple;
}

// The wall decodes a HAP frame's chunks on as many threads.
constexpr int kHapChunks = 8;

bool isHap(int codec)
{
    return codec != UI_Proc_TranscodingTool_Desktop::H264;
}

// HAP takes sizes that are multiples of 4, H.264 in 4:2:0 even sizes.
QString scaleFilter(int codec, int width, int height)
{
    const int multiple = isHap(codec) ? 4 : 2;
    if (width > 0 && height > 0)
        return QStringLiteral("scale=%1:%2")
                .arg(roundUpTo(width, multiple))
                .arg(roundUpTo(height, multiple));
    return QStringLiteral("scale=ceil(iw/%1)*%1:ceil(ih/%1)*%1").arg(multiple);
}

QStringList videoCodecArguments(int codec)
{
    if (!isHap(codec))
        return {QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-pix_fmt"),
                QStringLiteral("yuv420p")};
    const QString format = codec == UI_Proc_TranscodingTool_Desktop::HapQ ? QStringLiteral("hap_q")
                           : codec == UI_Proc_TranscodingTool_Desktop::HapAlpha
                                   ? QStringLiteral("hap_alpha")
                                   : QStringLiteral("hap");
    return {QStringLiteral("-c:v"),    QStringLiteral("hap"),
            QStringLiteral("-format"), format,
            QStringLiteral("-chunks"), QString::number(kHapChunks)};
}

// The pixel format of the source's first video stream, as the tool describes it; empty
// until the whole description has come, which the stream mapping follows.
QString sourcePixelFormat(const QString &report)
{
    static const QRegularExpression stream(
            QStringLiteral("Stream #0:[^\\n]*?: Video: [^,\\n]*, ([a-z0-9_]+)"));
    if (!report.contains(QLatin1String("Stream mapping:")))
        return {};
    return stream.match(report).captured(1);
}

// Formats whose names carry an alpha channel, or a palette that may; a VP8 or VP9 stream
// keeps its alpha beside its pixels and says so in its tags.
bool hasAlpha(const QString &pixelFormat, const QString &report)
{
    static const QRegularExpression alpha(
            QStringLiteral("^(yuva|gbrap|ya[0-9]|rgba|bgra|argb|abgr|pal8)"));
    static const QRegularExpression alphaTag(QStringLiteral("alpha_mode\\s*: 1"));
    return alpha.match(pixelFormat).hasMatch() || report.contains(alphaTag);
}

qint64 durationInMicroseconds(const QString &report)
{
    static const QRegularExpression duration(
            QStringLiteral("Duration: (\\d+):(\\d\\d):(\\d\\d(?:\\.\\d+)?)"));
    const QRegularExpressionMatch match = duration.match(report);
    if (!match.hasMatch())
        return 0;
    const double seconds = match.captured(1).toInt() * 3600.0 + match.captured(2).toInt() * 60.0
                           + match.captured(3).toDouble();
    return qint64(seconds * 1e6);
}

QString lastLine(const QByteArray &text)
{
    const QList<QByteArray> lines = text.trimmed().split('\n');
    return QString::fromLocal8Bit(lines.isEmpty() ? QByteArray() : lines.last().trimmed());
}

} // namespace

UI_Proc_TranscodingTool_Desktop::UI_Proc_TranscodingTool_Desktop(QObject *parent, int)
    : QObject(parent), process(new QProcess(this)), killTimer(new QTimer(this))
{
    process->setStandardInputFile(QProcess::nullDevice());
    killTimer->setSingleShot(true);
    connect(killTimer, &QTimer::timeout, process, &QProcess::kill);
    connect(process, &QProcess::started, this, [this] {
        if (stopping)
            process->terminate();
    });
    connect(process, &QProcess::readyReadStandardOutput, this,
            &UI_Proc_TranscodingTool_Desktop::readProgress);
    connect(process, &QProcess::readyReadStandardError, this,
            &UI_Proc_TranscodingTool_Desktop::readReport);
    connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            &UI_Proc_TranscodingTool_Desktop::onFinished);
    connect(process, &QProcess::errorOccurred, this,
            &UI_Proc_TranscodingTool_Desktop::onErrorOccurred);
}

UI_Proc_TranscodingTool_Desktop::~UI_Proc_TranscodingTool_Desktop()
{
    process->disconnect(this);
    if (process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished();
        QFile::remove(outputPath);
    }
}

QString UI_Proc_TranscodingTool_Desktop::transcodeOne(const QString &jobId, const QString &source,
                                                      const QString &output, int codec, int width,
                                                      int height, int, int, int)
{
    if (codec != Hap && codec != H264 && codec != HapQ && codec != HapAlpha) {
        fail(jobId,
             tr("Unknown target format (code %1): choose HAP, HAPQ, HAPALPHA or H264.").arg(codec));
        return {};
    }
    // A file of that name may be the user's own: it is never overwritten, nor removed when
    // the transcode fails.
    if (QFileInfo::exists(output)) {
        fail(jobId, tr("The output file %1 exists; move or delete it to transcode again.")
                            .arg(QDir::toNativeSeparators(output)));
        return {};
    }
    const Job job{jobId, source, output, codec, width, height};
    if (runningJobId.isEmpty())
        start(job);
    else if (stopping)
        waiting.append(job); // starts once the stopped tool has ended
    else
        fail(jobId, tr("Another transcode is still running."));
    return output;
}

void UI_Proc_TranscodingTool_Desktop::start(const Job &job)
{
    runningJobId = job.id;
    runningCodec = job.codec;
    sourceChecked = false;
    outputPath = job.output;
    stopping = false;
    durationUs = 0;
    progressLines.clear();
    reportText.clear();
    sinceReport.start();
    process->start(QStringLiteral("ffmpeg"),
                   QStringList{QStringLiteral("-nostdin"), QStringLiteral("-nostats"),
                               QStringLiteral("-progress"), QStringLiteral("pipe:1"),
                               QStringLiteral("-n"), QStringLiteral("-i"), job.source,
                               QStringLiteral("-vf"), scaleFilter(job.codec, job.width, job.height)}
                           + videoCodecArguments(job.codec)
                           + QStringList{QStringLiteral("-c:a"), QStringLiteral("aac"),
                                         QStringLiteral("-f"), QStringLiteral("matroska"),
                                         job.output});
}

void UI_Proc_TranscodingTool_Desktop::stopOne(const QString &jobId)
{
    if (runningJobId.isEmpty() || jobId != runningJobId || stopping)
        return;
    stopping = true;
    // A tool still starting is asked to end once it has started (onStarted): a request sent
    // before it runs would reach a copy of this process instead.
    if (process->state() == QProcess::Running)
        process->terminate();
    killTimer->start(kStopGraceMs);
}

// "-progress" writes key=value lines; out_time_us tells how far the output has come.
void UI_Proc_TranscodingTool_Desktop::readProgress()
{
    progressLines += process->readAllStandardOutput();
    const int end = progressLines.lastIndexOf('\n');
    if (end < 0)
        return;
    qint64 outTimeUs = -1;
    for (const QByteArray &line : progressLines.left(end).split('\n')) {
        if (line.startsWith("out_time_us="))
            outTimeUs = line.mid(12).toLongLong();
    }
    progressLines.remove(0, end + 1);
    if (stopping || outTimeUs < 0 || durationUs <= 0 || sinceReport.elapsed() < kReportIntervalMs)
        return;
    sinceReport.restart();
    emit updateProgress(runningJobId,
                        qBound(0.0f, float(double(outTimeUs) / durationUs), kLastRunningFraction));
}

void UI_Proc_TranscodingTool_Desktop::readReport()
{
    reportText += process->readAllStandardError();
    if (durationUs <= 0)
        durationUs = durationInMicroseconds(QString::fromLocal8Bit(reportText));
    if (!sourceChecked && runningCodec == HapAlpha)
        refuseAlphaWithoutAlpha();
}

// The transcode is stopped as a stop would end it, and fails with the reason once its partial
// output is gone.
void UI_Proc_TranscodingTool_Desktop::refuseAlphaWithoutAlpha()
{
    const QString report = QString::fromLocal8Bit(reportText);
    const QString pixelFormat = sourcePixelFormat(report);
    if (pixelFormat.isEmpty() || stopping)
        return;
    sourceChecked = true;
    if (hasAlpha(pixelFormat, report))
        return;
    stopOne(runningJobId);
    refusal = tr("HAP Alpha needs a source with an alpha channel; this one has none (%1). "
                 "Choose HAP or HAPQ.")
                      .arg(pixelFormat);
}

void UI_Proc_TranscodingTool_Desktop::onFinished(int exitCode, QProcess::ExitStatus status)
{
    killTimer->stop();
    readReport();
    const QString jobId = runningJobId;
    const bool stopped = stopping;
    const QString reason = std::exchange(refusal, {});
    endJob();
    const bool complete = !stopped && status == QProcess::NormalExit && exitCode == 0
                          && QFileInfo(outputPath).size() > 0;
    if (!complete)
        QFile::remove(outputPath); // a partial file is no output
    if (stopped) {
        if (!reason.isEmpty())
            fail(jobId, reason);
        return;
    }
    if (status == QProcess::CrashExit)
        fail(jobId, tr("ffmpeg stopped unexpectedly while transcoding."));
    else if (exitCode != 0)
        fail(jobId, tr("ffmpeg could not transcode the file: %1").arg(lastLine(reportText)));
    else if (QFileInfo(outputPath).size() <= 0)
        fail(jobId, tr("ffmpeg wrote no output."));
    else
        emit updateProgress(jobId, 1.0f);
}

void UI_Proc_TranscodingTool_Desktop::onErrorOccurred(QProcess::ProcessError error)
{
    if (error != QProcess::FailedToStart)
        return;
    killTimer->stop();
    const QString jobId = runningJobId;
    const bool stopped = stopping;
    refusal.clear();
    endJob();
    QFile::remove(outputPath);
    if (!stopped)
        fail(jobId, tr("Cannot start ffmpeg: %1").arg(process->errorString()));
}

void UI_Proc_TranscodingTool_Desktop::fail(const QString &jobId, const QString &reason)
{
    emit transcodeFailed(jobId, reason);
}

void UI_Proc_TranscodingTool_Desktop::endJob()
{
    runningJobId.clear();
    stopping = false;
    if (!waiting.isEmpty())
        QMetaObject::invokeMethod(
                this,
                [this] {
                    if (runningJobId.isEmpty() && !waiting.isEmpty())
                        start(waiting.takeFirst());
                },
                Qt::QueuedConnection);
}
