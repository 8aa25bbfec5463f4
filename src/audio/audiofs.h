// How the file level reaches sound files on disk by path.
#pragma once

#include "src/audio/audiostream.h"

#include <memory>

// Opens a file for reading (write 0) or creates/truncates it for writing
// (write 1); raises "Cannot open file $1." when it cannot.
std::unique_ptr<TAudioStream> OpenAudioStream(const TStr& path, int write);
bool AudioFileExists(const TStr& path);
// Replaces target by source (a rename in the same folder); false on failure.
bool ReplaceAudioFile(const TStr& source, const TStr& target);
void RemoveAudioFile(const TStr& path);
