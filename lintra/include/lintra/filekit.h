// File identity for resumable uploads and whole-file MD5.
#pragma once

#include <string>

namespace LINTRA_FILEKIT {

// The sampled identity both ends of an upload compute: MD5 over the 1,024
// bytes at half the file's size followed by its last 1,024 bytes; a file under
// 2,048 bytes is fed whole, twice. 32 upper-case hex digits.
// False when the file does not open or a sample comes back short.
bool GetMD5FromFile(const char* path, std::string& identity);

// MD5 of the whole content, 32 upper-case hex digits; empty when the file
// does not open or a read fails.
std::string GetFileMd5(const char* path);
inline std::string GetFileMd5(const std::string& path) { return GetFileMd5(path.c_str()); }

}  // namespace LINTRA_FILEKIT
