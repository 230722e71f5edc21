// The memory dump: the reply to "Q" split into sets, each set listed and expanded into its
// records, their time labels and readings.
#include "model/columnplot.h"
#include "model/memorysets.h"
#include "model/readingformat.h"

#include <cstdint>

namespace ms = lumetra::memorysets;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray reply(reinterpret_cast<const char*>(data), qsizetype(size));
    // The length the acknowledge announced: as long as the reply, or shorter or longer.
    for (const int length : {int(reply.size()), int(reply.size()) / 2, int(reply.size()) + 7}) {
        const ms::Split split = ms::split(ms::storedMemory(reply, length), 99);
        for (const QByteArray& set : split.sets) {
            const QStringList row = ms::tableRow(1, set);
            const int records = ms::recordCount(set);
            const ms::Timeline timeline(row.value(1), row.value(2).toInt(), QDate(2026, 2, 28));
            QStringList values;
            for (int i = 1; i <= records; ++i) {
                const int at = ms::kHeaderSize + (i - 1) * ms::kRecordSize;
                (void)timeline.label(i);
                const auto r = lumetra::formatReading(quint8(set[at]), quint8(set[at + 1]),
                                                      quint8(set[at + 2]));
                values << (r ? r->lux : lumetra::kUnreadableReading);
            }
            const lumetra::ColumnPlot plot = lumetra::columnPlot(values, 0, 0);
            (void)lumetra::rangeStatistics(plot.values, 0.5, records + 0.5);
        }
    }
    if (reply.size() >= 4) {
        const quint32 pointer =
            quint32(quint8(reply[0])) << 16 | quint8(reply[1]) << 8 | quint8(reply[2]);
        (void)ms::freeMemoryText(pointer);
    }
    return 0;
}
