import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls 1.4 as C1
import QtQuick.Controls.Styles 1.4 as C1Styles
import QtQuick.Dialogs 1.3
import QtQuick.Layouts 1.15
import QtQml.Models 2.15
import CustomFolder 1.0

// The custom folder page: a folder tab with the tree of added folders and their media.
Rectangle {
    id: page
    color: "#22252a"
    radius: 6

    property string iconFontFamily: ""
    property bool loading: false
    readonly property alias tab: tab
    readonly property alias tree: tree
    readonly property alias messageBox: messageBox
    readonly property alias transcodeDialog: transcodeDialog

    // A loaded folder opens on its contents: the roots and their direct sub-folders.
    function expandTopLevels() {
        var model = tree.model
        for (var r = 0; r < model.rowCount(); ++r) {
            var root = model.index(r, 0)
            tree.expand(root)
            for (var c = 0; c < model.rowCount(root); ++c)
                tree.expand(model.index(c, 0, root))
        }
    }

    Component.onCompleted: {
        CustomFolder.setTabItem(tab)
        CustomFolder.setTreeView(tree)
        CustomFolder.setMsgBox(messageBox)
        CustomFolder.setTranscodeDialog(transcodeDialog)
    }

    Connections {
        target: CustomFolder
        function onLoadFolderBegan() { page.loading = true }
        function onLoadFolderEnded() {
            page.loading = false
            page.expandTopLevels()
        }
        function onFolderTabNeedClose() { tab.isExpanded = false }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 8
        spacing: 6

        // The folder tab: its header folds the tree away.
        Rectangle {
            id: tab
            property bool isExpanded: true
            Layout.fillWidth: true
            height: 36
            radius: 4
            color: "#2c3038"
            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: 10
                anchors.rightMargin: 6
                Label {
                    text: (tab.isExpanded ? "\u25be  " : "\u25b8  ") + qsTr("Custom folder")
                    color: "#e8e8e8"
                    font.bold: true
                    Layout.fillWidth: true
                    MouseArea {
                        anchors.fill: parent
                        onClicked: tab.isExpanded = !tab.isExpanded
                    }
                }
                BusyIndicator {
                    running: page.loading
                    visible: running
                    implicitWidth: 28
                    implicitHeight: 28
                }
                ToolButton { text: qsTr("Add"); onClicked: folderDialog.open() }
                ToolButton { text: qsTr("Refresh"); onClicked: CustomFolder.reFreshTree() }
                ToolButton { text: qsTr("Clear"); onClicked: CustomFolder.clearAll() }
                ToolButton {
                    text: qsTr("Delete")
                    enabled: tree.focusedFileIdx > 0
                    onClicked: {
                        CustomFolder.deleteRow(tree.focusedFileIdx)
                        tree.focusedFileIdx = -1
                    }
                }
                ToolButton {
                    text: qsTr("Transcode")
                    onClicked: transcodeDialog.openFor(tree.focusedItem)
                }
            }
        }

        C1.TreeView {
            id: tree
            // the item id of the row the operator picked last
            property int focusedFileIdx: -1
            readonly property var focusedItem: focusedFileIdx > 0
                                               ? { "fileIdx": focusedFileIdx,
                                                   "type": CustomFolder.itemProperty(focusedFileIdx, "type") }
                                               : null
            visible: tab.isExpanded
            Layout.fillWidth: true
            Layout.fillHeight: true
            model: CustomFolder.folderModel
            headerVisible: false
            alternatingRowColors: false
            backgroundVisible: false
            frameVisible: false
            selection: ItemSelectionModel { model: tree.model }
            style: C1Styles.TreeViewStyle {
                textColor: "#e8e8e8"
                backgroundColor: "transparent"
            }
            rowDelegate: Rectangle {
                height: 58
                color: styleData.selected ? "#34527a" : "transparent"
            }

            C1.TableViewColumn {
                role: "fileInfo"
                width: tree.width - 24
            }

            itemDelegate: ItemRow {
                info: styleData.value || ({})
                iconFontFamily: page.iconFontFamily
                onPicked: {
                    tree.focusedFileIdx = info.fileIdx
                    tree.selection.setCurrentIndex(styleData.index, ItemSelectionModel.ClearAndSelect)
                }
                onToggled: tree.isExpanded(styleData.index) ? tree.collapse(styleData.index)
                                                            : tree.expand(styleData.index)
            }

            // Folders dropped from the desktop are added like chosen ones.
            DropArea {
                anchors.fill: parent
                keys: ["text/uri-list"]
                onDropped: {
                    if (drop.hasUrls)
                        CustomFolder.addFolders(drop.urls.map(function (url) { return url.toString() }))
                }
            }
        }
    }

    FileDialog {
        id: folderDialog
        title: qsTr("Add a folder")
        selectFolder: true
        onAccepted: CustomFolder.addFolders([folder.toString()])
    }

    MessageBox { id: messageBox }

    TranscodeDialog {
        id: transcodeDialog
        tree: tree
    }
}
