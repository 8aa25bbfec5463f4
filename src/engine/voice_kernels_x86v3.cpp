// The voice-loop kernels for x86-64-v3 (AVX2, FMA), built with that
// instruction set; the engine uses them only on a processor that has it.
// Contraction stays off: a fused multiply-add would round differently.
#define QV_KERNEL_SET VoiceKernelsX86V3
#define QV_KERNEL_NAME "x86-64-v3"
#include "src/engine/voice_kernels.inc"
