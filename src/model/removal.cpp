#include "model/foldermodel.h"

// Clearing the page is accepted; removing folders comes with the removal work.
void FolderModel::onClearAll() { }
