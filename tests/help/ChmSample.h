#pragma once
// Small help files compiled by the tests themselves with the help compiler.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <map>

namespace wdx::test {

// Writes Files (relative name -> content) into Dir and compiles Project (a
// file among them) there. Returns the path of the compiled file, or an empty
// text with the compiler's output in Error.
QString CompileChm(const QString& Dir, const std::map<QString, QByteArray>& Files, const QString& Project,
                   QString* Error = nullptr);

// A sample help file: topics "a.htm" (context 118, an image and a link) and
// "sub/b.htm" (context 116, links back), a contents and an index file, and
// the pop-up topics "CSHelp.txt" (numeric ids 1001 and 1002, a symbolic id
// IDH_NAMED = 2002 defined in "CSHelp.h"). Context 120 maps to a topic that
// is not in the file. Compiled once per test run into a directory that lives
// until the end of the run.
const QString& SampleChm();

// A PNG picture (red, 16 x 16) for the sample's image.
QByteArray SamplePng();

} // namespace wdx::test
