import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// The video wall: four virtual screens that items of the tree are dropped on.
GridLayout {
    id: wall
    columns: 2
    rowSpacing: 8
    columnSpacing: 8
    readonly property alias screens: screens

    Repeater {
        id: screens
        model: 4
        VirtualScreen {
            screenNumber: index + 1
            Layout.fillWidth: true
            Layout.fillHeight: true
        }
    }
}
