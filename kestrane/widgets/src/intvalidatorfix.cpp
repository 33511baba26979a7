#include "kestrane/intvalidatorfix.h"

IntValidatorFix::IntValidatorFix(int bottom, int top, QObject* parent) : QIntValidator(bottom, top, parent) {}

void IntValidatorFix::fixup(QString& input) const { input = QStringLiteral("%1").arg(bottom()); }
