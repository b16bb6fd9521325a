#include "probe/stillinfo.h"

#include "model/itemfields.h"

namespace {

constexpr int kStillLengthMsec = 600000;
constexpr int kSlideWidth = 960;
constexpr int kSlideHeight = 720;

} // namespace

QVariantMap pictureInfo(int width, int height)
{
    return {{InfoField::frameWidth, width},
            {InfoField::frameHeight, height},
            {InfoField::timeLenMsec, kStillLengthMsec},
            {InfoField::detailInfo, QString()}};
}

QVariantMap presentationInfo(const QString &slideDirectory)
{
    QVariantMap info = pictureInfo(kSlideWidth, kSlideHeight);
    info.insert(InfoField::pptPath, slideDirectory);
    return info;
}
