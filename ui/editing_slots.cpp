// Cut and Merge: the editing jobs and their progress dialog.
#include "ui/drui.h"

void DRUI::btnSlotLayout3Cut() {
    // Asks for an output directory and cuts the chosen range on a worker thread.
}

void DRUI::btnSlotLayout4Merge() {
    // Merges the recordings of the merge list on a worker thread.
}

void DRUI::CutVedio(WCHAR*, int&) {
    // Runs the cutter for the output directory given, reporting its status.
}
