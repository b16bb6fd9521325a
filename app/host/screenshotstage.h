#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

class QQuickItem;
class QQuickWindow;
class UI_Proc_SignalCustomFolder_Desktop;

// Sets the real window up for the picture of the page that the README shows, as an operator
// would: the first folder is loaded, the search text is typed, the first video that shows is
// dragged with the mouse onto the first virtual screen, and the other folders are added. The
// window is saved while they load, once the walk is done and a fifth of their jobs ended,
// and the application quits: with 0, or 1 when a step could not be done or the load ended
// before the picture was taken.
class ScreenshotStage : public QObject
{
    Q_OBJECT
public:
    ScreenshotStage(QQuickWindow *window, UI_Proc_SignalCustomFolder_Desktop *facade,
                    const QStringList &folders, const QString &search, const QString &file);

private:
    void onFirstFolderLoaded();
    void dragFirstVideo(int triesLeft);
    void drag(QQuickItem *from, QQuickItem *to);
    void addTheOtherFolders();
    void onProgress();
    void saveAndQuit();
    void fail(const QString &why);

    QPointer<QQuickWindow> window;
    UI_Proc_SignalCustomFolder_Desktop *facade;
    QStringList folders;
    QString search;
    QString file;
    QMetaObject::Connection firstLoad;
    bool saving = false; // the picture is due
    bool finished = false; // saved, or given up
};
