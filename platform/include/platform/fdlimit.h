// The process's limit on open descriptors. Servers that keep a descriptor
// per client raise it to the hard limit at start, so that many idle peers do
// not use up the default.
#pragma once

#include <cstddef>

namespace platform {

// Raises the soft limit to the hard limit (once per process; later calls
// only read it). Returns the soft limit now in force.
size_t RaiseDescriptorLimit();
// The soft limit now in force.
size_t DescriptorLimit();

}  // namespace platform
