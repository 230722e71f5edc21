#include "clock.h"

namespace lumetra {

double Clock::secondsSinceMidnight() const {
    return now().time().msecsSinceStartOfDay() / 1000.0;
}

} // namespace lumetra
