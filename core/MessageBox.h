#pragma once

#include <QString>
#include <functional>

// Message-box types and answers, as the program's code passes and reads them.
enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_TYPEMASK = 0xF,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// Shows a message box and returns the user's answer. The user interface installs the real boxes;
// tests install scripted answers. Without a handler the text goes to the standard error stream and the
// default answer (OK, Yes) is returned.
int MessageBox(const QString& text, const QString& caption = QString(), unsigned type = MB_OK);

using MessageBoxHandler = std::function<int(const QString& text, const QString& caption, unsigned type)>;
// Replaces the handler; returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
