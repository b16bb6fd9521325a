import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Qt.labs.settings 1.1

ApplicationWindow {
    id: window
    width: 1280
    height: 780
    visible: true
    title: qsTr("Custom folder")
    color: "#1b1d21"

    // As the operator left it, kept with the project like the page's state.
    Settings {
        fileName: pageStateFile
        category: "window"
        property alias width: window.width
        property alias height: window.height
    }

    FontLoader {
        id: iconFont
        source: typeof iconFontUrl !== "undefined" ? iconFontUrl : ""
    }

    RowLayout {
        anchors.fill: parent
        anchors.margins: 8
        spacing: 8

        CustomFolderPage {
            id: page
            objectName: "page"
            iconFontFamily: iconFont.status === FontLoader.Ready ? iconFont.name : ""
            Layout.preferredWidth: 560
            Layout.fillHeight: true
        }
        ScreenWall {
            objectName: "wall"
            Layout.fillWidth: true
            Layout.fillHeight: true
        }
    }
}
