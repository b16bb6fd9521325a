#pragma once

#include <QCommandLineOption>

class QCommandLineParser;

// The --project option that both applications take.
QCommandLineOption projectOption();

// Makes the chosen project directory, or the default one, the project's, creating it when
// missing.
void useProjectDirectory(const QCommandLineParser &parser, const QCommandLineOption &project);
