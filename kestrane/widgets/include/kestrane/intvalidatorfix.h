// An integer validator that repairs any unacceptable text to its lower
// bound when the edit is finished (Return or loss of focus).
#pragma once

#include <QIntValidator>

class IntValidatorFix : public QIntValidator {
public:
    IntValidatorFix(int bottom, int top, QObject* parent = nullptr);
    void fixup(QString& input) const override;
};
