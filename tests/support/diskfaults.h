#pragma once

#include <QByteArray>

// A misbehaving disk for one folder of a test, injected beneath every writer of the program
// (ours, Qt's file classes, QSettings): the test executable that links diskfaults.cpp defines
// the C library's write and open calls itself, so they run in front of the real ones. The
// program's code has no switch for it.
namespace lumetra::test::diskfaults {

struct Plan {
    QByteArray folder;       // faults touch only files in this folder (absolute path)
    qint64 acceptBytes = -1; // bytes the disk still takes before it fails; -1: no limit
    int error = 0;           // errno of a write once the bytes are used up (ENOSPC, EIO…)
    bool readOnly = false;   // opening for writing, linking and renaming into it fail (EACCES)
};

void arm(const Plan& plan);
void disarm();
// Bytes the folder's files took since arm().
qint64 written();

} // namespace lumetra::test::diskfaults
