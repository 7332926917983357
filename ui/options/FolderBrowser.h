#pragma once

#include <QDialog>
#include <QString>

class QFileDialog;
class QLabel;
class QPushButton;

// Special folders that callers can name: the desktop is 0; -1 (as a root) and 0 (as an initial folder)
// name none.
constexpr int kSpecialFolderNone = -1;
constexpr int kSpecialFolderDesktop = 0;
constexpr int kSpecialFolderDocuments = 5;
constexpr int kSpecialFolderMusic = 13;

// The path of a special folder, or an empty text when it is unknown or does not exist.
QString SpecialFolderPath(int specialFolder);

// Whether a folder can be chosen: it exists, is a folder, and this user may create files in it.
bool IsAcceptableFolder(const QString& path);

// The folder-selection dialog: the instruction text above a folder browser whose OK button stays
// disabled while the selection is not an acceptable folder, and which accepts nothing else.
class CFolderBrowser : public QDialog
{
    Q_OBJECT

public:
    CFolderBrowser(QWidget* owner, const QString& initialFolder, const QString& caption, const QString& instruction,
        bool withEditBox);

    // The chosen folder after the dialog was accepted.
    QString SelectedFolder() const { return m_selected; }

    // For tests: the embedded browser, its OK button, and choosing a folder as the user would.
    QFileDialog* Browser() const { return m_browser; }
    QPushButton* OkButton() const;
    void SelectFolder(const QString& path);

private:
    void OnBrowserAccepted();
    void DisableOkUnlessAcceptable();

    QFileDialog* m_browser = nullptr;
    QLabel* m_instruction = nullptr;
    QString m_selected;
};

// Shows the dialog and, when the user chose a folder, puts its path into result and returns true; a
// cancelled dialog leaves result as it was. The initial folder is the given one, else the initial
// special folder (not 0), else the root special folder (not -1) when it exists, else the current folder.
bool BrowseForFolder(QWidget* owner, const QString& initialFolder, int initialSpecialFolder, int rootSpecialFolder,
    const QString& caption, const QString& instruction, QString* result, bool withEditBox);
