#include "ui/windows/AboutDlg.h"

#include "audio/RadioPlayer.h"
#include "core/ErrorLog.h"
#include "core/FileVersionInfo.h"
#include "core/Localization.h"
#include "core/Updater.h"
#include "ui/controls/GdipButton.h"
#include "ui/controls/HyperStatic.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QRadialGradient>

namespace
{

const int WM_KAVRILUNE_UPDATER_NEW_VERSION_ = RegisterWindowMessage("WM_KAVRILUNE_UPDATER_NEW_VERSION_");
const int WM_KAVRILUNE_UPDATER_NO_NEW_VERSION_ = RegisterWindowMessage("WM_KAVRILUNE_UPDATER_NO_NEW_VERSION_");

// Texts of the language table.
enum : int {
    kTextAbout = 107,
    kTextVersion = 302,
    kTextNewVersion = 303,
    kTextLatestVersion = 306,
    kTextCheckingVersion = 307,
    kTextSkinCreatedBy = 308,
    kTextTranslatedBy = 309,
};

const QString kAudioLibrarySite = QStringLiteral("kavrilune.org");
const QString kMakerLine = QStringLiteral("Internet radio for the desktop, made by the Kavrilune developers");
const QString kEncoderLine = QStringLiteral("MP3 recordings are encoded by LAME, lame.sourceforge.io");
const QString kThanksLine = QStringLiteral("With thanks to every station on the air, kavrilune.org/thanks");

// The box's look: the dark of the built-in skin with its violet-to-cyan accent.
constexpr int kWidth = 480;
constexpr int kHeight = 336;
constexpr int kHeaderHeight = 132;
const QColor kBase(19, 22, 30);
const QColor kHeaderLeft(44, 36, 92);
const QColor kHeaderRight(14, 52, 72);
const QColor kTitle(245, 247, 252);
const QColor kAccent(95, 216, 255);
const QColor kAccentHover(160, 232, 255);

const char* const kStyle = R"(
QLabel { color: #a7afc0; background: transparent; }
QLabel#maker { color: #c9cdea; }
QLabel#updateState { color: #e6e9f0; }
QPushButton {
    color: white; border: none; border-radius: 15px; padding: 0 22px; font-weight: 600;
    background: qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 #8f7bff, stop:1 #35c6ff);
}
QPushButton:hover { background: qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 #a293ff, stop:1 #5ad3ff); }
QPushButton:pressed { background: qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 #7563e8, stop:1 #23a9e0); }
)";

QLabel* AddLine(QWidget* parent, const QRect& place, const QString& name = QString())
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setGeometry(place);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

const char* const CAboutDlg::kHomePage = "https://kavrilune.org/";

QString AboutVersionText(const QString& productName, const QString& productVersion)
{
    QString version = productVersion;
    version.replace(u',', u'.');
    version.remove(u' ');
    return FormatLangText(GetLangString(kTextVersion), { productName, version, QString() }).trimmed();
}

QString AudioLibraryText(uint32_t version)
{
    return QStringLiteral("Audio routines powered by ") + kAudioLibrarySite
        + QStringLiteral(" (version %1.%2.%3.%4)")
              .arg((version >> 24) & 0xFF)
              .arg((version >> 16) & 0xFF)
              .arg((version >> 8) & 0xFF)
              .arg(version & 0xFF);
}

CAboutDlg::CAboutDlg(CUpdater* updater, QWidget* parent)
    : QDialog(parent)
    , m_updater(updater)
{
    setWindowTitle(GetLangString(kTextAbout));
    setFixedSize(kWidth, kHeight);
    QFont text = font();
    text.setPixelSize(13);
    setFont(text);
    setStyleSheet(QString::fromLatin1(kStyle));
    CreateControls();
}

CAboutDlg::~CAboutDlg() = default;

void CAboutDlg::CreateControls()
{
    m_logo = new CGdipButton(this);
    m_logo->setGeometry(24, 22, 88, 88);
    m_logo->setFocusPolicy(Qt::NoFocus);

    m_versionLink = new CHyperStatic(this);
    m_versionLink->setGeometry(134, 36, kWidth - 134 - 20, 30);
    m_versionLink->SetLook(kTitle, kTitle, kAccent, Qt::transparent, 26);

    QLabel* maker = AddLine(this, QRect(135, 70, kWidth - 135 - 20, 18), QStringLiteral("maker"));
    maker->setText(kMakerLine);
    maker->setWordWrap(true);
    maker->setGeometry(135, 70, kWidth - 135 - 20, 36);
    maker->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_audioLibrary = AddLine(this, QRect(24, 150, kWidth - 48, 18));
    AddLine(this, QRect(24, 170, kWidth - 48, 18))->setText(kEncoderLine);
    AddLine(this, QRect(24, 190, kWidth - 48, 18))->setText(kThanksLine);
    m_translator = AddLine(this, QRect(24, 218, kWidth - 48, 18));
    m_skinAuthorLine = AddLine(this, QRect(24, 238, kWidth - 48, 18));

    m_updateState = AddLine(this, QRect(24, 280, 324, 18), QStringLiteral("updateState"));
    m_downloadLink = new CHyperStatic(this);
    m_downloadLink->setGeometry(24, 300, 324, 20);
    m_downloadLink->SetLook(kAccent, kAccent, kAccentHover, Qt::transparent, 17);

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setGeometry(kWidth - 24 - 92, 284, 92, 30);
    m_ok->setDefault(true);
    m_ok->setCursor(Qt::PointingHandCursor);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
}

int CAboutDlg::OnInitDialog()
{
    if (m_initialized)
        return 1;
    m_initialized = true;

    CFileVersionInfo info;
    info.CreateFromModule(nullptr);
    m_versionLink->SetText(AboutVersionText(info.GetProductName(), info.GetProductVersion()));
    m_versionLink->SetUrl(QString::fromLatin1(kHomePage));

    m_translator->setText(GetLangString(kTextTranslatedBy));
    m_skinAuthorLine->setText(GetLangString(kTextSkinCreatedBy).trimmed() + u' ' + m_skinAuthor);

    const QString logo = GetAppFolder() + QStringLiteral("Kavrilune.png");
    m_logo->SetImageNormal(logo);
    m_logo->SetImageHot(logo);
    m_logo->SetImagePressed(logo);

    m_audioLibrary->setText(AudioLibraryText(AudioLibraryVersion()));

    m_updateState->setText(GetLangString(kTextCheckingVersion));
    m_downloadLink->SetText(QString());
    if (m_updater)
        m_updater->CheckNow(this);
    return 1;
}

LRESULT CAboutDlg::OnUpdaterNewVersion()
{
    m_updateState->setText(FormatLangText(GetLangString(kTextNewVersion), { m_updater->GetNewVersion() }));
    // The address comes from the network: the link opens only web addresses.
    m_downloadLink->SetText(m_updater->GetDownloadUrl());
    return 1;
}

LRESULT CAboutDlg::OnUpdaterNoNewVersion()
{
    m_updateState->setText(GetLangString(kTextLatestVersion));
    return 1;
}

QString CAboutDlg::UpdateStateText() const
{
    return m_updateState->text();
}

QString CAboutDlg::TranslatorText() const
{
    return m_translator->text();
}

QString CAboutDlg::SkinAuthorText() const
{
    return m_skinAuthorLine->text();
}

QString CAboutDlg::AudioLibraryLine() const
{
    return m_audioLibrary->text();
}

bool CAboutDlg::event(QEvent* event)
{
    if (WindowMessage* message = AsWindowMessage(event); message && m_updater) {
        if (message->message() == WM_KAVRILUNE_UPDATER_NEW_VERSION_) {
            message->result = OnUpdaterNewVersion();
            return true;
        }
        if (message->message() == WM_KAVRILUNE_UPDATER_NO_NEW_VERSION_) {
            message->result = OnUpdaterNoNewVersion();
            return true;
        }
    }
    return QDialog::event(event);
}

void CAboutDlg::showEvent(QShowEvent* event)
{
    OnInitDialog();
    PaintBackground();
    QDialog::showEvent(event);
}

// The background is painted once per showing at the box's pixel density; the logo and the links draw
// over their part of it.
void CAboutDlg::PaintBackground()
{
    const qreal scale = devicePixelRatioF();
    QPixmap background(QSize(qRound(kWidth * scale), qRound(kHeight * scale)));
    background.setDevicePixelRatio(scale);
    background.fill(kBase);
    {
        QPainter painter(&background);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF header(0, 0, kWidth, kHeaderHeight);
        QLinearGradient band(header.topLeft(), header.topRight());
        band.setColorAt(0.0, kHeaderLeft);
        band.setColorAt(1.0, kHeaderRight);
        painter.fillRect(header, band);
        // A soft light behind the logo, and the band fading into the body.
        QRadialGradient halo(QPointF(68, 66), 120);
        halo.setColorAt(0.0, QColor(160, 140, 255, 70));
        halo.setColorAt(1.0, QColor(160, 140, 255, 0));
        painter.fillRect(header, halo);
        QLinearGradient fade(QPointF(0, kHeaderHeight - 40), QPointF(0, kHeaderHeight));
        fade.setColorAt(0.0, QColor(kBase.red(), kBase.green(), kBase.blue(), 0));
        fade.setColorAt(1.0, kBase);
        painter.fillRect(QRectF(0, kHeaderHeight - 40, kWidth, 40), fade);
        // The rule above the version check.
        painter.fillRect(QRectF(24, 266, kWidth - 48, 1), QColor(255, 255, 255, 22));
    }
    m_background = background;
    m_logo->CopyParentBackground(m_background);
    m_versionLink->CopyParentBackground(m_background);
    m_downloadLink->CopyParentBackground(m_background);
    update();
}

void CAboutDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_background.isNull())
        painter.fillRect(rect(), kBase);
    else
        painter.drawPixmap(rect(), m_background);
}
