// The survey window's walk: taking the points in order, by the meter or typed, and the keys
// on the plan.
#include "survey.h"

#include "graph/surveyplanview.h"
#include "link/pointtaker.h"
#include "model/surveyareas.h"
#include "widgets/dialogs.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>

#include <cmath>

namespace lumetra {

int FrmSurvey::nextToTake(int index) const {
    // On along the walk; the lights-off pass has nothing to take at an obstructed point.
    for (qsizetype at = m_order.indexOf(index) + 1; index >= 0 && at > 0 && at < m_order.size();
         ++at) {
        if (!m_offPass || !m_survey.points[m_order[at]].obstructed)
            return m_order[at];
    }
    for (int i : m_order) {
        if (pending(m_survey.points[i]))
            return i;
    }
    return -1;
}

void FrmSurvey::take() {
    if (m_survey.points.isEmpty() || taking() || busy().held())
        return;
    if (m_offPass && m_survey.points[m_current].obstructed) {
        announce(QStringLiteral("%1 is obstructed: it has no lights-off reading")
                     .arg(nameOf(m_current)));
        return;
    }
    m_takingAt = m_current;
    announce(QStringLiteral("Taking %1…").arg(nameOf(m_current)));
    m_taker->take();
}

void FrmSurvey::taken(double lux, bool typed) {
    if (m_takingAt < 0 || m_takingAt >= m_survey.points.size())
        return;
    survey::Point& p = m_survey.points[m_takingAt];
    if (m_offPass && p.obstructed) {
        m_takingAt = -1; // what the lights-on pass left out stays out
        announce(QStringLiteral("%1 is obstructed: it has no lights-off reading")
                     .arg(nameOf(m_current)));
        return;
    }
    if (m_offPass) {
        p.luxOff = lux;
        p.typedOff = typed;
        p.takenOff = QDateTime::currentDateTime();
    } else {
        p.lux = lux;
        p.typed = typed;
        p.taken = QDateTime::currentDateTime();
        p.obstructed = false;
    }
    m_changed = true;
    // The next point is the one the meter moves away from this reading to.
    m_steady.restart(lux);
    const QString name = nameOf(m_takingAt);
    const int next = nextToTake(m_takingAt);
    m_takingAt = -1;
    QString said =
        QStringLiteral("%1, %2 %3").arg(name, survey::illuminance(lux, unit()), spokenUnit());
    if (m_offPass && survey::offExceedsOn(p))
        said += QStringLiteral(", more than with the lights on");
    goOnTo(next, said + QStringLiteral("; "));
}

// The walk goes on to `next` (-1: every point is done), and says so after `said`.
void FrmSurvey::goOnTo(int next, const QString& said) {
    if (next >= 0)
        m_current = next;
    announce(said + (next >= 0 ? QStringLiteral("next %1").arg(nameOf(next))
                               : QStringLiteral("every point is taken")));
    refresh();
}

void FrmSurvey::refused(const QString& text) {
    m_takingAt = -1;
    announce(text);
    m_dialogs.message(this, text, MessageIcon::Warning);
}

void FrmSurvey::retakePrevious() {
    if (m_survey.points.isEmpty() || busy().held())
        return;
    const qsizetype at = m_order.indexOf(m_current);
    if (at > 0)
        select(m_order[at - 1]);
    take();
}

void FrmSurvey::toggleObstructed() {
    if (m_survey.points.isEmpty() || taking() || busy().held())
        return;
    survey::Point& p = m_survey.points[m_current];
    p.obstructed = !p.obstructed;
    m_changed = true;
    const QString name = nameOf(m_current);
    if (!p.obstructed) {
        announce(QStringLiteral("%1 is no longer obstructed").arg(name));
        refresh();
        return;
    }
    goOnTo(nextToTake(m_current), QStringLiteral("%1 obstructed, left out; ").arg(name));
}

void FrmSurvey::clearPoint() {
    if (m_survey.points.isEmpty() || taking() || busy().held())
        return;
    survey::Point& p = m_survey.points[m_current];
    // The pass being walked loses its reading; the other pass keeps its own.
    if (m_offPass) {
        p.luxOff.reset();
        p.takenOff = {};
        p.typedOff = false;
    } else {
        p.lux.reset();
        p.taken = {};
        p.typed = false;
        p.obstructed = false;
    }
    m_changed = true;
    announce(QStringLiteral("%1 emptied").arg(nameOf(m_current)));
    refresh();
}

void FrmSurvey::select(int index) {
    if (index < 0 || index >= m_survey.points.size() || busy().held())
        return;
    if (taking()) {
        // The reading belongs to the point the user stood at.
        m_taker->cancel();
        m_takingAt = -1;
    }
    m_current = index;
    const survey::Point& p = m_survey.points[index];
    QString text = nameOf(index);
    const std::optional<double> value = m_offPass ? p.luxOff : p.lux;
    if (p.obstructed)
        text += QStringLiteral(", obstructed");
    else if (value)
        text += QStringLiteral(", %1 %2%3")
                    .arg(survey::illuminance(*value, unit()), spokenUnit(),
                         m_offPass ? QStringLiteral(" with the lights off") : QString());
    else
        text +=
            m_offPass ? QStringLiteral(", lights off not taken") : QStringLiteral(", not taken");
    if (const auto change = survey::changeAt(m_survey, index))
        text += QStringLiteral(", %1 since the earlier survey").arg(survey::changeText(*change));
    announce(text);
    refresh();
}

// To the next point of the same area that way, over cells outside it (a column, an inner
// corner); nowhere at the grid's edge.
void FrmSurvey::moveBy(int rows, int columns) {
    if (m_current < 0 || m_current >= m_survey.points.size())
        return;
    const survey::Point& p = m_survey.points[m_current];
    const bool own = p.area < 0 || p.area >= m_survey.areas.size();
    const int height = own ? m_survey.rows : m_survey.areas[p.area].rows;
    const int width = own ? m_survey.columns : m_survey.areas[p.area].columns;
    for (int r = p.row + rows, c = p.column + columns; r >= 0 && r < height && c >= 0 && c < width;
         r += rows, c += columns) {
        if (const int i = m_pointAt.value(pointKey(p.area, r, c), -1); i >= 0) {
            select(i);
            return;
        }
    }
}

void FrmSurvey::setTypedValue() {
    if (m_survey.points.isEmpty() || busy().held())
        return;
    bool ok = false;
    const QString t = TxtValue->text().trimmed();
    double v = QLocale().toDouble(t, &ok);
    if (!ok)
        v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v) || v < 0) {
        m_dialogs.message(this,
                          QStringLiteral("Type the illuminance at the point as a number of %1.")
                              .arg(spokenUnit()),
                          MessageIcon::Warning);
        return;
    }
    m_taker->cancel();
    m_takingAt = m_current;
    TxtValue->clear();
    taken(v / unit().perLux, true);
    Plan->setFocus(Qt::OtherFocusReason);
}

bool FrmSurvey::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Plan || event->type() != QEvent::KeyPress)
        return BusyWindow::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    switch (key->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        take();
        return true;
    case Qt::Key_Backspace:
        retakePrevious();
        return true;
    case Qt::Key_X:
        toggleObstructed();
        return true;
    case Qt::Key_Delete:
        clearPoint();
        return true;
    case Qt::Key_Escape:
        if (!ChkTakeWhenSteady->isChecked())
            return false;
        setTakeWhenSteady(false);
        return true;
    case Qt::Key_Left:
        moveBy(0, -1);
        return true;
    case Qt::Key_Right:
        moveBy(0, 1);
        return true;
    case Qt::Key_Up:
        moveBy(-1, 0);
        return true;
    case Qt::Key_Down:
        moveBy(1, 0);
        return true;
    default:
        break;
    }
    const QString text = key->text();
    if (text.size() == 1 &&
        (text[0].isDigit() || text[0] == QLatin1Char('.') || text[0] == QLatin1Char(','))) {
        // A value typed on the plan goes into the value box.
        TxtValue->setFocus(Qt::OtherFocusReason);
        TxtValue->setText(text);
        return true;
    }
    return false;
}

} // namespace lumetra
