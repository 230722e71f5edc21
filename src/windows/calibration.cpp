#include "calibration.h"

#include "link/meterexchanges.h"
#include "link/meterlink.h"
#include "link/wait.h"
#include "model/numbers.h"
#include "model/settingblocks.h"
#include "widgets/dialogs.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace lumetra {

Calibrationfrm::Calibrationfrm(MeterLink& link, PollTimer& poll, Dialogs& dialogs, QWidget* parent)
    : BusyDialog(parent), m_link(link), m_dialogs(dialogs) {
    busy().setMeter(&link, &poll);
    setObjectName(QStringLiteral("Calibrationfrm"));
    setWindowTitle(QStringLiteral("Calibration"));
    setModal(true);
    TxtCalValue = new QLineEdit(QStringLiteral("0.0"), this);
    TxtCalValue->setObjectName(QStringLiteral("TxtCalValue"));
    TxtCalValue->setAccessibleName(QStringLiteral("Calibration factor"));
    TxtCalValue->setToolTip(tr("The calibration factor, 0.800 to 1.500: the meter multiplies "
                               "its readings by it (1.000 leaves them as measured). Escape "
                               "closes the window without setting it."));
    TxtCalValue->setAccessibleDescription(TxtCalValue->toolTip());
    // Only digits and the point; Enter clicks "Set", the default button.
    TxtCalValue->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9.]*")), this));
    BtnSet = new QPushButton(QStringLiteral("Set"), this);
    BtnSet->setObjectName(QStringLiteral("BtnSet"));
    BtnSet->setDefault(true);
    BtnInitial = new QPushButton(QStringLiteral("Initial"), this);
    BtnInitial->setObjectName(QStringLiteral("BtnInitial"));
    BtnInitial->setAutoDefault(false);
    // Leaving without a change, as Escape does.
    BtnCancel = new QPushButton(tr("Cancel"), this);
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
    BtnCancel->setAutoDefault(false);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    for (QPushButton* b : {BtnSet, BtnInitial, BtnCancel})
        b->setAccessibleName(b->text());
    auto* grid = new QGridLayout(this);
    grid->addWidget(TxtCalValue, 0, 0, 1, 3);
    grid->addWidget(BtnSet, 1, 0);
    grid->addWidget(BtnInitial, 1, 1);
    grid->addWidget(BtnCancel, 1, 2);
    connect(BtnSet, &QPushButton::clicked, this, &Calibrationfrm::set);
    connect(BtnInitial, &QPushButton::clicked, this, &Calibrationfrm::initial);
    adjustSize();
    const QRect main = parent ? parent->frameGeometry() : frameGeometry();
    move(main.left() + (main.width() - width()) / 2, main.top() + (main.height() - height()) / 2);
}

void Calibrationfrm::setButtonsEnabled(bool enabled) {
    BtnSet->setEnabled(enabled);
    BtnInitial->setEnabled(enabled);
}

bool Calibrationfrm::readFactor() {
    const auto text = exchange::readCalibrationFactor(m_link);
    if (text)
        TxtCalValue->setText(*text);
    return text.has_value();
}

void Calibrationfrm::load() {
    const auto hold = busy().tryHold();
    if (!hold)
        return;
    setButtonsEnabled(false);
    m_link.flush();
    readFactor();
    setButtonsEnabled(true);
}

void Calibrationfrm::initial() {
    const auto hold = busy().tryHold();
    if (!hold)
        return;
    setButtonsEnabled(false);
    if (exchange::restoreCalibration(m_link)) {
        m_link.flush();
        readFactor();
    }
    setButtonsEnabled(true);
}

void Calibrationfrm::set() {
    if (busy().held())
        return;
    const double factor = leadingNumber(TxtCalValue->text());
    if (factor < 0.8 || factor > 1.5) {
        m_dialogs.message(this, rangeMessage(), MessageIcon::Error);
        return;
    }
    bool sent = false;
    {
        const auto hold = busy().tryHold();
        if (!hold)
            return;
        setButtonsEnabled(false);
        sent = exchange::setCalibrationFactor(m_link, factor);
        setButtonsEnabled(true);
    }
    if (sent)
        accept();
}

} // namespace lumetra
