#pragma once

#include "views/listwindow.h"

namespace lumetra {

struct AppState;

// "Real Time List": one row per PC sampling moment while it is open.
class RealTimeList : public ListWindow {
    Q_OBJECT
public:
    explicit RealTimeList(AppState& state, QWidget* parent = nullptr);
    ~RealTimeList() override;

    // Appends "number, time stamp, reading" and keeps the newest row in view.
    void appendSample(int number, const QString& timeStamp, const QString& reading);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void unload();

    AppState& m_state;
};

} // namespace lumetra
