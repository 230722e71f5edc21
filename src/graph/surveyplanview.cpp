#include "surveyplanview.h"

#include "graph/paper.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

namespace lumetra {

SurveyPlanView::SurveyPlanView(QWidget* parent) : QWidget(parent) {
    onPaper(this);
}

void SurveyPlanView::setSurvey(const survey::Survey& s, const surveyplan::Look& look) {
    m_survey = s;
    m_look = look;
    update();
}

QRectF SurveyPlanView::drawingArea() const {
    return QRectF(rect()).adjusted(6, 6, -6, -6);
}

QPointF SurveyPlanView::metresAt(QPointF at) const {
    const surveyplan::Layout l =
        surveyplan::layout(m_survey, drawingArea(), QFontMetricsF(font(), this));
    const QPointF m = l.toDevice.inverted().map(at);
    return {surveyplan::snapped(m.x()), surveyplan::snapped(m.y())};
}

void SurveyPlanView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    surveyplan::paint(painter, drawingArea(), m_survey, m_look);
    if (m_pressed && m_dragged) {
        const surveyplan::Layout l =
            surveyplan::layout(m_survey, drawingArea(), QFontMetricsF(font(), this));
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2, Qt::DashLine));
        painter.drawRect(l.toDevice.mapRect(QRectF(*m_pressed, *m_dragged).normalized()));
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.drawRect(rect().adjusted(1, 1, -1, -1));
    }
}

void SurveyPlanView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton)
        return;
    m_pressed = metresAt(event->position());
    m_dragged.reset();
}

void SurveyPlanView::mouseMoveEvent(QMouseEvent* event) {
    if (!m_pressed)
        return;
    const QPointF at = metresAt(event->position());
    if (at.x() != m_pressed->x() && at.y() != m_pressed->y()) {
        m_dragged = at;
        update();
    }
}

void SurveyPlanView::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_pressed || event->button() != Qt::LeftButton)
        return;
    const QPointF start = *m_pressed;
    const std::optional<QPointF> end = m_dragged;
    m_pressed.reset();
    m_dragged.reset();
    update();
    if (end) {
        emit rectangleDrawn(QRectF(start, *end).normalized());
        return;
    }
    const surveyplan::Layout l =
        surveyplan::layout(m_survey, drawingArea(), QFontMetricsF(font(), this));
    const QPointF exact = l.toDevice.inverted().map(event->position());
    if (const int i = surveyplan::pointAt(m_survey, exact); i >= 0)
        emit pointClicked(i);
    else
        emit clickedAt(start);
}

double SurveyPlanView::redrawNow() {
    return timedDrawing(this, [this](QPainter& painter) {
        surveyplan::paint(painter, drawingArea(), m_survey, m_look);
    });
}

} // namespace lumetra
