// The consumer's own platform/Types.h.
#error "the consumer's own platform/Types.h was included by a library header"
