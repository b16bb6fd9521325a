#include "model/foldermodel.h"

// Transcode requests, stops, registrations and mark queries reach the model here; the
// transcoding component does not run jobs yet, so they are accepted and not acted on.

void FolderModel::onTranscode(int, const QString &, int, int) { }

void FolderModel::onTranscode(const QString &, const QString &, int, int) { }

void FolderModel::onStopTranscode(int) { }

void FolderModel::onStopTranscode(const QString &) { }

void FolderModel::onRegisterExternalTranscodeFile(const QString &, const QString &) { }

void FolderModel::onMonitoringSignalList(const QString &) { }

void FolderModel::onCheckTranscodeMark(const QString &) { }
