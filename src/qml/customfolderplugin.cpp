// The QML module "CustomFolder" 1.0 of the installed library: a page that imports it finds
// the facade as the singleton "CustomFolder", as the host application registers it.

#include "facade/ui_proc_signalcustomfolder_desktop.h"

#include <QQmlEngine>
#include <QQmlExtensionPlugin>

class CustomFolderPlugin : public QQmlExtensionPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QQmlExtensionInterface_iid)
public:
    void registerTypes(const char *uri) override
    {
        qmlRegisterSingletonType<UI_Proc_SignalCustomFolder_Desktop>(
                uri, 1, 0, "CustomFolder",
                &UI_Proc_SignalCustomFolder_Desktop::singletonTypeProvider);
    }
};

#include "customfolderplugin.moc"
