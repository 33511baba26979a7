#include "kestrane/pictures.h"

#include <QtGlobal>

// The resources live in a static library: nothing would pull them into the
// program unless their registration is called by name.
static void registerPictures() { Q_INIT_RESOURCE(kestrane_pictures); }

void kestrane::initPictures() {
    static const bool done = (registerPictures(), true);
    (void)done;
}
