#pragma once

#include "records/AccountRecords.h"

#include <QDialog>
#include <QUrl>

#include <string>
#include <vector>

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace zevirudi {

// The sheet in which the user describes a sign-in code or link that did not show up, reviews the
// privacy-redacted report and copies it or hands it to the mail composer. Nothing leaves the
// machine unless the user does one of the two; closing the sheet discards everything it held.
class MissedResultReportView : public QDialog {
  public:
    MissedResultReportView(std::vector<loftwing::ConnectedAccount> accounts,
                           bool chromeConnectionInstalled, bool googleConfigured,
                           bool microsoftConfigured, QWidget* parent = nullptr);

    // The report of the moment: what the preview shows, Copy report copies and Share report
    // sends. Every edit rebuilds it.
    const std::string& reportText() const { return reportText_; }

    QLineEdit* siteField() const { return siteField_; }
    QLabel* validationCaption() const { return validationCaption_; }
    QComboBox* kindPicker() const { return kindPicker_; }
    QComboBox* mailboxPicker() const { return mailboxPicker_; }
    QLineEdit* senderField() const { return senderField_; }
    QLineEdit* subjectField() const { return subjectField_; }
    QDateTimeEdit* arrivalPicker() const { return arrivalPicker_; }
    QPlainTextEdit* notesField() const { return notesField_; }
    QPlainTextEdit* reportPreview() const { return reportPreview_; }
    QLabel* statusCaption() const { return statusCaption_; }
    QPushButton* copyButton() const { return copyButton_; }
    QPushButton* shareButton() const { return shareButton_; }
    QPushButton* closeButton() const { return closeButton_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    QWidget* makeHeader();
    QWidget* makeForm();
    QWidget* makeFooter();
    void rebuild();
    void copyReport();
    void shareReport();
    void fitNotesHeight();
    // Colours and icon tints derived from the palette, so that a switch to or from dark mode
    // repaints the sheet in the new colours.
    void applyPaletteColours();

    std::vector<loftwing::ConnectedAccount> accounts_;
    bool chromeConnectionInstalled_;
    bool googleConfigured_;
    bool microsoftConfigured_;
    std::string appVersion_;
    std::string systemVersion_;
    bool copied_ = false;
    std::string reportText_;

    QLabel* headerIcon_ = nullptr;
    QLabel* noticeIcon_ = nullptr;
    QLineEdit* siteField_ = nullptr;
    QLabel* validationCaption_ = nullptr;
    QComboBox* kindPicker_ = nullptr;
    QComboBox* mailboxPicker_ = nullptr;
    QLineEdit* senderField_ = nullptr;
    QLineEdit* subjectField_ = nullptr;
    QDateTimeEdit* arrivalPicker_ = nullptr;
    QPlainTextEdit* notesField_ = nullptr;
    QPlainTextEdit* reportPreview_ = nullptr;
    QLabel* statusCaption_ = nullptr;
    QPushButton* copyButton_ = nullptr;
    QPushButton* shareButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
};

// The mail composer's address for a report: mailto: with the subject "Zevirudi missed result"
// and the report as body, its line breaks written as CRLF.
QUrl reportMailURL(const std::string& report);

}  // namespace zevirudi
