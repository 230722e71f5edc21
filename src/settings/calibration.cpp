#include "calibration.h"

#include "link/meterlink.h"
#include "link/numbers.h"
#include "link/wait.h"
#include "panel/panel.h"
#include "panel/polltimer.h"
#include "platform/dialogs.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScopeGuard>

namespace lumetra {

Calibrationfrm::Calibrationfrm(Panel& panel, QWidget* parent) : QDialog(parent), m_panel(panel) {
    setObjectName(QStringLiteral("Calibrationfrm"));
    setWindowTitle(QStringLiteral("Calibration"));
    setModal(true);
    TxtCalValue = new QLineEdit(QStringLiteral("0.0"), this);
    TxtCalValue->setObjectName(QStringLiteral("TxtCalValue"));
    TxtCalValue->setAccessibleName(QStringLiteral("Calibration factor"));
    // Only digits and the point; Enter acts as "Set".
    TxtCalValue->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9.]*")), this));
    BtnSet = new QPushButton(QStringLiteral("Set"), this);
    BtnSet->setObjectName(QStringLiteral("BtnSet"));
    BtnSet->setDefault(true);
    BtnInitial = new QPushButton(QStringLiteral("Initial"), this);
    BtnInitial->setObjectName(QStringLiteral("BtnInitial"));
    BtnInitial->setAutoDefault(false);
    for (QPushButton* b : {BtnSet, BtnInitial})
        b->setAccessibleName(b->text());
    auto* grid = new QGridLayout(this);
    grid->addWidget(TxtCalValue, 0, 0, 1, 2);
    grid->addWidget(BtnSet, 1, 0);
    grid->addWidget(BtnInitial, 1, 1);
    connect(BtnSet, &QPushButton::clicked, this, &Calibrationfrm::set);
    connect(BtnInitial, &QPushButton::clicked, this, &Calibrationfrm::initial);
    connect(TxtCalValue, &QLineEdit::returnPressed, this, &Calibrationfrm::set);
    adjustSize();
    const QRect main = panel.frameGeometry();
    move(main.left() + (main.width() - width()) / 2, main.top() + (main.height() - height()) / 2);
}

std::optional<QString> Calibrationfrm::factorText(const QByteArray& reply) {
    if (reply.size() < 4 || quint8(reply[0]) != 0x02 || quint8(reply[3]) != 0x03)
        return std::nullopt;
    const int thousandths = quint8(reply[1]) * 256 + quint8(reply[2]);
    return QString::number(thousandths / 1000.0, 'f', 3);
}

void Calibrationfrm::setBusy(bool busy) {
    m_busy = busy;
    BtnSet->setEnabled(!busy);
    BtnInitial->setEnabled(!busy);
}

void Calibrationfrm::reject() {
    if (!m_busy)
        QDialog::reject(); // closing by the frame sends nothing
}

bool Calibrationfrm::readFactor() {
    MeterLink& link = m_panel.link();
    if (!link.handshake())
        return false;
    pauseSeconds(0.1);
    link.writeLetter('h');
    int counter = 0;
    for (;;) {
        if (++counter == 2) {
            // Two reads without a valid reply: ask again.
            counter = 0;
            link.flush();
            if (!link.handshake())
                return false;
            pauseSeconds(0.1);
            link.writeLetter('h');
        }
        pauseSeconds(0.1);
        if (quitRequested())
            return false;
        if (const auto text = factorText(link.readAll())) {
            TxtCalValue->setText(*text);
            return true;
        }
    }
}

void Calibrationfrm::load() {
    setBusy(true);
    QPointer<Calibrationfrm> self(this);
    m_panel.link().flush();
    readFactor();
    if (self)
        setBusy(false);
}

void Calibrationfrm::initial() {
    if (m_busy)
        return;
    setBusy(true);
    QPointer<Calibrationfrm> self(this);
    {
        auto hold = m_panel.poll().hold();
        MeterLink& link = m_panel.link();
        if (link.handshake()) {
            link.writeLetter('j');
            link.flush();
            readFactor();
        }
    }
    if (self)
        setBusy(false);
}

void Calibrationfrm::set() {
    if (m_busy)
        return;
    const double factor = leadingNumber(TxtCalValue->text());
    if (factor < 0.8 || factor > 1.5) {
        m_panel.dialogs().message(this, rangeMessage(), MessageIcon::Error);
        return;
    }
    setBusy(true);
    QPointer<Calibrationfrm> self(this);
    {
        auto hold = m_panel.poll().hold();
        const int n = int(roundHalfEven(factor * 1000.0));
        if (!m_panel.link().sendCommand('i', bytes({quint8(n / 256), quint8(n % 256)})))
            return;
    }
    if (self) {
        setBusy(false);
        accept();
    }
}

} // namespace lumetra
