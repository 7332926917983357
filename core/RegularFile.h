#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <fcntl.h>

// Local files that the user names (dropped, played, installed) may be named pipes, devices, sockets or
// folders. Opening a pipe waits for a writer and reading a terminal waits for a key, so every such path
// is refused before it is opened: only a regular file (or a link to one) is.

// Opens nativePath with flags (O_RDONLY or O_RDWR; close-on-exec is added) when it is a regular file.
// Returns the descriptor, or -1 with errno set (EINVAL for a path that is no regular file).
int OpenRegularFile(const char* nativePath, int flags = O_RDONLY);

// The same, as a stream for reading in binary; null on failure.
std::FILE* OpenRegularFileForReading(const char* nativePath);

// The first maxBytes of a regular file; empty when the path is no regular file or cannot be read.
QByteArray ReadRegularFileHead(const QString& path, qsizetype maxBytes);
