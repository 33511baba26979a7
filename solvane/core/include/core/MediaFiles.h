// Which files of the media folder are videos or images (by extension), and
// the video capture devices of the machine.
#pragma once

#include <cstdint>
#include <optional>
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
// A media folder asked for from the show network: acceptable as above and,
// links resolved, the root itself or a folder below it. The resolved path
// (to be stored and used, so that a link re-pointed later changes nothing);
// nullopt when refused.
std::optional<std::string> WireMediaFolder(const std::string& folder, const std::string& root);

// Beside a file being uploaded: names the upload in progress. Such a file
// is left out of the media lists until its upload ends.
inline constexpr char kUploadSideSuffix[] = ".dncfg";

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
