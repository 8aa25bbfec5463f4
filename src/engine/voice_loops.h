// The per-sample routines that run one loop over a module's voices on
// word-major state, and the choice of the kernel build they use.
#pragma once

#include "src/engine/engine.h"
#include "src/engine/routine_tables.h"
#include "src/engine/voice_kernels.h"

// Installs the voice-loop routines over the per-voice ones of the same types
// and marks those types word-major. Chooses the kernels the processor can run.
void InstallVoiceLoops(TRoutineTables& tables);

// The kernels in use, and the builds this processor can run (the fastest last).
const TVoiceKernels& ActiveVoiceKernels();
int32_t RunnableVoiceKernelCount();
const TVoiceKernels& RunnableVoiceKernels(int32_t i);
// Switches the kernels (tests and benchmarks comparing the builds); the
// caller holds the engine lock or runs no audio.
void SetVoiceKernels(const TVoiceKernels& kernels);
