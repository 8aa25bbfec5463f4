// The message texts of the audio layer. "$1" is the full path of the file concerned.
#pragma once

#include "src/base/str.h"

TParamStr& AudioMemoryLow();          // "Memory is low. Cannot finish operation!"
TParamStr& AudioFormatNotSupported(); // "Format of $1 is not supported."
TParamStr& AudioNotWaveFile();        // "The file $1\nis not a waveform-audio file."
TParamStr& AudioFileCorrupt();        // "$1 is corrupt."
TParamStr& AudioNoData();             // "File $1 contains no data."
TParamStr& AudioChannelsNotSupported();
TParamStr& AudioRateDiffers();
TParamStr& AudioBitsNotSupported();
TParamStr& AudioNoRate();             // "The sample rate of $1 is 0.\nThe file cannot be played."
TParamStr& AudioNoSpace();            // "Not enough space to write file\n$1."
TParamStr& AudioCannotOpen();
TParamStr& AudioVersionTooNew();
TParamStr& AudioMapFull();
TParamStr& AudioNoEditor();
TParamStr& AudioBatchQuestion();
TParamStr& AudioSaveAnalysedQuestion();

// Sets $1 of the message and raises it.
[[noreturn]] void ThrowAudioError(TParamStr& message, const TStr& path);
// Raises "Memory is low. Cannot finish operation!".
[[noreturn]] void ThrowAudioMemoryLow();
