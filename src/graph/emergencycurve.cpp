#include "emergencycurve.h"

#include "graph/emergencyreport.h"

#include <QPainter>

namespace lumetra {

EmergencyCurve::EmergencyCurve(QWidget* parent) : QWidget(parent) {
    setMinimumSize(320, 160);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Light since the mains failure"));
}

void EmergencyCurve::setTest(const emergency::Input& input, const emergency::Assessment& a) {
    m_input = input;
    m_assessment = a;
    update();
}

void EmergencyCurve::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    p.setPen(palette().text().color());
    emergencyreport::paintCurve(p, QRectF(rect()).adjusted(4, 4, -4, -4), m_input, m_assessment);
    if (hasFocus()) {
        p.setPen(QPen(palette().highlight().color(), 2));
        p.drawRect(rect().adjusted(1, 1, -2, -2));
    }
}

} // namespace lumetra
