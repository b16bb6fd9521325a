import QtQuick 2.15
import QtTest 1.15
import CustomFolder 1.0

Item {
    id: root
    width: 1200
    height: 700

    Loader {
        id: pageLoader
        width: 560
        height: parent.height
        source: "qrc:/qml/CustomFolderPage.qml"
    }
    Loader {
        id: wallLoader
        x: 580
        width: 600
        height: parent.height
        source: "qrc:/qml/ScreenWall.qml"
    }

    // Stands for the row the operator drags: it carries the item's layer properties.
    Item {
        id: dragged
        property var layerProps: ({})
        width: 10
        height: 10
        Drag.keys: ["customfolder/item"]
    }

    SignalSpy { id: ended; target: CustomFolder; signalName: "loadFolderEnded" }

    TestCase {
        name: "Page"
        when: windowShown

        readonly property var model: CustomFolder.folderModel
        readonly property int fileInfo: 257
        property var page: pageLoader.item

        function itemNamed(name) {
            var root = model.index(0, 0)
            for (var r = 0; r < model.rowCount(root); ++r) {
                var item = model.data(model.index(r, 0, root), fileInfo)
                if (item.name === name)
                    return item
            }
            return null
        }

        function test_1_addedFolderShowsItsRows() {
            CustomFolder.addFolders([mediaFolder])
            verify(page.progress.visible)
            ended.wait(30000)
            verify(!page.progress.visible)
            compare(page.progress.countText, "6 / 6") // 3 items built, 3 jobs done
            compare(model.rowCount(), 1)
            compare(model.data(model.index(0, 0), fileInfo).name, "folder")
            compare(itemNamed("photo.jpg").type, "picture")
            var clip = itemNamed("clip.mp4")
            compare(clip.type, "video")
            verify(clip.asyncCompleted)
            verify(String(clip.img).indexOf("/picture/") > 0)
            verify(!page.loading)
            verify(page.tree.isExpanded(CustomFolder.filterModel.index(0, 0)))
        }

        function test_2_droppedItemBecomesALayer() {
            var clip = itemNamed("clip.mp4")
            CustomFolder.setDragFileIdx(clip.fileIdx)
            dragged.layerProps = CustomFolder.createMimeData()
            var screen = wallLoader.item.screens.itemAt(2)
            var target = screen.mapToItem(root, screen.width / 2, screen.height / 2)
            dragged.x = target.x
            dragged.y = target.y
            dragged.Drag.active = true
            dragged.Drag.drop()
            dragged.Drag.active = false
            compare(screen.layers.count, 1)
            var layer = screen.layers.get(0).props
            compare(layer.videoName, "clip.mp4")
            compare(layer.signalw, 320)
            compare(layer.timeLenMsec, 6000)
            compare(layer.layerGuid, clip.uuid)
            verify(String(layer.picPath).indexOf("file://") === 0)
        }

        function search(text) {
            page.searchField.text = text
            tryCompare(CustomFolder.filterModel, "text", text)
        }

        // Through the filtered tree items are still known by their ids.
        function test_2a_searchLeavesTheFoldersAsTheOperatorLeftThem() {
            var filter = CustomFolder.filterModel
            page.tree.collapse(filter.index(0, 0))
            search("PHO")
            var root = filter.index(0, 0)
            compare(filter.rowCount(root), 1)
            var photo = filter.data(filter.index(0, 0, root), fileInfo)
            compare(photo.name, "photo.jpg")
            verify(page.tree.isExpanded(root)) // a search opens what it shows
            search("")
            compare(filter.rowCount(filter.index(0, 0)), 2)
            verify(!page.tree.isExpanded(filter.index(0, 0)))
            search("pho")
            page.deleteConfirm.openFor(photo.fileIdx) // nothing goes until the operator agrees
            compare(page.deleteConfirm.itemName, "photo.jpg")
            page.deleteConfirm.reject()
            compare(filter.rowCount(), 1)
            page.deleteConfirm.openFor(photo.fileIdx)
            page.deleteConfirm.accept()
            compare(filter.rowCount(), 0)
            search("")
            compare(filter.rowCount(filter.index(0, 0)), 1)
            page.tree.expand(filter.index(0, 0))
        }

        function test_3_transcodeStartsAndStopsFromTheDialog() {
            var clip = itemNamed("clip.mp4")
            var dialog = page.transcodeDialog
            page.tree.focusedFileIdx = clip.fileIdx
            dialog.isFromFolder = true
            dialog.videoWidth = 320
            dialog.videoHeight = 240
            dialog.quitApplication()
            compare(CustomFolder.itemProperty(clip.fileIdx, "transcodeProgress"), 0)
            tryVerify(function () { return CustomFolder.checkIfTranscoding() }, 20000)
            CustomFolder.stopTranscode(clip.fileIdx)
            compare(CustomFolder.itemProperty(clip.fileIdx, "transcodeProgress"), -1)
            verify(!CustomFolder.checkIfTranscoding())
        }

        function test_3b_fileTranscodeReportsInTheDialog() {
            var dialog = page.transcodeDialog
            dialog.isFromFolder = false
            dialog.videoPath = mediaFolder + "/clip.mp4"
            dialog.videoType = "H264"
            dialog.startExternal()
            dialog.quitApplication()
            verify(CustomFolder.checkExternalTranscoding(dialog.videoPath))
            tryVerify(function () { return dialog.externalStatus.indexOf("VEK_clip.mkv") > 0 }, 30000)
            compare(dialog.externalProgress, 100)
            verify(!CustomFolder.checkExternalTranscoding(dialog.videoPath))
        }

        function test_4_secondAddDuringAWalkIsReported() {
            CustomFolder.addFolder(mediaFolder)
            CustomFolder.addFolder(mediaFolder)
            verify(page.messageBox.visible)
            compare(page.messageBox.informText, "A Folder is being added, cannot add new folder")
            page.messageBox.close()
            ended.clear()
            ended.wait(30000)
        }

        function test_5_clearClosesTheTab() {
            CustomFolder.clearAll()
            compare(model.rowCount(), 0)
            tryCompare(page.tab, "isExpanded", false)
        }
    }
}
