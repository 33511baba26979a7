// The console's records in their blob form, as the project file carries
// them: device, effect key, media (with its effect keys), output command,
// layer output and play control. The first byte picks the record. A blob
// that reads writes again and reads back to the same blob.
#include <QByteArray>

#include "QtApp.h"
#include "kestrane/common.h"

namespace {

template <class Record>
void RoundTrip(const QByteArray& blob) {
    Record r;
    if (!r.fromBlob(blob)) return;
    const QByteArray again = r.toBlob();
    Record s;
    if (!s.fromBlob(again)) __builtin_trap();
    if (s.toBlob() != again) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::QtApp();
    if (size == 0) return 0;
    const QByteArray blob(reinterpret_cast<const char*>(data) + 1, static_cast<int>(size - 1));
    switch (data[0] % 6) {
    case 0: RoundTrip<DeviceRecord>(blob); break;
    case 1: RoundTrip<EffectKey>(blob); break;
    case 2: RoundTrip<MediaSource>(blob); break;
    case 3: RoundTrip<OutControlRecord>(blob); break;
    case 4: RoundTrip<LayerIORecord>(blob); break;
    case 5: RoundTrip<PlayControlRecord>(blob); break;
    }
    return 0;
}
