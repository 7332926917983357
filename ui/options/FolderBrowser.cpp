#include "ui/options/FolderBrowser.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

#include <unistd.h>

namespace
{

// The browser inside the dialog; whatever way the user confirms, only an acceptable folder is taken.
class FolderOnlyFileDialog : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        const QStringList chosen = selectedFiles();
        if (chosen.size() == 1 && IsAcceptableFolder(chosen.first()))
            QFileDialog::accept();
    }
};

} // namespace

QString SpecialFolderPath(int specialFolder)
{
    QStandardPaths::StandardLocation location;
    switch (specialFolder) {
    case kSpecialFolderDesktop:
        location = QStandardPaths::DesktopLocation;
        break;
    case kSpecialFolderDocuments:
        location = QStandardPaths::DocumentsLocation;
        break;
    case kSpecialFolderMusic:
        location = QStandardPaths::MusicLocation;
        break;
    default:
        return {};
    }
    const QString path = QStandardPaths::writableLocation(location);
    return !path.isEmpty() && QFileInfo(path).isDir() ? path : QString();
}

bool IsAcceptableFolder(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return false;
    return access(QFile::encodeName(path).constData(), W_OK | X_OK) == 0;
}

CFolderBrowser::CFolderBrowser(
    QWidget* owner, const QString& initialFolder, const QString& caption, const QString& instruction, bool withEditBox)
    : QDialog(owner)
{
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    if (!caption.isEmpty())
        setWindowTitle(caption);

    m_instruction = new QLabel(instruction, this);
    m_instruction->setWordWrap(true);
    m_instruction->setVisible(!instruction.isEmpty());

    m_browser = new FolderOnlyFileDialog(this);
    m_browser->setWindowFlags(Qt::Widget);
    m_browser->setOption(QFileDialog::DontUseNativeDialog);
    m_browser->setOption(QFileDialog::ShowDirsOnly);
    m_browser->setFileMode(QFileDialog::Directory);
    if (!initialFolder.isEmpty())
        m_browser->setDirectory(initialFolder);
    if (!withEditBox) {
        for (const char* name : { "fileNameEdit", "fileNameLabel" })
            if (QWidget* widget = m_browser->findChild<QWidget*>(QLatin1String(name)))
                widget->hide();
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_instruction);
    layout->addWidget(m_browser);

    connect(m_browser, &QDialog::accepted, this, &CFolderBrowser::OnBrowserAccepted);
    connect(m_browser, &QDialog::rejected, this, &QDialog::reject);
    // The browser sets its OK button itself on every change; this runs after it and only ever disables.
    auto later = [this] { QTimer::singleShot(0, this, &CFolderBrowser::DisableOkUnlessAcceptable); };
    connect(m_browser, &QFileDialog::currentChanged, this, later);
    connect(m_browser, &QFileDialog::directoryEntered, this, later);
    if (auto* edit = m_browser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        connect(edit, &QLineEdit::textChanged, this, later);
    later();
}

QPushButton* CFolderBrowser::OkButton() const
{
    auto* buttons = m_browser->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    if (!buttons)
        return nullptr;
    QPushButton* ok = buttons->button(QDialogButtonBox::Open);
    return ok ? ok : buttons->button(QDialogButtonBox::Save);
}

void CFolderBrowser::SelectFolder(const QString& path)
{
    const QFileInfo info(path);
    m_browser->setDirectory(info.absolutePath());
    m_browser->selectFile(info.fileName());
}

void CFolderBrowser::DisableOkUnlessAcceptable()
{
    QPushButton* ok = OkButton();
    const QStringList chosen = m_browser->selectedFiles();
    if (ok && (chosen.size() != 1 || !IsAcceptableFolder(chosen.first())))
        ok->setEnabled(false);
}

void CFolderBrowser::OnBrowserAccepted()
{
    m_selected = m_browser->selectedFiles().value(0);
    accept();
}

bool BrowseForFolder(QWidget* owner, const QString& initialFolder, int initialSpecialFolder, int rootSpecialFolder,
    const QString& caption, const QString& instruction, QString* result, bool withEditBox)
{
    QString initial = initialFolder;
    if (initial.isEmpty() && initialSpecialFolder != 0)
        initial = SpecialFolderPath(initialSpecialFolder);
    // Without a tree root of its own, the browser starts at the root folder.
    if (initial.isEmpty() && rootSpecialFolder != kSpecialFolderNone)
        initial = SpecialFolderPath(rootSpecialFolder);
    if (initial.isEmpty())
        initial = QDir::currentPath();

    CFolderBrowser dialog(owner, initial, caption, instruction, withEditBox);
    if (dialog.exec() != QDialog::Accepted || dialog.SelectedFolder().isEmpty())
        return false;
    if (result)
        *result = dialog.SelectedFolder();
    return true;
}
