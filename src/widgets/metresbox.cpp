#include "metresbox.h"

#include "widgets/named.h"

#include <QRegularExpression>

#include <cmath>

namespace lumetra {

QValidator::State MetresBox::validate(QString& input, int& pos) const {
    if (feet(input))
        return QValidator::Acceptable;
    const QValidator::State state = QDoubleSpinBox::validate(input, pos);
    return state == QValidator::Invalid && feetUnderWay(input) ? QValidator::Intermediate : state;
}

double MetresBox::valueFromText(const QString& text) const {
    if (const auto f = feet(text))
        return inMetres(*f);
    return QDoubleSpinBox::valueFromText(text);
}

void MetresBox::fixup(QString& input) const {
    // Shown in metres once typed in feet.
    if (const auto f = feet(input))
        input = textFromValue(inMetres(*f)) + suffix();
    else
        QDoubleSpinBox::fixup(input);
}

// To the centimetre the box shows.
double MetresBox::inMetres(double feet) const {
    const double scale = std::pow(10.0, decimals());
    return std::round(feet * 0.3048 * scale) / scale;
}

// The suffix " m" stays in the box while a length is typed before it.
QString MetresBox::withoutSuffix(QString text) const {
    if (text.endsWith(suffix()))
        text.chop(suffix().size());
    return text;
}

std::optional<double> MetresBox::feet(const QString& typed) const {
    const QString text = withoutSuffix(typed);
    static const QRegularExpression form(
        QStringLiteral("^\\s*(\\d+(?:[.,]\\d*)?)\\s*(?:ft|feet|')\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    bool ok = false;
    const double v =
        QString(m.captured(1)).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    return ok ? std::optional(v) : std::nullopt;
}

bool MetresBox::feetUnderWay(const QString& typed) const {
    static const QRegularExpression form(
        QStringLiteral("^\\s*\\d+(?:[.,]\\d*)?\\s*(?:f|fe|fee|ft|feet|')?\\s*$"));
    return form.match(withoutSuffix(typed)).hasMatch();
}

QDoubleSpinBox* metresBox(QWidget* parent, const char* name, const QString& accessible,
                          double minimum, double value) {
    auto* s = named(new MetresBox(parent), name, accessible);
    s->setToolTip(QObject::tr("In metres; a length typed in feet (\"16 ft\") is converted"));
    s->setRange(minimum, 1000);
    s->setDecimals(2);
    s->setSingleStep(0.1);
    s->setSuffix(QStringLiteral(" m"));
    s->setValue(value);
    return s;
}

} // namespace lumetra
