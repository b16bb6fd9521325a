// customfolder-host: the custom folder page in a window. The folders of the earlier run
// come back from the store; the folders given on the command line are added after them.

#include "hostsetup.h"
#include "projectoption.h"
#include "screenshotstage.h"

#include "facade/ui_proc_signalcustomfolder_desktop.h"
#include "store/ui_proc_config_desktop.h"

#include <QCommandLineParser>
#include <QDir>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickWindow>
#include <QTextStream>
#include <QTimer>

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("customfolder"));
    QCoreApplication::setOrganizationName(QStringLiteral("customfolder"));

    // The command line is read before the window system is asked for, so that --help and
    // mistakes are answered without a display.
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "The custom folder page: add folders, browse their media, drag items onto the "
            "virtual screens, transcode videos."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption project = projectOption();
    parser.addOption(project);
    const QCommandLineOption store = storeOption();
    parser.addOption(store);
    const QCommandLineOption search(QStringLiteral("search"),
                                    QStringLiteral("Open the page with TEXT in its search field."),
                                    QStringLiteral("TEXT"));
    parser.addOption(search);
    const QCommandLineOption screenshot(
            QStringLiteral("screenshot"),
            QStringLiteral("Load the first folder, type the search, drag its first video onto "
                           "the first screen, add the other folders, and save the window to "
                           "FILE while they load; then quit."),
            QStringLiteral("FILE"));
    parser.addOption(screenshot);
    parser.addPositionalArgument(QStringLiteral("FOLDER"),
                                 QStringLiteral("Folders to add after the stored ones."),
                                 QStringLiteral("[FOLDER...]"));
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(arguments)) {
        QTextStream(stderr) << parser.errorText() << Qt::endl;
        return 2;
    }
    if (parser.isSet(help)) {
        const QCoreApplication helpOnly(argc, argv);
        QTextStream(stdout) << parser.helpText();
        return 0;
    }

    QGuiApplication app(argc, argv);

    useProjectDirectory(parser, project);
    useStore(parser, store);

    registerCustomFolderTypes();
    QQmlApplicationEngine engine;
    setPageContext(engine.rootContext(), &engine);
    engine.load(QUrl(QStringLiteral("qrc:/qml/main.qml")));
    if (engine.rootObjects().isEmpty())
        return 1;
    auto *facade = engine.singletonInstance<UI_Proc_SignalCustomFolder_Desktop *>(
            qmlTypeId("CustomFolder", 1, 0, "CustomFolder"));

    // The store is ready. The stored tree is rebuilt in a later step, which replaces whatever
    // roots exist then, so the given folders are added after it.
    emit UI_Proc_Config_Desktop::getInstance().loadDatabase();
    auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().first());
    QStringList folders;
    for (const QString &folder : parser.positionalArguments())
        folders << QDir(folder).absolutePath();
    QMetaObject::invokeMethod(
            facade,
            [&] {
                if (parser.isSet(screenshot)) {
                    new ScreenshotStage(window, facade, folders, parser.value(search),
                                        parser.value(screenshot));
                    return;
                }
                if (QObject *field = findNamed(window, QStringLiteral("searchField")))
                    field->setProperty("text", parser.value(search));
                for (const QVariant &rejected : facade->addFolders(QVariant(folders).toList()))
                    QTextStream(stderr) << "Not a folder: " << rejected.toString() << Qt::endl;
            },
            Qt::QueuedConnection);
    return app.exec();
}
