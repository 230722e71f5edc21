#pragma once

#include <QDoubleSpinBox>

#include <optional>

namespace lumetra {

// Metres, or feet typed as such ("16 ft", "16'"): a room measured in feet is not converted by
// hand first.
class MetresBox : public QDoubleSpinBox {
public:
    using QDoubleSpinBox::QDoubleSpinBox;

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    double valueFromText(const QString& text) const override;
    void fixup(QString& input) const override;

private:
    double inMetres(double feet) const;
    QString withoutSuffix(QString text) const;
    std::optional<double> feet(const QString& typed) const;
    bool feetUnderWay(const QString& typed) const;
};

// A length box in metres, 2 decimals, named for code and for screen readers.
QDoubleSpinBox* metresBox(QWidget* parent, const char* name, const QString& accessible,
                          double minimum, double value);

} // namespace lumetra
