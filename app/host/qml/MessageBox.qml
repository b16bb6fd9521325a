import QtQuick 2.15
import QtQuick.Controls 2.15

// The page's message box: the library writes "informText" and makes it visible.
Popup {
    id: box
    property string informText: ""
    anchors.centerIn: Overlay.overlay
    modal: true
    padding: 18
    contentItem: Column {
        spacing: 12
        Label {
            text: box.informText
            wrapMode: Text.Wrap
            width: 360
        }
        Button {
            text: qsTr("OK")
            anchors.right: parent.right
            onClicked: box.close()
        }
    }
}
