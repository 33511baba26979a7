// Marks what the media library exports, whatever visibility the build uses.
#pragma once

#define VELMAR_API __attribute__((visibility("default")))
