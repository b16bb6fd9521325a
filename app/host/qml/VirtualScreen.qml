import QtQuick 2.15
import QtQuick.Controls 2.15

// A virtual screen: each item dropped on it becomes a layer made from its layer properties.
Rectangle {
    id: screen
    property int screenNumber: 1
    readonly property alias layers: layers
    color: drop.containsDrag ? "#233247" : "#101215"
    border.color: drop.containsDrag ? "#5aa0ff" : "#33373e"
    radius: 4
    clip: true

    Label {
        text: qsTr("Screen %1").arg(screen.screenNumber)
        color: "#6b737d"
        anchors.left: parent.left
        anchors.top: parent.top
        anchors.margins: 6
    }

    ListModel { id: layers }

    Repeater {
        model: layers
        Layer {
            props: model.props
            x: 16 + index * 24
            y: 30 + index * 24
            width: screen.width * 0.6
            height: screen.height * 0.6
        }
    }

    DropArea {
        id: drop
        anchors.fill: parent
        keys: ["customfolder/item"]
        onDropped: layers.append({ "props": drag.source.layerProps })
    }
}
