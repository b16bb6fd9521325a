#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

class QQmlContext;
class QQuickWindow;

// Makes the facade known to QML as the singleton "CustomFolder" 1.0 of module CustomFolder,
// as the application's page imports it.
void registerCustomFolderTypes();

// The icon font the page draws type icons with; empty when it is not installed.
QString iconFontUrl();

// Turns local paths into URLs for the page's images, as the platform writes them.
class LocalFiles : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    Q_INVOKABLE QUrl url(const QString &path) const { return QUrl::fromLocalFile(path); }
};

// The object of the window's scene that has the name; null when there is none.
QObject *findNamed(QQuickWindow *window, const QString &name);

// What the page finds in its context: the icon font, the local-file helper and the file of
// the page's state in the project directory.
void setPageContext(QQmlContext *context, QObject *owner);
