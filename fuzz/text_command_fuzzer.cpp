// Text commands as the user port and the central-control serial port
// deliver them: the input is cut at 0xFF bytes into up to 16 chunks, each
// answered by the interpreter on one core on fakes. The first byte picks
// the port.
#include <string>

#include "CoreOnFakes.h"
#include "core/CommandEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::CoreOnFakes s;
    fuzzsupport::Reader in(data, size);
    const bool serial = in.Byte() & 1;
    for (int k = 0; k < 16 && in.left(); ++k) {
        const std::string line(in.Until(0xFF));
        (void)AnswerUserCommand(*s.core, line, serial);
        s.KeepMediaFolderInside();
    }
    return 0;
}
