// Hands arbitrary bytes to the picture decoder as a file's contents, with a small memory
// ceiling so that a header promising a huge picture is caught by the check, not by the
// machine. Stops on a valid picture whose thumbnail is not the size it should be.

#include "probe/picturedecoder.h"

#include <QByteArray>
#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr qint64 kFuzzMemoryLimit = 64 * kBytesPerMB;

bool isSane(const DecodedPicture &picture)
{
    if (!picture.isValid)
        return picture.thumbnail.isNull();
    return picture.size.width() > 0 && picture.size.height() > 0
           && picture.thumbnail.size() == thumbnailSize(picture.size);
}

} // namespace

// The image format plug-ins are found through the application object.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    if (!isSane(decodePicture(bytes, kFuzzMemoryLimit)))
        std::abort();
    return 0;
}
