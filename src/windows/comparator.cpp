#include "comparator.h"

#include "link/meterexchanges.h"
#include "link/meterlink.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

namespace lumetra {
Comparator::Comparator(MeterLink& link, PollTimer& poll, const QWidget* anchor) : m_link(link) {
    busy().setMeter(&link, &poll);
    setObjectName(QStringLiteral("Comparator"));
    setWindowTitle(QStringLiteral("Comparator"));
    setAttribute(Qt::WA_DeleteOnClose);
    TxtUnit = new QComboBox(this);
    TxtUnit->setObjectName(QStringLiteral("TxtUnit"));
    TxtUnit->setAccessibleName(QStringLiteral("Unit"));
    TxtUnit->setEditable(true);
    TxtUnit->addItems({QStringLiteral("Lx"), QStringLiteral("Fc")});
    TxtUnit->setCurrentText(QString());
    CmdUpdate = new QPushButton(QStringLiteral("Update"), this);
    CmdUpdate->setObjectName(QStringLiteral("CmdUpdate"));
    CmdUpdate->setAccessibleName(CmdUpdate->text());
    m_highGroup = new QButtonGroup(this);
    m_lowGroup = new QButtonGroup(this);

    auto* top = new QGridLayout(this);
    top->addWidget(TxtUnit, 0, 0);
    top->addWidget(CmdUpdate, 0, 1);
    for (int row = 0; row < 2; ++row) {
        const bool high = row == 0;
        auto* frame = new QGroupBox(high ? QStringLiteral("HIGH") : QStringLiteral("LOW"), this);
        frame->setObjectName(high ? QStringLiteral("SSFrame1") : QStringLiteral("SSFrame2"));
        (high ? SSFrame1 : SSFrame2) = frame;
        auto* grid = new QGridLayout(frame);
        grid->setHorizontalSpacing(2);
        for (int k = 1; k <= 6; ++k) {
            auto* digit = new QComboBox(frame);
            const QString name = (high ? QStringLiteral("HighO") : QStringLiteral("LowO")) +
                                 QStringLiteral("(%1)").arg(k);
            digit->setObjectName(name);
            digit->setAccessibleName(
                tr("%1 limit, digit %2").arg(high ? tr("High") : tr("Low")).arg(k));
            digit->setEditable(true);
            // One digit per box: anything else would shift the others' places.
            digit->lineEdit()->setMaxLength(1);
            digit->setValidator(new QRegularExpressionValidator(
                QRegularExpression(QStringLiteral("[0-9]?")), digit));
            for (int v = 0; v <= 9; ++v)
                digit->addItem(QString::number(v));
            digit->setCurrentText(QStringLiteral("0"));
            digit->setEnabled(k <= 4); // digits 5 and 6 only show trailing zeros
            auto* option = new QRadioButton(frame);
            const QString optionName = (high ? QStringLiteral("HODec") : QStringLiteral("LODec")) +
                                       QStringLiteral("(%1)").arg(k);
            option->setObjectName(optionName);
            option->setAccessibleName(tr("%1 limit, decimal point after digit %2")
                                          .arg(high ? tr("High") : tr("Low"))
                                          .arg(k));
            option->setToolTip(tr("Decimal point after digit %1").arg(k));
            (high ? m_highGroup : m_lowGroup)->addButton(option, k);
            (high ? HighO : LowO)[size_t(k)] = digit;
            (high ? HODec : LODec)[size_t(k)] = option;
            grid->addWidget(digit, 0, 2 * k - 2);
            grid->addWidget(option, 0, 2 * k - 1, Qt::AlignBottom);
            connect(option, &QRadioButton::clicked, this,
                    [this, k, high] { decimalClicked(k, high); });
            connect(digit, &QComboBox::currentTextChanged, this, &Comparator::showLimits);
            connect(option, &QRadioButton::toggled, this, &Comparator::showLimits);
        }
        top->addWidget(frame, 1 + row, 0, 1, 2);
    }
    // The limits as numbers with their unit: what Update will set.
    LblLimits = new QLabel(this);
    LblLimits->setObjectName(QStringLiteral("LblLimits"));
    LblLimits->setAccessibleDescription(tr("The limits Update sets"));
    top->addWidget(LblLimits, 3, 0, 1, 2);
    connect(TxtUnit, &QComboBox::currentTextChanged, this, &Comparator::showLimits);
    HODec[6]->setChecked(true);
    LODec[6]->setChecked(true);
    connect(TxtUnit, &QComboBox::textActivated, this, &Comparator::unitChosen);
    connect(CmdUpdate, &QPushButton::clicked, this, &Comparator::update);
    if (anchor) {
        const QRect main = anchor->frameGeometry();
        move(main.left() + main.width(), main.top());
    }
}

QString Comparator::limitText(const std::array<QComboBox*, 7>& digits, int position) const {
    QString text;
    for (int k = 1; k <= 6; ++k) {
        const QString digit = digits[size_t(k)]->currentText();
        // An emptied box is a 0 in its place; an empty last box (foot-candles) is no digit.
        text += digit.isEmpty() && k < 6 ? QStringLiteral("0") : digit;
        if (k == position && k < 6)
            text += QLatin1Char('.');
    }
    // Leading zeros, and zeros after the point at the end, are no part of the number.
    while (text.size() > 1 && text.startsWith(QLatin1Char('0')) && text[1] != QLatin1Char('.'))
        text.remove(0, 1);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    return text;
}

void Comparator::showLimits() {
    if (!LblLimits)
        return;
    const QString unit =
        TxtUnit->currentText() == QLatin1String("Lx") ? QStringLiteral("lx") : QStringLiteral("fc");
    // The point where Update puts it: positions the unit has no code for are its last.
    const bool lux = TxtUnit->currentText() == QLatin1String("Lx");
    const auto sent = [lux](int k) {
        return lux ? (k >= 2 && k <= 5 ? k : 6) : (k >= 1 && k <= 4 ? k : 5);
    };
    LblLimits->setText(tr("High limit %1 %3, low limit %2 %3")
                           .arg(limitText(HighO, sent(m_highGroup->checkedId())),
                                limitText(LowO, sent(m_lowGroup->checkedId())), unit));
    LblLimits->setAccessibleName(LblLimits->text());
}

int Comparator::position() const {
    const int id = m_highGroup->checkedId();
    return id > 0 ? id : 0;
}

void Comparator::setOption(int k, bool on) {
    for (QButtonGroup* group : {m_highGroup, m_lowGroup}) {
        QAbstractButton* option = group->button(k);
        if (on) {
            option->setChecked(true);
        } else if (option->isChecked()) {
            group->setExclusive(false); // an option group can be left with none selected
            option->setChecked(false);
            group->setExclusive(true);
        }
    }
    if (on)
        decimalClicked(k, true);
}

void Comparator::decimalClicked(int k, bool high) {
    // Both limits share one decimal position.
    QButtonGroup* from = high ? m_highGroup : m_lowGroup;
    QButtonGroup* to = high ? m_lowGroup : m_highGroup;
    to->setExclusive(false);
    for (int i = 1; i <= 6; ++i)
        to->button(i)->setChecked(from->button(i)->isChecked());
    to->setExclusive(true);
    for (auto* digits : {&HighO, &LowO}) {
        (*digits)[5]->setCurrentText(k >= 5 ? QStringLiteral("0") : QString());
        (*digits)[6]->setCurrentText(k == 6 ? QStringLiteral("0") : QString());
        (*digits)[5]->setEnabled(false);
        (*digits)[6]->setEnabled(false);
    }
}

void Comparator::unitChosen(const QString& unit) {
    const bool lux = unit == QLatin1String("Lx");
    for (auto* options : {&HODec, &LODec}) {
        (*options)[1]->setEnabled(!lux);
        if (lux && (*options)[1]->isChecked()) {
            // No point after the first digit in lux: the option goes, as option 6 does in fc.
            QButtonGroup* group = options == &HODec ? m_highGroup : m_lowGroup;
            group->setExclusive(false);
            (*options)[1]->setChecked(false);
            group->setExclusive(true);
        }
        if (!lux && (*options)[6]->isChecked()) {
            QButtonGroup* group = options == &HODec ? m_highGroup : m_lowGroup;
            group->setExclusive(false);
            (*options)[6]->setChecked(false);
            group->setExclusive(true);
        }
        (*options)[6]->setEnabled(lux);
    }
    if (!lux) {
        HighO[6]->setCurrentText(QString());
        LowO[6]->setCurrentText(QString());
    }
}

void Comparator::fill(const comparator::Setting& s) {
    for (int i = 1; i <= 4; ++i) {
        HighO[size_t(i)]->setCurrentText(s.high.mid(i - 1, 1));
        LowO[size_t(i)]->setCurrentText(s.low.mid(i - 1, 1));
    }
    if (s.lux) {
        TxtUnit->setCurrentText(QStringLiteral("Lx"));
        for (int i = 1; i <= 5; ++i)
            setOption(i + 1, s.decimalFlags[size_t(i - 1)]);
        setOption(1, false);
        HODec[1]->setEnabled(false);
        LODec[1]->setEnabled(false);
    } else {
        TxtUnit->setCurrentText(QStringLiteral("Fc"));
        HODec[1]->setEnabled(true);
        LODec[1]->setEnabled(true);
        for (int i = 1; i <= 5; ++i)
            setOption(i, s.decimalFlags[size_t(i - 1)]);
        for (auto* digits : {&HighO, &LowO}) {
            (*digits)[6]->setCurrentText(QString());
            (*digits)[6]->setEnabled(false);
        }
        HODec[6]->setEnabled(false);
        LODec[6]->setEnabled(false);
    }
}

void Comparator::update() {
    const auto hold = busy().tryHold();
    if (!hold)
        return;
    QString high, low;
    // An emptied box stands for 0, so the other digits keep their places.
    const auto digit = [](const QComboBox* box) {
        const QString t = box->currentText();
        return t.isEmpty() ? QStringLiteral("0") : t.left(1);
    };
    for (int i = 1; i <= 4; ++i) {
        high += digit(HighO[size_t(i)]);
        low += digit(LowO[size_t(i)]);
    }
    const QByteArray payload = comparator::block(TxtUnit->currentText(), position(), high, low);
    exchange::setComparator(m_link, payload);
}

} // namespace lumetra
