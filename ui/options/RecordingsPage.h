#pragma once

#include "ui/options/PropertyPage.h"

class CPropRecordings;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The Recordings page: where recordings go, the encoding bitrate and how songs are cut and skipped.
// It edits the window's CPropRecordings, which outlives it.
class CRecordingsPage : public CPropertyPage
{
    Q_OBJECT

public:
    explicit CRecordingsPage(CPropRecordings& values, QWidget* parent = nullptr);

    static QString PageTitle();

    void OnInitDialog() override;
    void OnOK() override;
    bool OnApply() override;
    // Lets the user choose the folder with the folder browser.
    void OnFolderChanged();
    // Opens the recordings folder in the desktop's file manager.
    void OnOpenFolder();

    QLineEdit* FolderEdit() const { return m_folder; }
    QComboBox* BitrateCombo() const { return m_bitrate; }
    QCheckBox* SplitByTracksBox() const { return m_splitByTracks; }
    QCheckBox* SplitBySizeBox() const { return m_splitBySize; }
    QCheckBox* PrebufferingBox() const { return m_prebuffering; }
    QCheckBox* DontWriteExistingBox() const { return m_dontWriteExisting; }
    QPushButton* BrowseButton() const { return m_browse; }
    QPushButton* OpenFolderButton() const { return m_openFolder; }

private:
    void ValuesToControls();

    CPropRecordings& m_values;

    QLabel* m_folderLabel = nullptr;
    QLineEdit* m_folder = nullptr;
    QPushButton* m_browse = nullptr;
    QPushButton* m_openFolder = nullptr;
    QLabel* m_bitrateLabel = nullptr;
    QComboBox* m_bitrate = nullptr;
    QCheckBox* m_splitByTracks = nullptr;
    QCheckBox* m_splitBySize = nullptr;
    QCheckBox* m_prebuffering = nullptr;
    QCheckBox* m_dontWriteExisting = nullptr;
};
