// Runs the QML tests of the custom folder page against the real library.

#include "hostsetup.h"

#include "store/utility_commparam.h"

#include <QImage>
#include <QProcess>
#include <QQmlContext>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QtQuickTest>

// Moves the test's folder away and back, which QML cannot.
class TestFiles : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    Q_INVOKABLE bool rename(const QString &from, const QString &to) const
    {
        return QDir().rename(from, to);
    }
};

class Setup : public QObject
{
    Q_OBJECT
public slots:
    // A project directory of its own and a folder with a real clip, a picture, a video that
    // cannot be read, an empty folder and a file of no media type.
    void applicationAvailable()
    {
        QCoreApplication::setOrganizationName("customfolder");
        Utility_CommParam::getInstance()->setProjectPath(project.path());
        QDir().mkpath(media.filePath("folder"));
        QProcess::execute("ffmpeg", {"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                     "testsrc=size=320x240:rate=25:duration=6", "-c:v", "libx264",
                                     "-pix_fmt", "yuv420p", media.filePath("folder/clip.mp4")});
        QImage image(400, 300, QImage::Format_RGB32);
        image.fill(Qt::darkGreen);
        image.save(media.filePath("folder/photo.jpg"));
        QDir().mkpath(media.filePath("folder/sub"));
        for (const char *name : {"folder/Zebra.mp4", "folder/notes.txt"}) {
            QFile file(media.filePath(name));
            file.open(QIODevice::WriteOnly);
            file.write("not media");
        }
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        registerCustomFolderTypes();
        setPageContext(engine->rootContext(), engine);
        engine->rootContext()->setContextProperty("mediaFolder", media.filePath("folder"));
        engine->rootContext()->setContextProperty("testFiles", new TestFiles(engine));
    }

private:
    QTemporaryDir project;
    QTemporaryDir media;
};

QUICK_TEST_MAIN_WITH_SETUP(page, Setup)
#include "tst_page.moc"
