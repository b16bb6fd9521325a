import QtQuick 2.15
import QtQuick.Controls 2.15

// A layer the host made from an item's layer properties: its picture, name, size, length.
Rectangle {
    id: layer
    property var props: ({})
    color: "#000000"
    border.color: "#5aa0ff"

    Image {
        anchors.fill: parent
        anchors.margins: 1
        fillMode: Image.PreserveAspectFit
        asynchronous: true
        source: layer.props.picPath || ""
    }
    Rectangle {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        height: caption.implicitHeight + 8
        color: "#b0000000"
        Label {
            id: caption
            anchors.centerIn: parent
            color: "#ffffff"
            font.pixelSize: 11
            text: (layer.props.videoName || "")
                  + (layer.props.signalw > 0 ? "   " + layer.props.signalw + " \u00d7 " + layer.props.signalh : "")
                  + (layer.props.timeLenMsec > 0 ? "   " + Math.round(layer.props.timeLenMsec / 1000) + " s" : "")
        }
    }
}
