#pragma once

#include "core/WindowMessage.h"

#include <QDialog>
#include <QPixmap>
#include <QString>

#include <cstdint>

class CGdipButton;
class CHyperStatic;
class CUpdater;
class QLabel;
class QPushButton;

// The product line of the About box: text 302 with the product name and the version, whose commas
// become dots and whose blanks go ("1, 6, 70, 0" reads "1.6.70.0").
QString AboutVersionText(const QString& productName, const QString& productVersion);
// The audio library line for a version number with one byte per part, major first.
QString AudioLibraryText(uint32_t version);

// The About box: the program's name and version (a link to its home page), the audio library's
// version, the translator and the author of the skin in use, the logo of the program folder, and a
// check for a newer program answered in place. The check's answer is posted to the box; a box closed
// before it arrives receives nothing.
class CAboutDlg : public QDialog
{
    Q_OBJECT

public:
    // updater: the main window's, not owned; it must outlive the box.
    explicit CAboutDlg(CUpdater* updater, QWidget* parent = nullptr);
    ~CAboutDlg() override;

    void SetSkinAuthor(const QString& author) { m_skinAuthor = author; }

    // Fills the box and starts the version check; runs once, when the box is first shown.
    int OnInitDialog();
    // The check's answers.
    LRESULT OnUpdaterNewVersion();
    LRESULT OnUpdaterNoNewVersion();

    CHyperStatic& VersionLink() { return *m_versionLink; }
    CHyperStatic& DownloadLink() { return *m_downloadLink; }
    CGdipButton& Logo() { return *m_logo; }
    QString UpdateStateText() const;
    QString TranslatorText() const;
    QString SkinAuthorText() const;
    QString AudioLibraryLine() const;

    // The maker's home page, which the product line links to.
    static const char* const kHomePage;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void CreateControls();
    void PaintBackground();

    CUpdater* m_updater;
    QString m_skinAuthor;
    bool m_initialized = false;
    QPixmap m_background; // the box's painted background at its pixel density

    CGdipButton* m_logo = nullptr;
    CHyperStatic* m_versionLink = nullptr;
    CHyperStatic* m_downloadLink = nullptr;
    QLabel* m_updateState = nullptr;
    QLabel* m_translator = nullptr;
    QLabel* m_skinAuthorLine = nullptr;
    QLabel* m_audioLibrary = nullptr;
    QPushButton* m_ok = nullptr;
};
