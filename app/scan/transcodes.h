#pragma once

#include <QStringList>

class UI_Proc_SignalCustomFolder_Desktop;

// Queues a transcode of tree items for each request "PATH:TYPE:WxH" (TYPE HAP, HAPQ, HAPALPHA
// or H264; WxH 0x0 keeps the source size; a folder's PATH asks for every video below it), prints each item's progress as it changes, and waits until the
// outputs are in the tree and probed. False when a request names no item or a job failed.
bool runTranscodes(UI_Proc_SignalCustomFolder_Desktop &facade, const QStringList &requests);

// Runs the event loop until the folder model has nothing left to do, or for timeoutMs at most.
void waitUntilIdle(UI_Proc_SignalCustomFolder_Desktop &facade, int timeoutMs = -1);
