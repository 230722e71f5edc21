// The survey file reader: any bytes as a survey opened in the window or by lumetra-cli report.
// A survey it accepts is shown, saved and read again with the same points.
#include "model/survey.h"
#include "model/surveyareas.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lumetra;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QString error;
    const auto s = survey::fromJson(bytes, error);
    if (!s) {
        if (error.isEmpty())
            std::abort(); // a refusal always says why
        return 0;
    }
    // A plain rectangle keeps every cell of its grid; any other shape no more than its cells.
    const bool plain = s->outline.isEmpty() && s->obstacles.isEmpty() && s->areas.isEmpty();
    if (plain ? s->points.size() != qsizetype(s->rows) * s->columns
              : s->points.size() > survey::gridPoints(*s))
        std::abort();
    (void)survey::results(*s, survey::footCandles());
    for (int a = 0; a < s->areas.size(); ++a)
        (void)survey::results(*s, survey::lux(), a);
    (void)survey::verdict(*s);
    (void)survey::walkOrder(*s);
    (void)survey::pointsCsv(*s);
    const auto again = survey::fromJson(survey::toJson(*s), error);
    if (!again || again->points.size() != s->points.size())
        std::abort();
    for (qsizetype i = 0; i < s->points.size(); ++i) {
        if (again->points[i].lux != s->points[i].lux)
            std::abort();
    }
    return 0;
}
