#pragma once

#include <QString>

// Where the transcode of a source goes: beside it, "VEK_" and the file name up to its first
// dot, in Matroska whatever the target format.
QString transcodeOutputPath(const QString &source);

// Where a transcode writes until it has succeeded: beside the output, under a name that no
// walk takes for media, so that a failed or stopped transcode leaves an earlier output be.
QString partialOutputPath(const QString &output);
