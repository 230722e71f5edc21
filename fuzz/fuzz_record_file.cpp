// The record file reader: any bytes as a file opened into the "File List", then every value
// as the graph would take it.
#include "commands/gridio.h"
#include "model/columnplot.h"
#include "model/recordtable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace {
QString path;
QByteArray nativePath;
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The reader's waits need an application object. It lives as long as the process: a
    // fuzzer's main never returns to destroy it in the right order.
    static QCoreApplication* const app = new QCoreApplication(*argc, *argv);
    Q_UNUSED(app);
    path = QDir::temp().filePath(
        QStringLiteral("lumetra-fuzz-record-%1.txt").arg(QCoreApplication::applicationPid()));
    nativePath = QFile::encodeName(path);
    std::atexit([] { ::unlink(nativePath.constData()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    lumetra::RecordTable table;
    const lumetra::ReadReport report = lumetra::readRecordFile(path, table, nullptr, nullptr);
    if (report.records != table.rowCount())
        __builtin_trap(); // every record read is a row, and no row is made up
    QStringList values;
    for (int r = 0; r < table.rowCount(); ++r) {
        (void)table.listRow(r + 1);
        values << table.cell(r, 2);
    }
    (void)lumetra::columnPlot(values, 0, 0);
    return 0;
}
