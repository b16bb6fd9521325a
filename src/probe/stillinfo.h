#pragma once

#include <QVariantMap>

// The media information of items that have no length of their own: they last as long as a
// still picture does when it is shown as a layer.
QVariantMap pictureInfo(int width, int height);
// A presentation stands for its slides, whatever they are, with fixed values.
QVariantMap presentationInfo(const QString &slideDirectory);
