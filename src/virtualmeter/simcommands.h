#pragma once

#include <QString>

namespace lumetra::sim {

class VirtualMeter;

// The line commands that change a running virtual meter (simulator's standard input, the
// demo). Returns the answer to print; an answer starting with "error:" means the line was
// not understood.
QString applySimCommand(VirtualMeter& meter, const QString& line);

// The text printed by --help and by the "help" command.
QString simCommandHelp();

} // namespace lumetra::sim
