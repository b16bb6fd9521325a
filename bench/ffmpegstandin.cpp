// Stands in for ffmpeg where the real tool would make a run too slow: in benchmarks that
// measure the folder model's own overhead, and in the consistency test, which drives the
// model through hundreds of short loads. It answers with the report of a short 720p clip.
// Asked for thumbnails it writes a few bytes as each picture; asked for a transcode (a ".mkv"
// output) it writes a few bytes as the video and reports the whole clip done on its progress
// output; a probe ("-i" and nothing after it) writes nothing. FFMPEG_STANDIN_DELAY_MS makes
// every run take that long before it answers (0 by default), so that a test can act while
// tools run; FFMPEG_STANDIN_COUNT names a file that gets a byte a run, so that a benchmark
// can count them. Plain POSIX: a Qt program would spend longer starting than the runs it stands
// for.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// One input's description: its number, its name and its number twice more, for its streams.
constexpr char kReport[]
        = "Input #%d, mov,mp4,m4a,3gp,3g2,mj2, from '%s':\n"
          "  Metadata:\n"
          "    major_brand     : isom\n"
          "    encoder         : Lavf58.76.100\n"
          "  Duration: 00:00:05.00, start: 0.000000, bitrate: 1205 kb/s\n"
          "    Stream #%d:0(und): Video: h264 (High), yuv420p, 1280x720 [SAR 1:1 DAR 16:9], "
          "1070 kb/s, 25 fps, 25 tbr, 12800 tbn, 50 tbc (default)\n"
          "    Stream #%d:1(und): Audio: aac (LC), 44100 Hz, stereo, fltp, 128 kb/s (default)\n";
constexpr char kNoOutput[] = "At least one output file must be specified\n";
constexpr unsigned char kPicture[] = {0xFF, 0xD8, 0xFF, 0xD9}; // start and end of a JPEG
constexpr unsigned char kVideo[] = {0x1A, 0x45, 0xDF, 0xA3}; // a Matroska header's magic
// What "-progress pipe:1" writes when the whole clip has been transcoded.
constexpr char kProgressDone[] = "out_time_us=5000000\nprogress=end\n";

bool isInput(char *argv[], int i)
{
    return i > 1 && std::strcmp(argv[i - 1], "-i") == 0;
}

bool endsWith(const char *text, const char *suffix)
{
    const std::size_t length = std::strlen(text);
    const std::size_t suffixLength = std::strlen(suffix);
    return length >= suffixLength && std::strcmp(text + length - suffixLength, suffix) == 0;
}

void writeBytes(const char *path, const unsigned char *bytes, std::size_t size)
{
    if (std::FILE *out = std::fopen(path, "wb")) {
        std::fwrite(bytes, 1, size, out);
        std::fclose(out);
    }
}

// A stop sent meanwhile ends the run here, before it has written anything.
void waitAsAsked()
{
    const char *delay = std::getenv("FFMPEG_STANDIN_DELAY_MS");
    const long ms = delay ? std::strtol(delay, nullptr, 10) : 0;
    if (ms <= 0)
        return;
    timespec duration{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&duration, &duration) != 0 && errno == EINTR) { }
}

} // namespace

void countRun()
{
    const char *counter = std::getenv("FFMPEG_STANDIN_COUNT");
    if (!counter)
        return;
    if (std::FILE *file = std::fopen(counter, "a")) {
        std::fputc('.', file);
        std::fclose(file);
    }
}

int main(int argc, char *argv[])
{
    countRun();
    waitAsAsked();
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        if (isInput(argv, i)) {
            std::fprintf(stderr, kReport, inputs, argv[i], inputs, inputs);
            ++inputs;
        }
    }
    const char *last = argv[argc - 1];
    const bool hasOutput = argc > 1 && !isInput(argv, argc - 1);
    if (hasOutput && endsWith(last, ".mkv")) {
        writeBytes(last, kVideo, sizeof kVideo);
        std::fputs(kProgressDone, stdout);
    } else if (!hasOutput) {
        std::fputs(kNoOutput, stderr);
    }
    for (int i = 1; hasOutput && i < argc; ++i) {
        if (!isInput(argv, i) && endsWith(argv[i], ".jpg"))
            writeBytes(argv[i], kPicture, sizeof kPicture);
    }
    return 0;
}
