// Stands in for ffmpeg in benchmarks that measure the folder model's own overhead: it answers
// at once with the report of a short 720p clip and, when asked for a thumbnail, writes a few
// bytes as the picture, so that a run costs no more than starting a small process. Plain
// POSIX: a Qt program would spend longer starting than the runs it stands for.

#include <cstdio>
#include <cstring>

namespace {

constexpr char kReportHead[] = "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from '%s':\n";
constexpr char kReportBody[]
        = "  Metadata:\n"
          "    major_brand     : isom\n"
          "    encoder         : Lavf58.76.100\n"
          "  Duration: 00:00:05.00, start: 0.000000, bitrate: 1205 kb/s\n"
          "    Stream #0:0(und): Video: h264 (High), yuv420p, 1280x720 [SAR 1:1 DAR 16:9], "
          "1070 kb/s, 25 fps, 25 tbr, 12800 tbn, 50 tbc (default)\n"
          "    Stream #0:1(und): Audio: aac (LC), 44100 Hz, stereo, fltp, 128 kb/s (default)\n";
constexpr char kNoOutput[] = "At least one output file must be specified\n";
constexpr unsigned char kPicture[] = {0xFF, 0xD8, 0xFF, 0xD9}; // start and end of a JPEG

const char *inputOf(int argc, char *argv[])
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-i") == 0)
            return argv[i + 1];
    }
    return "";
}

bool endsWith(const char *text, const char *suffix)
{
    const std::size_t length = std::strlen(text);
    const std::size_t suffixLength = std::strlen(suffix);
    return length >= suffixLength && std::strcmp(text + length - suffixLength, suffix) == 0;
}

void writePicture(const char *path)
{
    if (std::FILE *out = std::fopen(path, "wb")) {
        std::fwrite(kPicture, 1, sizeof kPicture, out);
        std::fclose(out);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    std::fprintf(stderr, kReportHead, inputOf(argc, argv));
    std::fputs(kReportBody, stderr);
    const char *last = argv[argc - 1];
    if (argc > 1 && endsWith(last, ".jpg"))
        writePicture(last);
    else
        std::fputs(kNoOutput, stderr);
    return 0;
}
