import QtQuick 2.15
import QtQuick.Controls 2.15
import CustomFolder 1.0

// One row of the folder tree: picture, type icon, name, length and size, and the marks for
// probing, invalid media and a running transcode. Dragging it carries the item's layer
// properties to a virtual screen.
Item {
    id: row

    property var info: ({})
    property string iconFontFamily: ""
    signal picked()
    signal toggled()

    // Read again whenever the model announces the item, since info is then a new map.
    readonly property var media: info.fileIdx ? (CustomFolder.itemProperty(info.fileIdx, "info") || ({})) : ({})
    readonly property bool isFolder: info.type === "folder"
    readonly property real fileSize: info.fileIdx && info.type === "video"
                                     ? CustomFolder.itemProperty(info.fileIdx, "fileSize") : -1
    readonly property bool probing: !isFolder && info.isValid !== false && info.asyncCompleted === false
    readonly property int progress: info.transcodeProgress === undefined ? -1 : info.transcodeProgress
    // Only an item that can be shown becomes a layer; a drag of another says why not.
    readonly property string refusal: info.exists === false ? qsTr("not on disk: no layer")
                                    : info.isValid === false ? qsTr("cannot be shown: no layer")
                                    : ""
    property bool refusalShown: false
    // Code points the installed icon font has; others are drawn from pictures.
    readonly property var fontGlyphs: [0xF15B, 0xF1C4]

    // A video's codec, as the first word of its stream's encoding, and its frame rate.
    function videoText() {
        if (info.type !== "video" || !media.detailInfo)
            return ""
        var details = {}
        try { details = JSON.parse(media.detailInfo) } catch (e) { return "" }
        var codec = details.Video && details.Video.encoding ? details.Video.encoding.split(" ")[0] : ""
        return [codec, media.fps || ""].filter(function (part) { return part !== "" }).join("  ")
    }

    function sizeText(bytes) {
        if (bytes < 0)
            return ""
        var units = ["B", "KB", "MB", "GB", "TB"]
        var unit = 0
        for (; bytes >= 1024 && unit < units.length - 1; ++unit)
            bytes /= 1024
        return (unit === 0 ? bytes : bytes.toFixed(1)) + " " + units[unit]
    }

    // Stills have no length of their own; under a second a length shows in tenths.
    function lengthText(msec) {
        if (!msec || isFolder || info.type === "picture" || info.type === "office")
            return ""
        if (msec < 1000)
            return (msec / 1000).toFixed(1) + " s"
        var seconds = Math.round(msec / 1000)
        var minutes = Math.floor(seconds / 60)
        seconds = seconds % 60
        return minutes + ":" + (seconds < 10 ? "0" : "") + seconds
    }

    Row {
        anchors.verticalCenter: parent.verticalCenter
        spacing: 10

        Rectangle {
            width: 76
            height: 48
            radius: 3
            color: "#15171a"
            Image {
                id: picture
                anchors.fill: parent
                anchors.margins: 2
                fillMode: Image.PreserveAspectFit
                asynchronous: true
                sourceSize.width: 152
                source: info.type === "office" ? "qrc:/PICTS/Pics/Office_signal.png" : (info.img || "")
                visible: !slide.visible
            }
            // A presentation shows its first slide once the capture tool has made it.
            Image {
                id: slide
                anchors.fill: parent
                anchors.margins: 2
                fillMode: Image.PreserveAspectFit
                asynchronous: true
                sourceSize.width: 152
                source: info.type === "office" && info.asyncCompleted && media.pptPath
                        ? localFiles.url(media.pptPath + "/1.png") : ""
                visible: status === Image.Ready
            }
        }

        Column {
            anchors.verticalCenter: parent.verticalCenter
            spacing: 3
            Row {
                spacing: 6
                Text {
                    visible: row.iconFontFamily !== "" && row.fontGlyphs.indexOf(info.icon) >= 0
                    text: visible ? String.fromCharCode(info.icon) : ""
                    font.family: row.iconFontFamily
                    font.pixelSize: 14
                    color: "#9fb3c8"
                }
                Image {
                    visible: info.type === "audio" && info.icon !== undefined
                             && row.fontGlyphs.indexOf(info.icon) < 0
                    source: visible ? "qrc:/PICTS/Pics/music.png" : ""
                    width: 14
                    height: 14
                }
                Label {
                    text: info.name || ""
                    color: info.exists === false ? "#8a8f98" : "#e8e8e8"
                    elide: Text.ElideMiddle
                    width: Math.min(implicitWidth, 300)
                }
                Label {
                    visible: info.exists === false
                    text: qsTr("missing")
                    color: "#d9a44a"
                    font.pixelSize: 11
                }
                Label {
                    visible: (info.isValid === false && info.exists !== false) || row.refusalShown
                    text: row.refusalShown ? row.refusal : qsTr("invalid")
                    color: "#ff7a6b"
                    font.pixelSize: 11
                    ToolTip.visible: flawHover.containsMouse && !!info.reason
                    ToolTip.text: info.reason || ""
                    MouseArea {
                        id: flawHover
                        anchors.fill: parent
                        hoverEnabled: true
                        acceptedButtons: Qt.NoButton
                    }
                }
            }
            Label {
                visible: text !== ""
                text: [row.lengthText(media.timeLenMsec),
                       media.frameWidth > 0 && info.type !== "audio"
                               ? media.frameWidth + " \u00d7 " + media.frameHeight : "",
                       row.videoText(),
                       row.sizeText(row.fileSize)]
                      .filter(function (part) { return part !== "" }).join("   ")
                color: "#9aa3ad"
                font.pixelSize: 11
            }
            ProgressBar {
                visible: row.progress >= 0 && row.progress < 100
                from: 0
                to: 100
                value: row.progress
                width: 180
            }
        }

        BusyIndicator {
            anchors.verticalCenter: parent.verticalCenter
            running: row.probing
            visible: running
            implicitWidth: 22
            implicitHeight: 22
        }
    }

    MouseArea {
        id: mouse
        anchors.fill: parent
        drag.target: isFolder || row.refusal !== "" ? null : carrier
        onPressed: row.picked()
        onPositionChanged: {
            if (pressed && !isFolder && row.refusal !== "") {
                row.refusalShown = true
                refusalTimer.restart()
            }
        }
        onDoubleClicked: row.toggled()
        onReleased: {
            if (carrier.Drag.active)
                carrier.Drag.drop()
            carrier.x = 0
            carrier.y = 0
        }
    }

    Timer {
        id: refusalTimer
        interval: 2500
        onTriggered: row.refusalShown = false
    }

    // What a drag carries: the layer properties, built when the drag starts.
    Item {
        id: carrier
        property var layerProps: ({})
        width: 1
        height: 1
        Drag.active: mouse.drag.active
        Drag.keys: ["customfolder/item"]
        Drag.onActiveChanged: {
            if (Drag.active) {
                CustomFolder.setDragFileIdx(info.fileIdx)
                layerProps = CustomFolder.createMimeData()
            }
        }
    }
}
