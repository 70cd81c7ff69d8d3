#pragma once
// The loops that visit every sample of a long spectrum (decoding, block
// maxima, levelling, the level summary) are compiled for the wider vector
// units of x86-64 as well as for the baseline, and the program takes the
// widest the processor has when it starts. Every path gives the same
// values: the loops use only operations that IEEE arithmetic rounds the
// same in any vector width (conversion, one multiplication, one division,
// comparisons), and their files are built without contraction into fused
// multiply-adds.
//
// ThreadSanitizer builds take the baseline alone: GCC instruments the
// resolver that picks a clone, and the dynamic loader runs that resolver
// while it relocates the program, before the sanitizer's runtime has
// started, so the program would crash before main. AddressSanitizer leaves
// the resolver alone and keeps the clones.

#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__) && !defined(__clang__) && \
    !defined(__SANITIZE_THREAD__) && !defined(QUILLON_NO_VECTOR_CLONES)
#define QUILLON_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define QUILLON_VECTOR_CLONES
#endif
