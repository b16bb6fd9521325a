import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

ApplicationWindow {
    id: window
    width: 1280
    height: 780
    visible: true
    title: qsTr("Custom folder")
    color: "#1b1d21"

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
