import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls 2.15 as C2 // its Dialog, which QtQuick.Dialogs would shadow
import QtQuick.Controls 1.4 as C1
import QtQuick.Controls.Styles 1.4 as C1Styles
import QtQuick.Dialogs 1.3
import QtQuick.Layouts 1.15
import QtQml.Models 2.15
import Qt.labs.settings 1.1
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
    readonly property alias summaryLine: summaryLine
    readonly property alias matchLine: matchLine
    property var seenRoots: ({}) // roots opened once on their contents, by item id
    property real scrolledTo: 0 // kept across a reset of the tree
    property var summary: null // of the tree, as the last load ended
    property int matches: 0 // of the search
    // Ids change with a restart, keys do not: what the operator opened and the roots seen are
    // kept by key and taken up again as the stored tree comes back.
    property var storedOpened: []
    property var storedSeen: []

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
        pageState.seenKeys = JSON.stringify(keysOf(seenRoots))
    }

    function keysOf(ids) {
        var keys = []
        for (var id in ids) {
            var key = CustomFolder.itemKey(Number(id))
            if (key !== "")
                keys.push(key)
        }
        return keys
    }

    // The keys of the stored state that name items now; those that do not wait for them.
    function takeUpStoredState() {
        storedSeen = storedSeen.filter(function (key) {
            var id = CustomFolder.itemIdOfKey(key)
            if (id > 0)
                seenRoots[id] = true
            return id <= 0
        })
        storedOpened = storedOpened.filter(function (key) {
            var id = CustomFolder.itemIdOfKey(key)
            if (id <= 0)
                return true
            openedFolders[id] = true
            var shown = filter.indexOfId(id)
            if (shown.valid && !filter.isFiltering)
                tree.expand(shown)
            return false
        })
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
        pageState.openedKeys = JSON.stringify(keysOf(openedFolders).concat(storedOpened))
    }

    function counted(n, one, many) {
        return (n === 1 ? one : many).arg(n)
    }

    function summaryText() {
        if (!summary)
            return ""
        var text = qsTr("Found %1, %2, %3, %4 in %5")
                .arg(counted(summary.video, qsTr("%1 video"), qsTr("%1 videos")))
                .arg(counted(summary.picture, qsTr("%1 picture"), qsTr("%1 pictures")))
                .arg(counted(summary.audio, qsTr("%1 sound"), qsTr("%1 sounds")))
                .arg(counted(summary.office, qsTr("%1 presentation"), qsTr("%1 presentations")))
                .arg(counted(summary.folder, qsTr("%1 folder"), qsTr("%1 folders")))
        if (summary.invalid > 0)
            text += qsTr("; %1 invalid").arg(summary.invalid)
        if (summary.leftOut > 0)
            text += "; " + counted(summary.leftOut, qsTr("%1 file of unknown type left out"),
                                   qsTr("%1 files of unknown type left out"))
        return text
    }

    function thousands(n) {
        return Number(n).toLocaleString(Qt.locale("en_US"), "f", 0)
    }

    function timeLeftText(seconds) {
        if (seconds < 0)
            return ""
        return qsTr("%1:%2 left").arg(Math.floor(seconds / 60)).arg(("0" + seconds % 60).slice(-2))
    }

    Settings {
        id: pageState
        fileName: typeof pageStateFile !== "undefined" ? pageStateFile : ""
        property string openedKeys: "[]"
        property string seenKeys: "[]"
    }

    Timer { // a search's matches are counted in the whole tree, once changes pause
        id: matchCounting
        interval: 300
        onTriggered: page.matches = page.filter.isFiltering ? page.filter.matchCount() : 0
    }

    Component.onCompleted: {
        storedOpened = JSON.parse(pageState.openedKeys)
        storedSeen = JSON.parse(pageState.seenKeys)
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
            page.summary = CustomFolder.loadSummary()
            page.takeUpStoredState()
            page.expandTopLevels()
            page.restoreExpansion()
            matchCounting.restart()
        }
        function onFolderTabNeedClose() { tab.isExpanded = false }
        function onClearAll() { page.summary = null }
    }

    Connections {
        target: page.filter
        function onFilterChanged() {
            page.restoreExpansion()
            matchCounting.restart()
        }
        function onRowsInserted() {
            if (page.storedOpened.length + page.storedSeen.length > 0)
                Qt.callLater(page.takeUpStoredState)
            if (page.filter.isFiltering && !matchCounting.running)
                matchCounting.start()
        }
        function onRowsRemoved() {
            if (page.filter.isFiltering && !matchCounting.running)
                matchCounting.start()
        }
        function onModelAboutToBeReset() { page.scrolledTo = tree.flickableItem.contentY }
        function onModelReset() {
            Qt.callLater(function () {
                page.takeUpStoredState()
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
            Layout.preferredHeight: page.loading || summaryLine.visible ? 64 : 36
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
                    id: deleteButton
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
                readonly property string countText:
                    qsTr("%1 / %2 items, %3 / %4 jobs")
                        .arg(page.thousands(CustomFolder.itemsBuilt)).arg(page.thousands(CustomFolder.itemsFound))
                        .arg(page.thousands(CustomFolder.jobsDone)).arg(page.thousands(CustomFolder.jobsQueued))
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

            // What the last load left on the page.
            Label {
                id: summaryLine
                visible: !page.loading && text !== ""
                text: page.summaryText()
                color: "#9aa3ad"
                font.pixelSize: 11
                elide: Text.ElideRight
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                anchors.margins: 8
                anchors.leftMargin: 10
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

        Label {
            id: matchLine
            visible: tab.isExpanded && page.filter.isFiltering
            text: page.matches === 0 ? qsTr("Nothing matches the search")
                                     : page.counted(page.matches, qsTr("%1 match"), qsTr("%1 matches"))
            color: page.matches === 0 ? "#d9a44a" : "#9aa3ad"
            font.pixelSize: 11
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
                onCurrentChanged: {
                    // a removed row hands on the current index but not the highlight
                    if (current.valid && !isSelected(current))
                        select(current, ItemSelectionModel.ClearAndSelect)
                    tree.focusedFileIdx = current.valid ? page.filter.data(current, 257).fileIdx : -1
                    tree.focusedIsRoot = current.valid && !current.parent.valid
                }
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
            // The arrows move and fold as the view has it; Delete asks first, as the button does.
            Keys.onDeletePressed: {
                if (deleteButton.enabled)
                    deleteConfirm.openFor(focusedFileIdx)
            }

            C1.TableViewColumn {
                role: "fileInfo"
                width: tree.width - 24
            }

            itemDelegate: ItemRow {
                info: styleData.value || ({})
                iconFontFamily: page.iconFontFamily
                onPicked: {
                    tree.selection.setCurrentIndex(styleData.index, ItemSelectionModel.ClearAndSelect)
                    tree.__listView.currentIndex = styleData.row // where the arrows go on from
                    tree.forceActiveFocus()
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
        width: 420 // fixed, so that a long name wraps instead of resizing the dialog
        Label {
            width: parent.width
            wrapMode: Text.Wrap
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
