#include "screenshotstage.h"

#include "hostsetup.h"

#include "facade/ui_proc_signalcustomfolder_desktop.h"

#include <QCoreApplication>
#include <QJSValue>
#include <QMouseEvent>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTextStream>
#include <QTimer>

#include <memory>
#include <utility>

namespace {

constexpr int kSettleMs = 500; // for the rows to take their places and thumbnails to be drawn
constexpr int kTries = 20; // a step that cannot be done yet is tried again after kSettleMs
constexpr int kDragSteps = 24; // moves between press and release, past the drag threshold
constexpr int kJobShareAtPicture = 5; // the picture is taken once a fifth of the jobs ended

QVariantMap mapOf(const QVariant &value)
{
    return value.canConvert<QJSValue>() ? value.value<QJSValue>().toVariant().toMap()
                                        : value.toMap();
}

// The tree's row of a probed video that shows highest below item.
QQuickItem *firstVideoRow(QQuickItem *item, QQuickItem *found = nullptr)
{
    const QVariantMap info = mapOf(item->property("info"));
    if (item->isVisible() && info.value(QStringLiteral("type")) == QStringLiteral("video")
        && info.value(QStringLiteral("asyncCompleted")).toBool()
        && (!found || item->mapToScene({}).y() < found->mapToScene({}).y()))
        found = item;
    for (QQuickItem *child : item->childItems())
        found = firstVideoRow(child, found);
    return found;
}

QQuickItem *firstScreen(QQuickWindow *window)
{
    QObject *wall = findNamed(window, QStringLiteral("wall"));
    auto *screens = wall ? wall->property("screens").value<QObject *>() : nullptr;
    QQuickItem *screen = nullptr;
    if (screens)
        QMetaObject::invokeMethod(screens, "itemAt", Q_RETURN_ARG(QQuickItem *, screen),
                                  Q_ARG(int, 0));
    return screen;
}

void sendMouse(QQuickWindow *window, QEvent::Type type, const QPointF &at, Qt::MouseButton button,
               Qt::MouseButtons held)
{
    QMouseEvent event(type, at, at, window->mapToGlobal(at.toPoint()), button, held,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(window, &event);
    QCoreApplication::processEvents();
}

} // namespace

ScreenshotStage::ScreenshotStage(QQuickWindow *window, UI_Proc_SignalCustomFolder_Desktop *facade,
                                 const QStringList &folders, const QString &search,
                                 const QString &file)
    : QObject(window), window(window), facade(facade), folders(folders), search(search), file(file)
{
    firstLoad = connect(facade, &UI_Proc_SignalCustomFolder_Desktop::loadFolderEnded, this,
                        &ScreenshotStage::onFirstFolderLoaded);
    facade->addFolders({folders.value(0)});
}

void ScreenshotStage::onFirstFolderLoaded()
{
    disconnect(firstLoad);
    QObject *field = findNamed(window, QStringLiteral("searchField"));
    if (!field)
        return fail(QStringLiteral("the page has no search field"));
    field->setProperty("text", search);
    QTimer::singleShot(kSettleMs, this, [this] { dragFirstVideo(kTries); });
}

void ScreenshotStage::dragFirstVideo(int triesLeft)
{
    // The rows take their places in the frame after the search.
    const bool searched = facade->filterModel()->property("text").toString() == search;
    QQuickItem *row = searched ? firstVideoRow(window->contentItem()) : nullptr;
    QQuickItem *screen = firstScreen(window);
    if (!row || !screen) {
        if (triesLeft == 0)
            return fail(QStringLiteral("no video shows in the tree"));
        QTimer::singleShot(kSettleMs, this, [this, triesLeft] { dragFirstVideo(triesLeft - 1); });
        return;
    }
    drag(row, screen);
    if (screen->property("layers").value<QObject *>()->property("count").toInt() == 1)
        return addTheOtherFolders();
    if (triesLeft == 0)
        return fail(QStringLiteral("the dragged video did not become a layer"));
    QTimer::singleShot(kSettleMs, this, [this, triesLeft] { dragFirstVideo(triesLeft - 1); });
}

// Pressed on the row's picture, moved in steps, released over the middle of the screen.
void ScreenshotStage::drag(QQuickItem *from, QQuickItem *to)
{
    const QPointF start = from->mapToScene({40, from->height() / 2});
    const QPointF end = to->mapToScene({to->width() / 2, to->height() / 2});
    sendMouse(window, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    for (int step = 1; step <= kDragSteps; ++step)
        sendMouse(window, QEvent::MouseMove, start + (end - start) * step / kDragSteps,
                  Qt::NoButton, Qt::LeftButton);
    sendMouse(window, QEvent::MouseButtonRelease, end, Qt::LeftButton, Qt::NoButton);
}

void ScreenshotStage::addTheOtherFolders()
{
    if (folders.size() < 2)
        return fail(QStringLiteral("a second folder is needed, to be loading in the picture"));
    QVariantList others;
    for (const QString &folder : folders.mid(1))
        others << folder;
    facade->addFolders(others); // its walk begins with a reset of the tree, and ends with one
    auto walked = std::make_shared<bool>(false);
    connect(facade->folderModel(), &QAbstractItemModel::modelReset, this,
            [walked] { *walked = true; });
    connect(facade, &UI_Proc_SignalCustomFolder_Desktop::loadProgressChanged, this, [this, walked] {
        if (*walked && facade->jobsQueued() > 0
            && facade->jobsDone() * kJobShareAtPicture >= facade->jobsQueued() && !saving) {
            saving = true;
            QTimer::singleShot(kSettleMs, this, &ScreenshotStage::saveAndQuit);
        }
    });
    connect(facade, &UI_Proc_SignalCustomFolder_Desktop::loadFolderEnded, this,
            [this] { fail(QStringLiteral("the load ended before the picture was taken")); });
}

void ScreenshotStage::saveAndQuit()
{
    if (finished)
        return;
    if (!window->grabWindow().save(file))
        return fail(QStringLiteral("cannot write ") + file);
    finished = true;
    QTextStream(stdout) << "Saved " << file << " during the load: " << facade->jobsDone() << " of "
                        << facade->jobsQueued() << " jobs done" << Qt::endl;
    QCoreApplication::exit(0);
}

void ScreenshotStage::fail(const QString &why)
{
    if (std::exchange(finished, true))
        return;
    QTextStream(stderr) << "Screenshot not taken: " << why << Qt::endl;
    QCoreApplication::exit(1);
}
