// Which files of the media folder are videos or images (by extension), and
// the video capture devices of the machine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The video and image lists of the media folder stop after this many paths
// plus the one that crossed the limit.
inline constexpr size_t kMediaFileListLimit = 1000;

// Whether a folder may serve as the media folder, where uploads from the
// show network write: an absolute path to an existing folder outside the
// system's own trees ("/", "/etc", "/usr", "/var" but "/var/tmp", ...),
// judged after links are resolved.
bool AcceptableMediaFolder(const std::string& folder);

// By the core's MediaVideoExtension setting, respectively the fixed image
// patterns "*.jpg|*.bmp|*.png"; the extension (the text after the last '.',
// the whole text when there is none) is compared ignoring case.
bool IsVideoFile(const std::string& path);
bool IsImageFile(const std::string& path);
// The same test against the given pattern text: pieces split at '|' and ';',
// each losing everything up to its first '.' ("*.avi" -> "avi").
bool IsVideoFile(const std::string& path, const std::string& patterns);
bool IsImageFile(const std::string& path, const std::string& patterns);

// Names of the video capture devices in device order (UTF-8); 0, or the
// system's error code when the devices cannot be listed.
int32_t EnumCaptureDevices(std::vector<std::string>& list);
