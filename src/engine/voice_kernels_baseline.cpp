// The voice-loop kernels for the baseline instruction set.
#define QV_KERNEL_SET VoiceKernelsBaseline
#define QV_KERNEL_NAME "baseline"
#include "src/engine/voice_kernels.inc"
