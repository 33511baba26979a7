// The ini layer on a hostile file: the input is cut at 0xFF into a section
// name, a key, a value and the file's bytes. The key is read, then written,
// then read again: a write that reports success must read back as written
// (values without surrounding blanks, which reads trim), and a key of
// another section read before the write must read the same after it.
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "platform/ini.h"

namespace {

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

bool Iequal(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::Reader in(data, size);
    const std::string section(in.Until(0xFF));
    const std::string key(in.Until(0xFF));
    const std::string value(in.Until(0xFF));
    const std::string path = fuzzsupport::ScratchDir() + "/fuzz.ini";
    fuzzsupport::WriteFile(path, in.data(), in.left());
    // Names with NUL cannot be passed as C strings whole.
    if (section.find('\0') != std::string::npos || key.find('\0') != std::string::npos ||
        value.find('\0') != std::string::npos)
        return 0;

    char small[8];
    platform::GetPrivateProfileString(section.c_str(), key.c_str(), "d", small, sizeof small, path.c_str());
    if (strnlen(small, sizeof small) == sizeof small) __builtin_trap();  // not terminated
    (void)platform::GetPrivateProfileInt(section.c_str(), key.c_str(), -1, path.c_str());
    const char* const otherSection = Iequal(section, "Setting") ? "SyncMedia" : "Setting";
    const std::string otherBefore = platform::GetPrivateProfileString(otherSection, "MediaFolder", "<none>", path);

    if (!platform::WritePrivateProfileString(section.c_str(), key.c_str(), value.c_str(), path.c_str())) return 0;
    const bool trimmed = value.empty() || (!Blank(value.front()) && !Blank(value.back()));
    const std::string back = platform::GetPrivateProfileString(section.c_str(), key.c_str(), "<none>", path);
    if (trimmed && back != value) __builtin_trap();
    const std::string otherAfter = platform::GetPrivateProfileString(otherSection, "MediaFolder", "<none>", path);
    if (otherAfter != otherBefore && !(Iequal(key, "MediaFolder"))) __builtin_trap();

    // Removing the key and the section reports the file as written or not,
    // never crashes.
    platform::WritePrivateProfileString(section.c_str(), key.c_str(), nullptr, path.c_str());
    platform::WritePrivateProfileString(section.c_str(), nullptr, nullptr, path.c_str());
    return 0;
}
