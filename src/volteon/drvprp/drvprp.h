// Gives the drivers their settings dialogs: the sound ports and delays, the
// card's input, buffer and mode, and the MIDI ports.
#pragma once

void InstallDriverDialogs();
