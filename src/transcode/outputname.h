#pragma once

#include <QString>

// Where the transcode of a source goes: beside it, "VEK_" and the file name up to its first
// dot, in Matroska whatever the target format.
QString transcodeOutputPath(const QString &source);
