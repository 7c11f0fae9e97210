// The consumer's own ui/HostWidgets.h.
#error "the consumer's own ui/HostWidgets.h was included by a library header"
