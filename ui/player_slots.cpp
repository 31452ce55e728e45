// The preview player's controls on the cut page.
#include "ui/drui.h"

void DRUI::mplayerDataRecieve() {
    // Reads the player's answers and moves the slider and time display.
}

void DRUI::current(int) {
    // Seeks the player to the slider's position.
}

void DRUI::btnLayout3Play() {
    // Starts the player on the chosen recording, or pauses and resumes it.
}

void DRUI::btnSetHead() {
    // Takes the playback position as the start of the range to keep.
}

void DRUI::btnSetTail() {
    // Takes the playback position as the end of the range to keep.
}
