// The consumer's own platform/String.h.
#error "the consumer's own platform/String.h was included by a library header"
