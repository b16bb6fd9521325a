// customfolder-scan: adds folders to the custom folder page without a window, waits until
// they are walked, built and probed, and prints the resulting tree: as JSON, or as indented
// lines when standard output is a terminal. With --restore
// the tree of the earlier run comes back from the project's store first, and --relink moves
// its roots that were moved on disk; with --transcode
// items are transcoded after the scan; with --watch the changes on disk are followed for a
// while and the tree printed again.

#include "messagebox.h"
#include "progressline.h"
#include "projectoption.h"
#include "relinks.h"
#include "terminal.h"
#include "transcodes.h"
#include "treejson.h"
#include "treetext.h"

#include "facade/ui_proc_signalcustomfolder_desktop.h"
#include "store/ui_proc_config_desktop.h"

#include <QAbstractItemModel>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>
#include <QTimer>

#include <memory>

namespace {

// Folders are added one at a time so that each load's end is seen on its own.
bool scan(UI_Proc_SignalCustomFolder_Desktop &facade, const QString &folder)
{
    const QVariantList rejected = facade.addFolders({folder});
    if (!rejected.isEmpty()) {
        QTextStream(stderr) << "Not a folder, skipped: " << folder << Qt::endl;
        return false;
    }
    QEventLoop loop;
    QObject::connect(&facade, &UI_Proc_SignalCustomFolder_Desktop::loadFolderEnded, &loop,
                     &QEventLoop::quit);
    loop.exec();
    return true;
}

// The host announces that its store is ready; the model rebuilds the stored tree and probes
// it again.
void restore(UI_Proc_SignalCustomFolder_Desktop &facade)
{
    emit UI_Proc_Config_Desktop::getInstance().loadDatabase();
    waitUntilIdle(facade);
}

// Changes that came late in the time are applied before the tree is printed again; a file
// that keeps growing, as a recording does, is not waited for.
constexpr int kLateChangesMs = 5000;

void followDisk(UI_Proc_SignalCustomFolder_Desktop &facade, double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(qRound(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    waitUntilIdle(facade, kLateChangesMs);
}

void printTree(UI_Proc_SignalCustomFolder_Desktop &facade, bool asText)
{
    const QJsonArray tree = folderTreeJson(facade);
    if (asText)
        QTextStream(stdout) << folderTreeText(tree);
    else
        QTextStream(stdout) << QJsonDocument(tree).toJson(QJsonDocument::Indented);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("customfolder"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Scans folders as the custom folder page does and prints their tree as JSON."));
    parser.addHelpOption();
    const QCommandLineOption project = projectOption();
    parser.addOption(project);
    const QCommandLineOption store = storeOption();
    parser.addOption(store);
    const QCommandLineOption restoreOption(
            QStringLiteral("restore"),
            QStringLiteral("First bring back the folders of the earlier run from the store."));
    parser.addOption(restoreOption);
    const QCommandLineOption relinkOption(
            QStringLiteral("relink"),
            QStringLiteral("After the restore, find the folder shown at OLD at NEW, its items "
                           "keeping their uuids; may be given more than once."),
            QStringLiteral("OLD=NEW"));
    parser.addOption(relinkOption);
    const QCommandLineOption transcodeOption(
            QStringLiteral("transcode"),
            QStringLiteral("After the scan, transcode the item at PATH to TYPE (HAP, HAPQ, "
                           "HAPALPHA or H264) at "
                           "W x H (0x0: the source size); may be given more than once."),
            QStringLiteral("PATH:TYPE:WxH"));
    parser.addOption(transcodeOption);
    const QCommandLineOption jsonOption(
            QStringLiteral("json"),
            QStringLiteral("Print JSON also to a terminal, where the tree is otherwise printed "
                           "as indented lines."));
    parser.addOption(jsonOption);
    const QCommandLineOption progressOption(
            QStringLiteral("progress"),
            QStringLiteral("Show the load's progress on standard error also when it is not a "
                           "terminal."));
    parser.addOption(progressOption);
    const QCommandLineOption watchOption(
            QStringLiteral("watch"),
            QStringLiteral("After printing the tree, follow the changes on disk for SECONDS, "
                           "then print the tree again."),
            QStringLiteral("SECONDS"));
    parser.addOption(watchOption);
    parser.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("Folders to scan."),
                                 QStringLiteral("[FOLDER...]"));
    parser.process(app);
    const QStringList folders = parser.positionalArguments();
    if (folders.isEmpty() && !parser.isSet(restoreOption)) {
        QTextStream(stderr) << "No folder given." << Qt::endl;
        parser.showHelp(2);
    }

    bool validSeconds = true;
    const double watchSeconds = parser.value(watchOption).toDouble(&validSeconds);
    if (parser.isSet(watchOption) && (!validSeconds || watchSeconds < 0)) {
        QTextStream(stderr) << "--watch takes a number of seconds." << Qt::endl;
        return 2;
    }

    useProjectDirectory(parser, project);
    useStore(parser, store);

    std::unique_ptr<UI_Proc_SignalCustomFolder_Desktop> facade(
            static_cast<UI_Proc_SignalCustomFolder_Desktop *>(
                    UI_Proc_SignalCustomFolder_Desktop::singletonTypeProvider(nullptr, nullptr)));
    MessageBox messageBox;
    facade->setMsgBox(&messageBox);
    std::unique_ptr<ProgressLine> progressLine;
    if (parser.isSet(progressOption) || isTerminal(stderr))
        progressLine = std::make_unique<ProgressLine>(*facade);

    if (parser.isSet(restoreOption))
        restore(*facade);
    bool allScanned = true;
    if (parser.isSet(relinkOption))
        allScanned = runRelinks(*facade, parser.values(relinkOption));
    for (const QString &folder : folders)
        allScanned = scan(*facade, folder) && allScanned;
    if (parser.isSet(transcodeOption))
        allScanned = runTranscodes(*facade, parser.values(transcodeOption)) && allScanned;

    progressLine.reset();
    const bool asText = !parser.isSet(jsonOption) && isTerminal(stdout);
    printTree(*facade, asText);
    if (parser.isSet(watchOption)) {
        followDisk(*facade, watchSeconds);
        printTree(*facade, asText);
    }
    return allScanned ? 0 : 1;
}
