#pragma once

#include <QEvent>
#include <QModelIndex>
#include <QVariantMap>

// The steps that the folder model posts to itself. Their numbers are fixed, not registered
// at run time: hosts and logs see the same numbers in every run.
enum FileTaskType {
    VideoThumbnail = QEvent::User + 2, // job requests ...
    VideoProbe = QEvent::User + 3,
    PictureLoad = QEvent::User + 4,
    AudioProbe = QEvent::User + 5,
    OfficeCapture = QEvent::User + 6,
    WalkStep = QEvent::User + 7, // ... and control steps
    BuildStep = QEvent::User + 8,
    RebuildFromStore = QEvent::User + 9,
    RunNextTask = QEvent::User + 10,
    PictureReadChunk = QEvent::User + 11,
    Transcode = QEvent::User + 12, // a job request
    LoadEndCheck = QEvent::User + 13,
};

// A posted step, and the record of a queued job. It names its item by id, never by pointer
// or row: when the id is gone by the time the step runs, the step does nothing.
class FileTask : public QEvent
{
public:
    explicit FileTask(FileTaskType type, int fileIdx = 0, const QModelIndex &index = {})
        : QEvent(static_cast<QEvent::Type>(type)), fileIdx(fileIdx), index(index)
    { }

    FileTaskType taskType() const { return static_cast<FileTaskType>(type()); }

    int fileIdx; // 0 for control steps: no item has id 0
    QModelIndex index; // where the poster had one, for notifying the view
    QVariantMap params; // transcode parameters; empty otherwise
};
