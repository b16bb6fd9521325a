import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls 2.15 as C2 // its Dialog, which QtQuick.Dialogs would shadow
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
    // Folders the operator opened, by item id: a search hides rows and forgets whether they
    // were open, and the end of a walk resets the tree, so they are opened again from here.
    property var openedFolders: ({})
    property var searchOpened: ({}) // closed again when the search ends, unless opened before
    readonly property var filter: CustomFolder.filterModel
    readonly property alias tab: tab
    readonly property alias tree: tree
    readonly property alias progress: progress
    readonly property alias searchField: searchField
    readonly property alias messageBox: messageBox
    readonly property alias transcodeDialog: transcodeDialog
    readonly property alias deleteConfirm: deleteConfirm
    property var seenRoots: ({}) // roots opened once on their contents, by item id
    property real scrolledTo: 0 // kept across a reset of the tree

    // A newly loaded folder opens on its contents: the root and its direct sub-folders. One
    // shown before keeps what the operator made of it.
    function expandTopLevels() {
        for (var r = 0; r < filter.rowCount(); ++r) {
            var root = filter.index(r, 0)
            var id = filter.data(root, 257).fileIdx
            if (seenRoots[id])
                continue
            seenRoots[id] = true
            tree.expand(root)
            for (var c = 0; c < filter.rowCount(root); ++c)
                tree.expand(filter.index(c, 0, root))
        }
    }

    // While a search narrows the tree every folder that shows is open, so that every match
    // shows; otherwise the folders the operator opened are.
    function restoreExpansion() {
        if (filter.isFiltering) {
            for (var r = 0; r < filter.rowCount(); ++r)
                expandAll(filter.index(r, 0))
            return
        }
        for (var opened in searchOpened) {
            var shown = filter.indexOfId(Number(opened))
            if (shown.valid && !openedFolders[opened])
                tree.collapse(shown)
        }
        searchOpened = {}
        for (var id in openedFolders) {
            var index = filter.indexOfId(Number(id))
            if (index.valid)
                tree.expand(index)
        }
    }

    function expandAll(folder) {
        searchOpened[filter.data(folder, 257).fileIdx] = true
        tree.expand(folder)
        for (var r = 0; r < filter.rowCount(folder); ++r) {
            var child = filter.index(r, 0, folder)
            if (filter.rowCount(child) > 0)
                expandAll(child)
        }
    }

    // What the operator opens and closes, not what a search opens.
    function remember(index, opened) {
        if (filter.isFiltering)
            return
        var id = filter.data(index, 257).fileIdx
        if (opened)
            openedFolders[id] = true
        else
            delete openedFolders[id]
    }

    function thousands(n) {
        return Number(n).toLocaleString(Qt.locale("en_US"), "f", 0)
    }

    function timeLeftText(seconds) {
        if (seconds < 0)
            return ""
        return qsTr("%1:%2 left").arg(Math.floor(seconds / 60)).arg(("0" + seconds % 60).slice(-2))
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
            page.restoreExpansion()
        }
        function onFolderTabNeedClose() { tab.isExpanded = false }
    }

    Connections {
        target: page.filter
        function onFilterChanged() { page.restoreExpansion() }
        function onModelAboutToBeReset() { page.scrolledTo = tree.flickableItem.contentY }
        function onModelReset() {
            Qt.callLater(function () {
                page.restoreExpansion()
                tree.flickableItem.contentY = page.scrolledTo
            })
        }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 8
        spacing: 6

        // The folder tab: its header folds the tree away, and shows how far a load has come.
        Rectangle {
            id: tab
            property bool isExpanded: true
            Layout.fillWidth: true
            height: page.loading ? 64 : 36
            radius: 4
            color: "#2c3038"
            RowLayout {
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.top: parent.top
                height: 36
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
                ToolButton { text: qsTr("Add"); onClicked: folderDialog.open() }
                ToolButton { text: qsTr("Refresh"); onClicked: CustomFolder.reFreshTree() }
                ToolButton { text: qsTr("Clear"); onClicked: CustomFolder.clearAll() }
                ToolButton {
                    text: qsTr("Delete")
                    // a row that the search hides is not the one the operator sees
                    enabled: tree.focusedFileIdx > 0
                             && (page.filter.text, page.filter.isFiltering,
                                 page.filter.indexOfId(tree.focusedFileIdx).valid)
                    onClicked: deleteConfirm.openFor(tree.focusedFileIdx)
                }
                ToolButton {
                    text: qsTr("Relink")
                    // only for a folder that is no longer where it was added, as after a move
                    visible: tree.focusedIsRoot
                             && CustomFolder.itemProperty(tree.focusedFileIdx, "exists") === false
                    onClicked: relinkDialog.open()
                }
                ToolButton {
                    text: qsTr("Transcode")
                    onClicked: transcodeDialog.openFor(tree.focusedItem)
                }
            }

            // Items built and jobs ended, of those found and asked for so far.
            RowLayout {
                id: progress
                readonly property int done: CustomFolder.itemsBuilt + CustomFolder.jobsDone
                readonly property int total: CustomFolder.itemsFound + CustomFolder.jobsQueued
                readonly property string countText: page.thousands(done) + " / " + page.thousands(total)
                visible: page.loading
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                anchors.margins: 8
                spacing: 8
                ProgressBar {
                    Layout.fillWidth: true
                    from: 0
                    to: Math.max(1, progress.total)
                    value: progress.done
                }
                Label {
                    text: progress.countText
                    color: "#e8e8e8"
                    font.pixelSize: 11
                }
                Label {
                    text: page.timeLeftText(CustomFolder.secondsLeft)
                    color: "#9aa3ad"
                    font.pixelSize: 11
                }
                Label { // the file of the job started last
                    text: CustomFolder.currentFile.split("/").pop()
                    color: "#6b737d"
                    font.pixelSize: 11
                    elide: Text.ElideMiddle
                    Layout.maximumWidth: 130
                }
            }
        }

        // The search: a part of the name and the media types to show.
        RowLayout {
            visible: tab.isExpanded
            Layout.fillWidth: true
            spacing: 4
            TextField {
                id: searchField
                objectName: "searchField"
                Layout.fillWidth: true
                placeholderText: qsTr("Search")
                selectByMouse: true
                // Typing is looked up once it pauses, not at every key.
                onTextChanged: searchPause.restart()
                Timer {
                    id: searchPause
                    interval: 200
                    onTriggered: page.filter.text = searchField.text
                }
            }
            Repeater {
                model: [{ "type": "video", "label": qsTr("Video") },
                        { "type": "picture", "label": qsTr("Picture") },
                        { "type": "audio", "label": qsTr("Audio") },
                        { "type": "office", "label": qsTr("Office") }]
                ToolButton {
                    text: modelData.label
                    checkable: true
                    checked: page.filter.types.indexOf(modelData.type) >= 0
                    onToggled: {
                        var types = []
                        for (var i = 0; i < page.filter.types.length; ++i) {
                            if (page.filter.types[i] !== modelData.type)
                                types.push(page.filter.types[i])
                        }
                        if (checked)
                            types.push(modelData.type)
                        page.filter.types = types
                    }
                }
            }
            ToolButton {
                text: qsTr("Invalid")
                checkable: true
                checked: page.filter.invalidOnly
                onToggled: page.filter.invalidOnly = checked
            }
            // The order of a folder's rows, folders first.
            ComboBox {
                id: sortBox
                textRole: "text"
                model: [{ "text": qsTr("Name"), "key": "name" },
                        { "text": qsTr("Type"), "key": "type" },
                        { "text": qsTr("Length"), "key": "length" }]
                onActivated: page.filter.sortKey = model[index].key
                implicitWidth: 96
                implicitHeight: 30
                font.pixelSize: 12
            }
        }

        C1.TreeView {
            id: tree
            // the item id of the row the operator picked last
            property int focusedFileIdx: -1
            property bool focusedIsRoot: false
            readonly property var focusedItem: focusedFileIdx > 0
                                               ? { "fileIdx": focusedFileIdx,
                                                   "type": CustomFolder.itemProperty(focusedFileIdx, "type") }
                                               : null
            visible: tab.isExpanded
            Layout.fillWidth: true
            Layout.fillHeight: true
            model: page.filter
            headerVisible: false
            alternatingRowColors: false
            backgroundVisible: false
            frameVisible: false
            // The row shown highlighted is the one the buttons act on, also after a delete
            // moved the highlight.
            selection: ItemSelectionModel {
                model: tree.model
                onCurrentChanged: tree.focusedFileIdx = current.valid
                                  ? page.filter.data(current, 257).fileIdx : -1
            }
            style: C1Styles.TreeViewStyle {
                textColor: "#e8e8e8"
                backgroundColor: "transparent"
            }
            rowDelegate: Rectangle {
                height: 58
                color: styleData.selected ? "#34527a" : "transparent"
            }

            onExpanded: page.remember(index, true)
            onCollapsed: page.remember(index, false)

            C1.TableViewColumn {
                role: "fileInfo"
                width: tree.width - 24
            }

            itemDelegate: ItemRow {
                info: styleData.value || ({})
                iconFontFamily: page.iconFontFamily
                onPicked: {
                    tree.focusedFileIdx = info.fileIdx
                    tree.focusedIsRoot = !styleData.index.parent.valid
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

        // The transcodes running and waiting, the running one first, each with a stop.
        ColumnLayout {
            id: transcodes
            readonly property var queue: CustomFolder.transcodeQueue
            visible: queue.length > 0
            Layout.fillWidth: true
            spacing: 2
            RowLayout {
                Label {
                    text: qsTr("Transcodes: %1").arg(transcodes.queue.length)
                    color: "#e8e8e8"
                    font.bold: true
                    Layout.fillWidth: true
                }
                ToolButton { text: qsTr("Stop all"); onClicked: CustomFolder.stopAllTranscodes() }
            }
            Repeater {
                model: transcodes.queue
                RowLayout {
                    Layout.fillWidth: true
                    Label {
                        text: modelData.path.replace(/^.*\//, "") + "  " + modelData.type
                        color: "#e8e8e8"
                        elide: Text.ElideMiddle
                        Layout.fillWidth: true
                    }
                    ProgressBar {
                        from: 0
                        to: 100
                        value: modelData.progress
                        indeterminate: !modelData.running
                    }
                    Label {
                        color: "#8a8f98"
                        text: !modelData.running ? qsTr("waiting")
                              : modelData.secondsLeft < 0 ? qsTr("starting")
                              : qsTr("%1 s left").arg(modelData.secondsLeft)
                    }
                    ToolButton {
                        text: qsTr("Stop")
                        onClicked: modelData.fileIdx > 0 ? CustomFolder.stopTranscode(modelData.fileIdx)
                                                         : CustomFolder.stopTranscode(modelData.path)
                    }
                }
            }
        }
    }

    FileDialog {
        id: folderDialog
        title: qsTr("Add a folder")
        selectFolder: true
        // fileUrl is what was chosen or typed; folder is only where the dialog was showing
        onAccepted: CustomFolder.addFolders([fileUrl.toString()])
    }

    // A row goes only once the operator said which, so that a row that moved under the
    // pointer is not the one removed.
    C2.Dialog {
        id: deleteConfirm
        property int itemIdx: -1
        property string itemName: ""
        function openFor(idx) {
            itemIdx = idx
            itemName = CustomFolder.itemProperty(idx, "name") || ""
            open()
        }
        title: qsTr("Remove from the page")
        modal: true
        anchors.centerIn: Overlay.overlay
        standardButtons: C2.Dialog.Ok | C2.Dialog.Cancel
        Label {
            text: qsTr("Remove \"%1\" from the page? The file stays on disk.").arg(deleteConfirm.itemName)
        }
        onAccepted: {
            CustomFolder.deleteRow(itemIdx)
            if (tree.focusedFileIdx === itemIdx)
                tree.focusedFileIdx = -1
        }
    }

    FileDialog {
        id: relinkDialog
        title: qsTr("Where is the folder now?")
        selectFolder: true
        onAccepted: CustomFolder.relinkFolder(tree.focusedFileIdx, fileUrl.toString())
    }

    MessageBox { id: messageBox }

    TranscodeDialog {
        id: transcodeDialog
        tree: tree
    }
}
