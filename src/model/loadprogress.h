#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

// How far the load under way has come: items the walk found and the build handled, jobs asked
// for and ended, the file of the job started last and an estimate of the time left. A load
// runs from loadFolderBegan to loadFolderEnded; loads that overlap count as one, whose totals
// grow as the later folders are walked. Counts only grow while it runs and are set to their
// totals when it ends. Views hear of changes at most kUpdatesPerSecond times a second: a
// large load changes the counts thousands of times a second.
class LoadProgress : public QObject
{
    Q_OBJECT
public:
    static constexpr int kUpdatesPerSecond = 10;

    explicit LoadProgress(QObject *parent);

    bool isRunning() const { return running; }
    int itemsFound() const { return found; }
    int itemsBuilt() const { return built; }
    int jobsQueued() const { return queued; }
    int jobsDone() const { return done; }
    int filesLeftOut() const { return leftOut; } // of no media type, passed over by the walks
    QString currentFile() const { return current; }
    // From the mean time a job has taken so far, the jobs running side by side included;
    // -1 until a job has ended.
    int secondsLeft() const;

    void onLoadBegan();
    void onLoadEnded();
    void onItemFound() { ++found, changed(); }
    void onItemBuilt() { ++built, changed(); }
    void onFilesLeftOut(int count) { leftOut += count; }
    void onJobQueued() { ++queued, changed(); }
    void onJobStarted(const QString &path);
    // A job's result came; jobs whose item went away end unheard, so the count catches up
    // when the load ends.
    void onJobDone() { done = qMin(done + 1, queued), changed(); }

signals:
    void progressChanged();

private:
    void changed();
    void announce();

    bool running = false;
    int found = 0;
    int built = 0;
    int queued = 0;
    int done = 0;
    int leftOut = 0;
    QString current;
    QElapsedTimer sinceFirstJob; // the mean job time is taken from here
    QTimer throttle; // holds back announcements that come too soon after the last one
};
