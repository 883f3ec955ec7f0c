#pragma once
// Makes a fresh temporary folder the current directory for as long as it
// lives, so that whatever a test runs looks only at what the test put there.

#include <QDir>
#include <QTemporaryDir>

namespace wdx::testsupport {

struct TScratchDir {
    QTemporaryDir Dir;
    QString Previous = QDir::currentPath();
    TScratchDir() { QDir::setCurrent(Dir.path()); }
    ~TScratchDir() { QDir::setCurrent(Previous); }
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;
};

} // namespace wdx::testsupport
