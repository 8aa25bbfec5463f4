#include "src/audio/audiomsg.h"

#define QV_AUDIO_MESSAGE(name, text)                                                               \
  TParamStr& name() {                                                                              \
    static TParamStr message{TStr(text)};                                                          \
    return message;                                                                                \
  }

QV_AUDIO_MESSAGE(AudioMemoryLow, "Memory is low. Cannot finish operation!")
QV_AUDIO_MESSAGE(AudioFormatNotSupported, "Format of $1 is not supported.")
QV_AUDIO_MESSAGE(AudioNotWaveFile, "The file $1\nis not a waveform-audio file.")
QV_AUDIO_MESSAGE(AudioFileCorrupt, "$1 is corrupt.")
QV_AUDIO_MESSAGE(AudioNoData, "File $1 contains no data.")
QV_AUDIO_MESSAGE(AudioChannelsNotSupported,
                 "Format of $1 is not supported.\nOnly 1-channel or 2-channel files can be read.")
QV_AUDIO_MESSAGE(AudioRateDiffers,
                 "The sample rate in $1\nis different from the program's current rate and will be ignored.\n"
                 "The file will be played at the program's rate instead.")
QV_AUDIO_MESSAGE(AudioBitsNotSupported, "Unable to read file $1.\nOnly 8-bit or 16-bit files can be read.")
QV_AUDIO_MESSAGE(AudioNoRate, "The sample rate of $1 is 0.\nThe file cannot be played.")
QV_AUDIO_MESSAGE(AudioNoSpace, "Not enough space to write file\n$1.")
QV_AUDIO_MESSAGE(AudioCannotOpen, "Cannot open $1\n")
QV_AUDIO_MESSAGE(AudioVersionTooNew, "File Version is more recent than Program Version.\nSorry - can't read Data")
QV_AUDIO_MESSAGE(AudioMapFull, "Sorry - map cannot hold more than 128 samples")
QV_AUDIO_MESSAGE(AudioNoEditor, "Is there a sample-editing-application installed?")
QV_AUDIO_MESSAGE(
    AudioBatchQuestion,
    "VOLTEON's advanced re-synthesis methods require all samples to be analysed.\n"
    "Analysis usually occurs when samples are imported from soundfiles. VOLTEON\n"
    "analysis is a computation-intensive task and may be time-consuming. To avoid waiting\n"
    "times during the work process, you may want to analyse entire sound-libraries in\n"
    "one go, maybe while you have dinner, or are sleeping, or....\n"
    "\n"
    "If you choose to proceed, you will be asked to select a soundfile with which to start \n"
    "the batch process. VOLTEON will analyse that soundfile and all soundfiles in \n"
    "the same directory, and in any subordinate directories. Keep in mind that the analysis \n"
    "data can only be saved with the soundfiles if your medium is not write-protected.\n"
    "\n"
    "WARNING. Batch analysis will overwrite every soundfile that it finds. Any information\n"
    "contained within the file that cannot be used by VOLTEON will be discarded.\n"
    "Other programs may rely on this information. Therefore, do not proceed unless you have\n"
    "backups of your sounds or you have made sure that no conflicts arise.\n"
    "\n"
    "Would you like to proceed now?")
QV_AUDIO_MESSAGE(AudioSaveAnalysedQuestion,
                 "Your sound has been analysed. Analysis data can be saved now by overwriting the soundfile "
                 "to avoid waiting times when re-loading the file.\n\n"
                 "WARNING: Header data written by other programs may be discarded when saving soundfiles. "
                 "Make sure you have backups of important soundfiles before saving them.\n\n"
                 "Would you like to save the analysed file?")

void ThrowAudioError(TParamStr& message, const TStr& path) {
  message.SetParam(1, path);
  ThrowError(&message);
}

void ThrowAudioMemoryLow() { ThrowError(&AudioMemoryLow()); }
