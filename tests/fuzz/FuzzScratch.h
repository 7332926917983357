#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace fuzz_support
{

// A private folder of the fuzzing process for the files a target reads and writes, removed when the
// process exits normally. It is also the program folder, so nothing a target does lands in the build.
const QString& ScratchFolder(); // ends in "/"

// Writes bytes to a file under the scratch folder (creating its folders) and returns its path.
QString WriteScratchFile(const QString& relativePath, const QByteArray& bytes);
QString WriteScratchFile(const QString& relativePath, const uint8_t* data, size_t size);

// Makes path an empty folder.
void ResetFolder(const QString& path);

} // namespace fuzz_support
