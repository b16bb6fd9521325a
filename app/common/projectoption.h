#pragma once

#include <QCommandLineOption>

class QCommandLineParser;

// The --project option that both applications take.
QCommandLineOption projectOption();

// Makes the chosen project directory, or the default one, the project's, creating it when
// missing.
void useProjectDirectory(const QCommandLineParser &parser, const QCommandLineOption &project);

// The --store option that both applications take: the media-info store to share with other
// consoles, a PostgreSQL URL or a SQLite file.
QCommandLineOption storeOption();

// Puts the chosen store, when one is given, into the host's configuration; a relative SQLite
// path is taken from the working directory.
void useStore(const QCommandLineParser &parser, const QCommandLineOption &store);
