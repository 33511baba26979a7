// mediacfg.ini as the server reads it at start-up: the configuration, the
// global trim, the channel setting's file name and the serial device map,
// into a core on fakes. Values out of range must be clamped, not converted
// with undefined behaviour.
#include <string_view>

#include "CoreOnFakes.h"
#include "core/SystemUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::CoreOnFakes s;
    fuzzsupport::WriteFile(s.core->m_strConfigPath, data, size);
    s.core->LoadConfig();
    s.KeepMediaFolderInside();
    s.core->LoadGlobalTrim();
    (void)s.core->LoadChannelSetting();
    (void)s.core->ScreenPowerOption();
    // 255 lookups of the whole file: only for inputs that can hold a COM key.
    if (std::string_view(reinterpret_cast<const char*>(data), size).find("COM") != std::string_view::npos)
        LoadSerialDeviceMap(s.core->m_strConfigPath);
    // What was read is written back whole.
    s.core->SaveSettings();
    s.core->SaveSyncConfig();
    s.core->SaveGlobalTrim();
    s.core->LoadConfig();
    return 0;
}
