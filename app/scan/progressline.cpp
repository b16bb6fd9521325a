#include "progressline.h"

#include "facade/ui_proc_signalcustomfolder_desktop.h"

#include <QFileInfo>
#include <QLocale>

namespace {

QString timeLeftText(int seconds)
{
    if (seconds < 0)
        return {};
    return QStringLiteral("%1:%2 left")
            .arg(seconds / 60)
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

ProgressLine::ProgressLine(UI_Proc_SignalCustomFolder_Desktop &facade) : facade(facade), err(stderr)
{
    connect(&facade, &UI_Proc_SignalCustomFolder_Desktop::loadProgressChanged, this,
            &ProgressLine::show);
}

ProgressLine::~ProgressLine()
{
    if (shownLength > 0)
        err << Qt::endl;
}

void ProgressLine::show()
{
    const QLocale numbers(QLocale::English);
    const auto pair = [&numbers](int done, int total) {
        return numbers.toString(done) + QStringLiteral(" / ") + numbers.toString(total);
    };
    QStringList parts{QStringLiteral("items ") + pair(facade.itemsBuilt(), facade.itemsFound()),
                      QStringLiteral("jobs ") + pair(facade.jobsDone(), facade.jobsQueued()),
                      timeLeftText(facade.secondsLeft()),
                      QFileInfo(facade.currentFile()).fileName()};
    parts.removeAll(QString());
    QString line = parts.join(QStringLiteral("   "));
    const int length = line.size();
    line.append(QString(qMax(0, shownLength - length), QLatin1Char(' ')));
    shownLength = length;
    err << '\r' << line << Qt::flush;
}
