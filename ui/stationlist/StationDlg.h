#pragma once

#include <QDialog>
#include <QString>
#include <array>

class CStationItem;
class QLabel;
class QLineEdit;
class QPushButton;

// The modal editor of one station: title, web page, genre, country and six source URLs. It creates
// one of the user's own stations or shows and changes a station's details; the caller decides what
// becomes of the result.
class CStationDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kSources = 6;

    explicit CStationDlg(QWidget* parent = nullptr);

    // Fills the fields from the record; a field whose slot the record lacks stays empty.
    void SetItem(const CStationItem& item);
    // Shows the dialog; 1 for Save (the fields take the typed texts), 2 for Cancel.
    int DoModal();
    // Rebuilds the record from the fields: the language is emptied, the sources close up in their order,
    // and tabs and line breaks become blanks so that the record stays one line of a stations file.
    void GetItem(CStationItem& item) const;

    // The edits in tab order: title, web page, genre, country, then the six sources.
    QLineEdit* TitleEdit() const { return m_title; }
    QLineEdit* WebPageEdit() const { return m_webPage; }
    QLineEdit* GenreEdit() const { return m_genre; }
    QLineEdit* CountryEdit() const { return m_country; }
    QLineEdit* SourceEdit(int n) const { return m_sourceEdits.at(size_t(n)); }
    QPushButton* SaveButton() const { return m_save; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    // Moves the texts between the fields and the edits, either way.
    void ExchangeData(bool fromEdits);
    void InitTexts();

    QString m_titleText;
    QString m_webPageText;
    QString m_genreText;
    QString m_countryText;
    std::array<QString, kSources> m_sourceTexts;
    QString m_marker; // carried over unchanged, so that a user station stays one

    QLineEdit* m_title = nullptr;
    QLineEdit* m_webPage = nullptr;
    QLineEdit* m_genre = nullptr;
    QLineEdit* m_country = nullptr;
    std::array<QLineEdit*, kSources> m_sourceEdits {};
    std::array<QLabel*, 4 + kSources> m_labels {};
    QPushButton* m_save = nullptr;
    QPushButton* m_cancel = nullptr;
};
