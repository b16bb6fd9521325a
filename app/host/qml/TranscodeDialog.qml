import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import CustomFolder 1.0

// Transcodes the focused video of the tree, every video of the focused folder, or a file given
// by its path, to HAP, HAP Q, HAP Alpha or H264.
// The library reads the properties below when quitApplication() asks it to start.
Popup {
    id: dialog

    property var tree
    property bool isFromFolder: true
    property string videoType: typeBox.currentText
    property int videoWidth: widthBox.value
    property int videoHeight: heightBox.value
    property string videoPath: pathField.text
    signal quitApplication()

    // what the tree's request transcodes: the focused video, or the videos of the focused folder
    property string focusedSource: ""

    // Frame sizes read as numbers, not amounts: no thousands separator.
    function plain(value) { return String(value) }

    function openFor(item) {
        var isTreeSource = !!item && (item.type === "video" || item.type === "folder")
        isFromFolder = isTreeSource
        focusedSource = !isTreeSource ? ""
                      : item.type === "folder" ? qsTr("Every video in %1").arg(CustomFolder.itemPath(item.fileIdx))
                                               : CustomFolder.itemPath(item.fileIdx)
        open()
    }

    // A file outside the tree is registered under a uuid of its own before its transcode.
    function startExternal() {
        var uuid = "{" + Qt.md5(videoPath + Date.now()).replace(/(.{8})(.{4})(.{4})(.{4})(.{12})/, "$1-$2-$3-$4-$5") + "}"
        CustomFolder.registerExternalTranscodeFile(videoPath, uuid)
    }

    // A file's transcode reports through the facade's signals; a tree item's shows in its row.
    property string externalUuid: ""
    property int externalProgress: -1
    property string externalStatus: ""

    Connections {
        target: CustomFolder
        function onBeginVideoFileTranscoding(uuid) {
            dialog.externalUuid = uuid
            dialog.externalProgress = 0
            dialog.externalStatus = qsTr("Waiting for the transcode to start.")
        }
        function onTranscodingProgressChanged(uuid, progress) {
            if (uuid !== dialog.externalUuid)
                return
            dialog.externalProgress = progress
            dialog.externalStatus = qsTr("Transcoding: %1 %").arg(progress)
        }
        function onVideoFileTranscoded(uuid, file) {
            if (uuid === dialog.externalUuid)
                dialog.externalStatus = qsTr("Written: %1").arg(file)
        }
        function onVideoFileTranscodingStopped(uuid) {
            if (uuid !== dialog.externalUuid)
                return
            dialog.externalProgress = -1
            dialog.externalStatus = qsTr("Stopped.")
        }
    }

    anchors.centerIn: Overlay.overlay
    modal: true
    padding: 16

    contentItem: GridLayout {
        columns: 2
        columnSpacing: 10
        rowSpacing: 8

        Label { text: qsTr("Source") }
        RowLayout {
            RadioButton {
                text: dialog.focusedSource || qsTr("Focused video")
                enabled: dialog.focusedSource !== ""
                checked: dialog.isFromFolder
                onToggled: dialog.isFromFolder = checked
            }
            RadioButton { text: qsTr("File"); checked: !dialog.isFromFolder; onToggled: dialog.isFromFolder = !checked }
        }
        Label { text: qsTr("File") }
        TextField {
            id: pathField
            enabled: !dialog.isFromFolder
            placeholderText: qsTr("/path/to/video.mp4")
            Layout.preferredWidth: 320
        }
        Label { text: qsTr("Format") }
        ComboBox { id: typeBox; model: ["HAP", "HAPQ", "HAPALPHA", "H264"] }
        Label { text: qsTr("Width") }
        SpinBox { id: widthBox; from: 0; to: 7680; value: 1920; editable: true; textFromValue: dialog.plain }
        Label { text: qsTr("Height") }
        SpinBox { id: heightBox; from: 0; to: 4320; value: 1080; editable: true; textFromValue: dialog.plain }
        ProgressBar {
            Layout.columnSpan: 2
            Layout.fillWidth: true
            visible: !dialog.isFromFolder && dialog.externalProgress >= 0
            from: 0
            to: 100
            value: dialog.externalProgress
        }
        Label {
            Layout.columnSpan: 2
            visible: !dialog.isFromFolder
            text: dialog.externalStatus
        }
        RowLayout {
            Layout.columnSpan: 2
            Layout.alignment: Qt.AlignRight
            Button {
                text: qsTr("Start")
                onClicked: {
                    if (!dialog.isFromFolder)
                        dialog.startExternal()
                    dialog.quitApplication()
                }
            }
            Button {
                text: qsTr("Stop")
                onClicked: dialog.isFromFolder ? CustomFolder.stopTranscode(dialog.tree.focusedFileIdx)
                                               : CustomFolder.stopTranscode(dialog.videoPath)
            }
            Button { text: qsTr("Close"); onClicked: dialog.close() }
        }
    }
}
