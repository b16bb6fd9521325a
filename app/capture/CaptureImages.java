import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.Comparator;
import java.util.List;
import java.util.concurrent.TimeUnit;
import java.util.stream.Stream;

/**
 * Captures the slides of a presentation as images for the custom folder page: the office
 * suite converts it to PDF in a directory of its own, and every page becomes a PNG image in
 * the target directory, named 1.png, 2.png and so on.
 *
 * Usage: java -jar CaptureImages.jar PRESENTATION TARGET_DIRECTORY
 */
public final class CaptureImages {
    private static final long TOOL_TIME_LIMIT_SECONDS = 240;
    private static final int SLIDE_DPI = 96;

    public static void main(String[] args) {
        if (args.length != 2) {
            fail("usage: CaptureImages PRESENTATION TARGET_DIRECTORY");
        }
        try {
            int slides = capture(Paths.get(args[0]), Paths.get(args[1]));
            System.out.println(slides + " slides captured");
        } catch (IOException | InterruptedException e) {
            fail(e.getMessage());
        }
    }

    static int capture(Path presentation, Path target) throws IOException, InterruptedException {
        if (!Files.isRegularFile(presentation)) {
            throw new IOException("no presentation at " + presentation);
        }
        Files.createDirectories(target);
        Path work = Files.createTempDirectory("capture-images");
        try {
            // A profile of its own, so that an office suite the user has open does not take
            // the conversion over.
            run(work, "soffice", "-env:UserInstallation=" + work.resolve("profile").toUri(),
                    "--headless", "--convert-to", "pdf", "--outdir", work.toString(),
                    presentation.toAbsolutePath().toString());
            Path pdf = onlyFileEndingWith(work, ".pdf");
            run(work, "pdftoppm", "-png", "-r", Integer.toString(SLIDE_DPI), pdf.toString(),
                    work.resolve("slide").toString());
            return moveSlides(work, target);
        } finally {
            deleteTree(work);
        }
    }

    // pdftoppm pads the page numbers to the width of the page count; the page looks for
    // 1.png, 2.png and so on.
    private static int moveSlides(Path work, Path target) throws IOException {
        List<Path> slides = new ArrayList<>();
        try (Stream<Path> files = Files.list(work)) {
            files.filter(f -> f.getFileName().toString().matches("slide-\\d+\\.png"))
                    .forEach(slides::add);
        }
        if (slides.isEmpty()) {
            throw new IOException("the presentation gave no slide images");
        }
        for (Path slide : slides) {
            String name = slide.getFileName().toString();
            int number = Integer.parseInt(name.substring(6, name.length() - 4));
            Files.move(slide, target.resolve(number + ".png"), StandardCopyOption.REPLACE_EXISTING);
        }
        return slides.size();
    }

    private static Path onlyFileEndingWith(Path directory, String suffix) throws IOException {
        try (Stream<Path> files = Files.list(directory)) {
            return files.filter(f -> f.getFileName().toString().endsWith(suffix)).findFirst()
                    .orElseThrow(() -> new IOException("the presentation could not be converted"));
        }
    }

    private static void run(Path directory, String... command)
            throws IOException, InterruptedException {
        Process process = new ProcessBuilder(command).directory(directory.toFile())
                .redirectErrorStream(true).start();
        byte[] output = process.getInputStream().readAllBytes();
        if (!process.waitFor(TOOL_TIME_LIMIT_SECONDS, TimeUnit.SECONDS)) {
            process.destroyForcibly();
            throw new IOException(command[0] + " took too long");
        }
        if (process.exitValue() != 0) {
            throw new IOException(command[0] + " failed: "
                    + new String(output, StandardCharsets.UTF_8).trim());
        }
    }

    private static void deleteTree(Path root) throws IOException {
        try (Stream<Path> paths = Files.walk(root)) {
            for (Path path : (Iterable<Path>) paths.sorted(Comparator.reverseOrder())::iterator) {
                Files.deleteIfExists(path);
            }
        }
    }

    private static void fail(String message) {
        System.err.println("CaptureImages: " + message);
        System.exit(1);
    }
}
