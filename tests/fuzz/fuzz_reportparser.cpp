// Hands arbitrary bytes to the report parser as what ffmpeg wrote, and stops on any result
// that a record cannot hold. ffmpeg's report is text: read as UTF-8, the bytes reach every
// character, while the seeds keep their layout.

#include "model/itemfields.h"
#include "probe/reportparser.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr int kInfoFields = 6;

bool isSaneSide(int side)
{
    return side > 0 && side <= ReportLimit::largestFrameSide;
}

// Media without a moving picture has a frame size of 0 by 0.
bool isSaneFrameSize(const QVariantMap &info)
{
    const int width = info.value(InfoField::frameWidth).toInt();
    const int height = info.value(InfoField::frameHeight).toInt();
    return (width == 0 && height == 0) || (isSaneSide(width) && isSaneSide(height));
}

bool isSaneFps(const QVariantMap &info)
{
    const QString fps = info.value(InfoField::fps).toString();
    if (fps.isEmpty())
        return true;
    const std::optional<double> value = framesPerSecond(fps);
    return value && std::isfinite(*value) && *value >= 0;
}

// The length in the record is the one its duration text stands for.
bool isSaneLength(const QVariantMap &info)
{
    const std::optional<int> msec
            = durationMilliseconds(info.value(InfoField::duration).toString());
    return msec && *msec >= 0 && *msec == info.value(InfoField::timeLenMsec).toInt();
}

bool isSane(const QVariantMap &info, const QString &detail)
{
    return info.size() == kInfoFields && isSaneLength(info) && isSaneFrameSize(info)
           && isSaneFps(info) && info.value(InfoField::detailInfo).toString() == detail;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString report = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    const QString detail = buildDetailInfo(report);
    const std::optional<QVariantMap> info = parseProbeReport(report);
    if (info && !isSane(*info, detail))
        std::abort();
    return 0;
}
