// The envelope loops for any x86-64 (or other) processor.
#include "EnvelopeKernels.h"

#define ENVELOPE_KERNELS_NAMESPACE envelope_base
#include "EnvelopeKernels.inc"
