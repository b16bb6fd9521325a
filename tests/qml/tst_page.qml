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

        // The rows of the first root as the page lists them.
        function shownNames() {
            var filter = CustomFolder.filterModel
            var root = filter.index(0, 0)
            var names = []
            for (var r = 0; r < filter.rowCount(root); ++r)
                names.push(filter.data(filter.index(r, 0, root), fileInfo).name)
            return names
        }

        // The delegate that shows the item, once the view has laid out its rows.
        function rowShowing(name) {
            waitForRendering(page.tree)
            return rowOf(page.tree.__listView.contentItem, itemNamed(name).fileIdx)
        }

        function rowOf(item, fileIdx) {
            for (var i = 0; i < item.children.length; ++i) {
                var child = item.children[i]
                if (child.refusal !== undefined && child.info.fileIdx === fileIdx)
                    return child
                var below = rowOf(child, fileIdx)
                if (below)
                    return below
            }
            return null
        }

        function test_1_addedFolderShowsItsRows() {
            CustomFolder.addFolders([mediaFolder])
            verify(page.progress.visible)
            ended.wait(30000)
            verify(!page.progress.visible)
            compare(page.progress.countText, "5 / 5 items, 5 / 5 jobs")
            compare(page.summaryLine.text, "Found 2 videos, 1 picture, 0 sounds, 0 presentations in "
                    + "2 folders; 1 invalid; 1 file of unknown type left out")
            compare(shownNames(), ["sub", "clip.mp4", "photo.jpg", "Zebra.mp4"])
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
            tryCompare(page.matchLine, "text", "1 match")
            var photo = filter.data(filter.index(0, 0, root), fileInfo)
            compare(photo.name, "photo.jpg")
            verify(page.tree.isExpanded(root)) // a search opens what it shows
            search("zzz")
            tryCompare(page.matchLine, "text", "Nothing matches the search")
            search("FOLD") // the root's name: all it holds shows
            compare(filter.rowCount(filter.index(0, 0)), 4)
            tryCompare(page.matchLine, "text", "3 matches")
            search("")
            compare(filter.rowCount(filter.index(0, 0)), 4)
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
            compare(filter.rowCount(filter.index(0, 0)), 3)
            page.tree.expand(filter.index(0, 0))
        }

        // Dragged, the row says why it makes no layer, and the screen gets none.
        function test_2b_itemsThatCannotShowAreNotDragged_data() {
            return [{ tag: "invalid", name: "Zebra.mp4", away: false, reason: "cannot be shown: no layer" },
                    { tag: "missing", name: "clip.mp4", away: true, reason: "not on disk: no layer" }]
        }

        function test_2b_itemsThatCannotShowAreNotDragged(data) {
            var screen = wallLoader.item.screens.itemAt(1)
            var layers = screen.layers.count
            if (data.away) {
                verify(testFiles.rename(mediaFolder, mediaFolder + "-away"))
                tryVerify(function () { return itemNamed(data.name).exists === false }, 10000)
            }
            var row = rowShowing(data.name)
            tryCompare(row, "refusal", data.reason)
            var target = screen.mapToItem(row, screen.width / 2, screen.height / 2)
            mousePress(row, 20, 20)
            mouseMove(row, 60, 30, -1, Qt.LeftButton)
            mouseMove(row, target.x, target.y, -1, Qt.LeftButton)
            verify(row.refusalShown)
            mouseRelease(row, target.x, target.y)
            compare(screen.layers.count, layers)
            if (data.away) {
                verify(testFiles.rename(mediaFolder + "-away", mediaFolder))
                tryVerify(function () { return itemNamed(data.name).exists === true }, 10000)
            }
        }

        function test_2c_treeAnswersTheKeyboard() {
            var tree = page.tree
            var root = CustomFolder.filterModel.index(0, 0)
            mouseClick(rowShowing("clip.mp4"), 20, 20)
            verify(tree.activeFocus)
            keyClick(Qt.Key_Up)
            compare(tree.focusedFileIdx, itemNamed("sub").fileIdx)
            keyClick(Qt.Key_Up)
            verify(tree.focusedIsRoot)
            keyClick(Qt.Key_Left)
            verify(!tree.isExpanded(root))
            keyClick(Qt.Key_Right)
            verify(tree.isExpanded(root))
            keyClick(Qt.Key_Down)
            keyClick(Qt.Key_Down)
            compare(tree.focusedFileIdx, itemNamed("clip.mp4").fileIdx)
            keyClick(Qt.Key_Delete) // asks, as the button does
            verify(page.deleteConfirm.visible)
            compare(page.deleteConfirm.itemName, "clip.mp4")
            page.deleteConfirm.reject()
            compare(model.rowCount(model.index(0, 0)), 3)
            keyClick(Qt.Key_Down)
            keyClick(Qt.Key_Delete)
            compare(page.deleteConfirm.itemName, "Zebra.mp4")
            page.deleteConfirm.accept()
            // what the buttons act on now is the row shown highlighted
            var current = tree.selection.currentIndex
            verify(tree.selection.isSelected(current))
            compare(tree.focusedFileIdx, itemNamed("clip.mp4").fileIdx)
        }

        function test_3_transcodeStartsAndStopsFromTheDialog() {
            var clip = itemNamed("clip.mp4")
            var dialog = page.transcodeDialog
            page.tree.focusedFileIdx = model.data(model.index(0, 0), fileInfo).fileIdx
            dialog.openFor(page.tree.focusedItem) // a folder: all its videos
            compare(dialog.focusedSource, "Every video in " + mediaFolder)
            verify(dialog.isFromFolder)
            dialog.close()
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

        // The end of the load opens the new root and leaves the rows above it where they were.
        function test_4_secondAddDuringAWalkIsReported() {
            var filter = CustomFolder.filterModel
            page.tree.collapse(filter.index(0, 0))
            CustomFolder.addFolder(mediaFolder)
            CustomFolder.addFolder(mediaFolder)
            verify(page.messageBox.visible)
            compare(page.messageBox.informText, "A Folder is being added, cannot add new folder")
            page.messageBox.close()
            ended.clear()
            ended.wait(30000)
            verify(!page.tree.isExpanded(filter.index(0, 0)))
            verify(page.tree.isExpanded(filter.index(1, 0)))
        }

        // A refresh lists again what is on disk, the row removed from the page and the
        // transcoded file too, in the order of the load.
        function test_4b_refreshListsInTheSameOrder() {
            ended.clear()
            CustomFolder.reFreshTree()
            ended.wait(30000)
            compare(shownNames(), ["sub", "clip.mp4", "photo.jpg", "VEK_clip.mkv", "Zebra.mp4"])
        }

        function test_5_clearClosesTheTab() {
            CustomFolder.clearAll()
            compare(model.rowCount(), 0)
            tryCompare(page.tab, "isExpanded", false)
        }
    }
}
