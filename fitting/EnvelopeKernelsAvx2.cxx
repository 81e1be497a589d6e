// The envelope loops for processors with AVX2 and FMA (compiled with -mavx2 -mfma; called only
// after the processor has been asked).
#include "EnvelopeKernels.h"

#define ENVELOPE_KERNELS_NAMESPACE envelope_avx2
#include "EnvelopeKernels.inc"
