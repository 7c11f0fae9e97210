// The consumer's own host/Color.h.
#error "the consumer's own host/Color.h was included by a library header"
