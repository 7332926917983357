#pragma once

// The application the benches of widgets run in.

#include <QApplication>
#include <QByteArray>

namespace bench
{

// Makes the application once, named after the bench; on the offscreen platform unless QT_QPA_PLATFORM
// names another. Later calls return the one made first.
inline QApplication& EnsureApplication(const char* name)
{
    if (auto* made = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *made;
    // QApplication keeps argc and argv for its life.
    static QByteArray program(name);
    static int argc = 1;
    static char* argv[] = { program.data(), nullptr };
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return *new QApplication(argc, argv);
}

} // namespace bench
