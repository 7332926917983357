#include "ui/options/PropHelp.h"

#include <QLabel>
#include <QVBoxLayout>

namespace
{

const char* const kHotKeysHeading = "Global Hot Keys:";
const char* const kSwitchesHeading = "Command line parameters:";

} // namespace

CPropHelp::CPropHelp(QWidget* parent)
    : CPropertyPage(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(3);
    for (const QString& line : Lines()) {
        auto* label = new QLabel(line, this);
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        if (line == QLatin1String(kHotKeysHeading) || line == QLatin1String(kSwitchesHeading)) {
            QFont heading = label->font();
            heading.setBold(true);
            label->setFont(heading);
            if (!m_lines.isEmpty())
                layout->addSpacing(14);
            layout->addWidget(label);
            layout->addSpacing(3);
        } else {
            label->setContentsMargins(12, 0, 0, 0);
            layout->addWidget(label);
        }
        m_lines.append(label);
    }
    layout->addStretch(1);
}

QString CPropHelp::PageTitle()
{
    return QStringLiteral("Info");
}

QStringList CPropHelp::Lines()
{
    return {
        QString::fromLatin1(kHotKeysHeading),
        QStringLiteral("Alt + Shift + P : Start/Stop Playing"),
        QStringLiteral("Alt + Shift + M : Mute/Unmute"),
        QStringLiteral("Alt + Shift + R : Start/Stop Recording"),
        QStringLiteral("Alt + Shift + [Gray Plus]/[Gray Minus] : Adjust Volume"),
        QStringLiteral("Alt + Shift + B/N : Previous/Next Station"),
        QStringLiteral("Alt + Shift + H  : Hide/Show Window"),
        QString::fromLatin1(kSwitchesHeading),
        QStringLiteral("/play - starts playing"),
        QStringLiteral("/record - starts recording"),
        QStringLiteral("/source=\"...\" - selects given source"),
        QStringLiteral("/hidden - hides main window"),
        QStringLiteral("/mute - sets mute on"),
        QStringLiteral("/duration=minutes - exit after given number of minutes"),
        QStringLiteral("/filename=\"...\" - name of the file to be recodred"),
    };
}
