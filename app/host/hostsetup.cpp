#include "hostsetup.h"

#include "facade/ui_proc_signalcustomfolder_desktop.h"
#include "store/utility_commparam.h"

#include <QFileInfo>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QUrl>

void registerCustomFolderTypes()
{
    qmlRegisterSingletonType<UI_Proc_SignalCustomFolder_Desktop>(
            "CustomFolder", 1, 0, "CustomFolder",
            &UI_Proc_SignalCustomFolder_Desktop::singletonTypeProvider);
}

QString iconFontUrl()
{
    const QString font
            = QStringLiteral("/usr/share/fonts/truetype/font-awesome/fontawesome-webfont.ttf");
    return QFileInfo::exists(font) ? QUrl::fromLocalFile(font).toString() : QString();
}

void setPageContext(QQmlContext *context, QObject *owner)
{
    context->setContextProperty(QStringLiteral("iconFontUrl"), iconFontUrl());
    context->setContextProperty(QStringLiteral("localFiles"), new LocalFiles(owner));
    // The folders the operator opened belong to the project's tree.
    context->setContextProperty(QStringLiteral("pageStateFile"),
                                Utility_CommParam::getInstance()->getProjectPath()
                                        + QStringLiteral("/page.ini"));
}

// Items declared in a window hang below its content item, whose object tree may not start
// at the window.
QObject *findNamed(QQuickWindow *window, const QString &name)
{
    QObject *found = window->findChild<QObject *>(name);
    return found ? found : window->contentItem()->findChild<QObject *>(name);
}
