// consumer FOLDER PROJECT-DIR: a host of the installed library. Its page, a QML object that
// imports the library's module, adds the folder; once it is loaded the number of rows below
// the folder is printed.

#include <customfolder/facade/ui_proc_signalcustomfolder_desktop.h>
#include <customfolder/store/utility_commparam.h>

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QTextStream>

#include <memory>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        QTextStream(stderr) << "usage: consumer FOLDER PROJECT-DIR" << Qt::endl;
        return 2;
    }
    Utility_CommParam::getInstance()->setProjectPath(QString::fromLocal8Bit(argv[2]));

    QQmlEngine engine;
    engine.rootContext()->setContextProperty(QStringLiteral("folder"),
                                             QString::fromLocal8Bit(argv[1]));
    QQmlComponent page(&engine);
    page.setData("import QtQml 2.15\n"
                 "import CustomFolder 1.0\n"
                 "QtObject { Component.onCompleted: CustomFolder.addFolders([folder]) }\n",
                 QUrl());
    auto *facade = engine.singletonInstance<UI_Proc_SignalCustomFolder_Desktop *>(
            qmlTypeId("CustomFolder", 1, 0, "CustomFolder"));
    if (!facade) {
        QTextStream(stderr) << page.errorString() << Qt::endl;
        return 1;
    }
    QObject::connect(facade, &UI_Proc_SignalCustomFolder_Desktop::loadFolderEnded, &app, [facade] {
        QAbstractItemModel *model = facade->folderModel();
        QTextStream(stdout) << "rows: " << model->rowCount(model->index(0, 0)) << Qt::endl;
        QCoreApplication::quit();
    });
    const std::unique_ptr<QObject> pageObject(page.create());
    if (!pageObject) {
        QTextStream(stderr) << page.errorString() << Qt::endl;
        return 1;
    }
    return app.exec();
}
