#include "model/loadprogress.h"

#include <cmath>

LoadProgress::LoadProgress(QObject *parent) : QObject(parent)
{
    throttle.setSingleShot(true);
    throttle.setTimerType(Qt::PreciseTimer); // a coarse timer may fire early
    throttle.setInterval(1000 / kUpdatesPerSecond);
    connect(&throttle, &QTimer::timeout, this, &LoadProgress::progressChanged);
}

int LoadProgress::secondsLeft() const
{
    if (done == 0 || !sinceFirstJob.isValid())
        return -1;
    const double meanJobMs = double(sinceFirstJob.elapsed()) / done;
    return int(std::ceil(meanJobMs * (queued - done) / 1000));
}

// A load that begins while another runs adds to its counts.
void LoadProgress::onLoadBegan()
{
    if (running)
        return;
    running = true;
    found = built = queued = done = leftOut = 0;
    current.clear();
    sinceFirstJob.invalidate();
    announce();
}

// Whatever the counts missed, such as the builds and jobs of items removed meanwhile, is done
// by now.
void LoadProgress::onLoadEnded()
{
    running = false;
    built = found = qMax(found, built);
    done = queued = qMax(queued, done);
    current.clear();
    announce();
}

void LoadProgress::onJobStarted(const QString &path)
{
    if (!sinceFirstJob.isValid())
        sinceFirstJob.start();
    current = path;
    changed();
}

void LoadProgress::changed()
{
    if (!throttle.isActive())
        throttle.start();
}

void LoadProgress::announce()
{
    throttle.stop();
    emit progressChanged();
}
