#pragma once

#include "graph/surveyplan.h"
#include "model/survey.h"

#include <QWidget>

#include <optional>

namespace lumetra {

// The survey's plan on screen, to scale. A click on a point's cell selects it; a click
// elsewhere gives the place in metres (a corner for an outline); a drag draws a rectangle (a
// task area), snapped to 5 cm. The keys that walk the plan belong to the window that owns it.
class SurveyPlanView : public QWidget {
    Q_OBJECT
public:
    explicit SurveyPlanView(QWidget* parent = nullptr);

    void setSurvey(const survey::Survey& s, const surveyplan::Look& look);
    const survey::Survey& survey() const { return m_survey; }
    // Draws now and says how long the drawing took (ms): for the benchmarks.
    double redrawNow();
    QSize sizeHint() const override { return {520, 400}; }
    QSize minimumSizeHint() const override { return {240, 180}; }

signals:
    void pointClicked(int index);
    void clickedAt(QPointF metres);
    void rectangleDrawn(QRectF metres);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QRectF drawingArea() const;
    QPointF metresAt(QPointF at) const;

    survey::Survey m_survey;
    surveyplan::Look m_look;
    std::optional<QPointF> m_pressed, m_dragged; // in metres, snapped
};

} // namespace lumetra
