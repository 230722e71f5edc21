#pragma once

#include <QDialog>

#include <optional>

class QLineEdit;
class QPushButton;

namespace lumetra {

class Panel;

// "Calibration": reads the meter's calibration factor, writes a new one (0.800 to 1.500),
// or returns it to the meter's initial value.
class Calibrationfrm : public QDialog {
    Q_OBJECT
public:
    explicit Calibrationfrm(Panel& panel, QWidget* parent = nullptr);

    QLineEdit* TxtCalValue = nullptr;
    QPushButton* BtnSet = nullptr;
    QPushButton* BtnInitial = nullptr;

    // The window's load: discard what is waiting, read the factor and show it.
    void load();
    void set();
    void initial();

    static QString rangeMessage() {
        return QStringLiteral("Calibration Range: 0.800 ~ 1.500 !!!!");
    }
    // The factor from a reply 02 hi lo 03, as "0.000" text; nothing for a bad reply.
    static std::optional<QString> factorText(const QByteArray& reply);

protected:
    void reject() override;

private:
    bool readFactor();
    void setBusy(bool busy);

    Panel& m_panel;
    bool m_busy = false;
};

} // namespace lumetra
