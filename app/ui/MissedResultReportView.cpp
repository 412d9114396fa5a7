#include "ui/MissedResultReportView.h"

#include "reports/MissedResultReportBuilder.h"
#include "support/LogSink.h"
#include "ui/IconPixmaps.h"
#include "ui/ReportDiagnostics.h"
#include "ui/ScreenColours.h"

#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QDesktopServices>
#include <QEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>

namespace zevirudi {
namespace {

namespace Builder = loftwing::MissedResultReportBuilder;

constexpr int sheetWidth = 560;
constexpr int sheetHeight = 680;
constexpr int labelColumnWidth = 74;
constexpr int previewHeight = 190;

// The desktop theme's icon when it has one; otherwise the bundled drawing, painted in `tint`
// so that it reads on light and dark windows alike.
QPixmap themedPixmap(const char* themeName, const char* fallback, int size, qreal ratio,
                     const QColor& tint) {
    const QIcon themed = QIcon::fromTheme(QString::fromLatin1(themeName));
    if (!themed.isNull()) {
        return themed.pixmap(QSize(size, size), ratio);
    }
    const QPixmap pixmap = bundledPixmap(fallback, size, ratio);
    return pixmap.isNull() ? pixmap : tinted(pixmap, tint);
}

// The privacy notice's tinted, rounded card.
class NoticeCard : public QFrame {
  public:
    using QFrame::QFrame;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = palette().color(QPalette::Highlight);
        fill.setAlphaF(isDark(palette()) ? 0.18f : 0.09f);
        QColor border = palette().color(QPalette::Highlight);
        border.setAlphaF(0.35f);
        painter.setPen(QPen(border, 1));
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    }
};

QFrame* separator(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QLabel* rowLabel(const char* text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setBuddy(buddy);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setMinimumWidth(labelColumnWidth);
    buddy->setAccessibleName(QString::fromUtf8(text));
    return label;
}

QPushButton* button(const char* text, QWidget* parent) {
    auto* pushButton = new QPushButton(QString::fromUtf8(text), parent);
    pushButton->setAccessibleName(QString::fromUtf8(text));
    // Return in a text field must never close the sheet or send the report.
    pushButton->setAutoDefault(false);
    return pushButton;
}

loftwing::Timestamp timestamp(const QDateTime& time) {
    return loftwing::Timestamp(std::chrono::milliseconds(time.toMSecsSinceEpoch()));
}

}  // namespace

MissedResultReportView::MissedResultReportView(std::vector<loftwing::ConnectedAccount> accounts,
                                               bool chromeConnectionInstalled,
                                               bool googleConfigured, bool microsoftConfigured,
                                               QWidget* parent)
    : QDialog(parent),
      accounts_(std::move(accounts)),
      chromeConnectionInstalled_(chromeConnectionInstalled),
      googleConfigured_(googleConfigured),
      microsoftConfigured_(microsoftConfigured),
      appVersion_(bundledAppVersionText()),
      systemVersion_(operatingSystemVersionText()) {
    setWindowTitle(QStringLiteral("Report a missed result"));
    setAccessibleName(QStringLiteral("Report a missed result"));
    setFixedSize(sheetWidth, sheetHeight);
    setModal(true);

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(makeForm());
    scroll->setAccessibleName(QStringLiteral("Missed result details"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeHeader());
    layout->addWidget(separator(this));
    layout->addWidget(scroll, 1);
    layout->addWidget(separator(this));
    layout->addWidget(makeFooter());

    setTabOrder(siteField_, kindPicker_);
    setTabOrder(kindPicker_, mailboxPicker_);
    setTabOrder(mailboxPicker_, senderField_);
    setTabOrder(senderField_, subjectField_);
    setTabOrder(subjectField_, arrivalPicker_);
    setTabOrder(arrivalPicker_, notesField_);
    setTabOrder(notesField_, reportPreview_);
    setTabOrder(reportPreview_, copyButton_);
    setTabOrder(copyButton_, shareButton_);
    setTabOrder(shareButton_, closeButton_);

    connect(siteField_, &QLineEdit::textChanged, this, &MissedResultReportView::rebuild);
    connect(senderField_, &QLineEdit::textChanged, this, &MissedResultReportView::rebuild);
    connect(subjectField_, &QLineEdit::textChanged, this, &MissedResultReportView::rebuild);
    connect(kindPicker_, &QComboBox::currentIndexChanged, this, &MissedResultReportView::rebuild);
    connect(mailboxPicker_, &QComboBox::currentIndexChanged, this,
            &MissedResultReportView::rebuild);
    connect(arrivalPicker_, &QDateTimeEdit::dateTimeChanged, this,
            &MissedResultReportView::rebuild);
    connect(notesField_, &QPlainTextEdit::textChanged, this, [this] {
        fitNotesHeight();
        rebuild();
    });
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::reject);
    connect(copyButton_, &QPushButton::clicked, this, &MissedResultReportView::copyReport);
    connect(shareButton_, &QPushButton::clicked, this, &MissedResultReportView::shareReport);

    applyPaletteColours();
    fitNotesHeight();
    rebuild();
}

QWidget* MissedResultReportView::makeHeader() {
    auto* header = new QWidget(this);
    headerIcon_ = new QLabel(header);
    auto* title = new QLabel(QStringLiteral("Report a missed result"), header);
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setAccessibleName(title->text());
    auto* caption =
        new QLabel(QStringLiteral("Prepare a privacy-safe report for Zevirudi support"), header);
    caption->setObjectName(QStringLiteral("secondary"));
    caption->setAccessibleName(caption->text());
    closeButton_ = button("Close", header);

    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    titles->addWidget(title);
    titles->addWidget(caption);
    auto* layout = new QHBoxLayout(header);
    layout->setContentsMargins(20, 16, 16, 14);
    layout->setSpacing(12);
    layout->addWidget(headerIcon_, 0, Qt::AlignTop);
    layout->addLayout(titles, 1);
    layout->addWidget(closeButton_, 0, Qt::AlignTop);
    return header;
}

QWidget* MissedResultReportView::makeForm() {
    auto* form = new QWidget;
    auto* notice = new NoticeCard(form);
    noticeIcon_ = new QLabel(notice);
    auto* noticeText = new QLabel(
        QStringLiteral("Enter only the email sender and subject. Do not paste the email body, a "
                       "one-time code, or a full sign-in link."),
        notice);
    noticeText->setWordWrap(true);
    noticeText->setAccessibleName(noticeText->text());
    auto* noticeLayout = new QHBoxLayout(notice);
    noticeLayout->setContentsMargins(12, 10, 12, 10);
    noticeLayout->setSpacing(10);
    noticeLayout->addWidget(noticeIcon_, 0, Qt::AlignTop);
    noticeLayout->addWidget(noticeText, 1);

    siteField_ = new QLineEdit(form);
    siteField_->setPlaceholderText(QStringLiteral("example.com/sign-in"));
    validationCaption_ = new QLabel(QStringLiteral("Enter a valid website address."), form);
    validationCaption_->setAccessibleName(validationCaption_->text());
    QFont captionFont = validationCaption_->font();
    captionFont.setPointSizeF(captionFont.pointSizeF() * 0.9);
    validationCaption_->setFont(captionFont);
    validationCaption_->hide();

    kindPicker_ = new QComboBox(form);
    for (const auto kind : loftwing::allMissedResultKinds) {
        kindPicker_->addItem(QString::fromUtf8(loftwing::displayName(kind)),
                             QString::fromUtf8(loftwing::rawValue(kind)));
    }
    kindPicker_->setCurrentIndex(kindPicker_->findData(
        QString::fromUtf8(loftwing::rawValue(loftwing::MissedResultKind::unsure))));

    mailboxPicker_ = new QComboBox(form);
    mailboxPicker_->addItem(QStringLiteral("Not sure"), QString());
    for (const auto& account : accounts_) {
        mailboxPicker_->addItem(QString::fromStdString(account.email) + QStringLiteral(" · ") +
                                    QString::fromUtf8(loftwing::displayName(account.provider)),
                                QString::fromStdString(account.id));
    }

    senderField_ = new QLineEdit(form);
    senderField_->setPlaceholderText(QStringLiteral("no-reply@example.com"));
    subjectField_ = new QLineEdit(form);
    subjectField_->setPlaceholderText(QStringLiteral("Email subject"));
    arrivalPicker_ = new QDateTimeEdit(QDateTime::currentDateTime(), form);
    arrivalPicker_->setCalendarPopup(true);
    arrivalPicker_->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat) +
                                     QStringLiteral(" HH:mm"));
    notesField_ = new QPlainTextEdit(form);
    notesField_->setPlaceholderText(QStringLiteral("What did you expect to happen?"));
    notesField_->setTabChangesFocus(true);

    auto* rows = new QGridLayout;
    rows->setHorizontalSpacing(12);
    rows->setVerticalSpacing(10);
    rows->setColumnMinimumWidth(0, labelColumnWidth);
    rows->addWidget(rowLabel("Website", siteField_, form), 0, 0);
    rows->addWidget(siteField_, 0, 1);
    rows->addWidget(validationCaption_, 1, 1);
    rows->addWidget(rowLabel("Expected result", kindPicker_, form), 2, 0);
    rows->addWidget(kindPicker_, 2, 1);
    rows->addWidget(rowLabel("Mailbox", mailboxPicker_, form), 3, 0);
    rows->addWidget(mailboxPicker_, 3, 1);
    rows->addWidget(rowLabel("Sender", senderField_, form), 4, 0);
    rows->addWidget(senderField_, 4, 1);
    rows->addWidget(rowLabel("Subject", subjectField_, form), 5, 0);
    rows->addWidget(subjectField_, 5, 1);
    rows->addWidget(rowLabel("Arrived", arrivalPicker_, form), 6, 0);
    rows->addWidget(arrivalPicker_, 6, 1);
    arrivalPicker_->setAccessibleName(QStringLiteral("Email arrival time"));
    QLabel* notesLabel = rowLabel("Notes", notesField_, form);
    notesLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    rows->addWidget(notesLabel, 7, 0, Qt::AlignTop);
    rows->addWidget(notesField_, 7, 1);
    // The wrapped labels ("Expected result") take the column's width and wrap at word breaks.
    for (int row = 0; row < rows->rowCount(); ++row) {
        if (auto* item = rows->itemAtPosition(row, 0)) {
            if (auto* label = qobject_cast<QLabel*>(item->widget())) {
                label->setWordWrap(true);
                label->setMaximumWidth(labelColumnWidth);
            }
        }
    }

    auto* reviewTitle = new QLabel(QStringLiteral("Review before sharing"), form);
    QFont reviewFont = reviewTitle->font();
    reviewFont.setBold(true);
    reviewTitle->setFont(reviewFont);
    reportPreview_ = new QPlainTextEdit(form);
    reportPreview_->setReadOnly(true);
    reportPreview_->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                            Qt::TextSelectableByKeyboard);
    reportPreview_->setTabChangesFocus(true);
    reportPreview_->setFixedHeight(previewHeight);
    reportPreview_->setFrameShape(QFrame::StyledPanel);
    reportPreview_->setAccessibleName(QStringLiteral("Review before sharing"));
    QFont monospace = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    monospace.setPointSizeF(std::max(7.0, reviewFont.pointSizeF() * 0.85));
    reportPreview_->setFont(monospace);
    reviewTitle->setBuddy(reportPreview_);

    auto* layout = new QVBoxLayout(form);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(14);
    layout->addWidget(notice);
    layout->addLayout(rows);
    layout->addSpacing(4);
    layout->addWidget(reviewTitle);
    layout->addWidget(reportPreview_);
    layout->addStretch(1);
    return form;
}

QWidget* MissedResultReportView::makeFooter() {
    auto* footer = new QWidget(this);
    statusCaption_ = new QLabel(footer);
    statusCaption_->setWordWrap(true);
    QFont captionFont = statusCaption_->font();
    captionFont.setPointSizeF(captionFont.pointSizeF() * 0.9);
    statusCaption_->setFont(captionFont);
    copyButton_ = button("Copy report", footer);
    shareButton_ = button("Share report", footer);

    auto* layout = new QHBoxLayout(footer);
    layout->setContentsMargins(20, 12, 16, 14);
    layout->setSpacing(8);
    layout->addWidget(statusCaption_, 1);
    layout->addWidget(copyButton_);
    layout->addWidget(shareButton_);
    return footer;
}

void MissedResultReportView::rebuild() {
    const std::string site = siteField_->text().toStdString();
    const bool siteIsValid = Builder::normalizedSiteAddress(site).has_value();
    validationCaption_->setVisible(!site.empty() && !siteIsValid);

    const QString selectedAccountID = mailboxPicker_->currentData().toString();
    std::optional<loftwing::ConnectedAccount> selectedAccount;
    for (const auto& account : accounts_) {
        if (!selectedAccountID.isEmpty() &&
            QString::fromStdString(account.id) == selectedAccountID) {
            selectedAccount = account;
            break;
        }
    }
    const auto kind =
        loftwing::missedResultKindFromRawValue(kindPicker_->currentData().toString().toStdString())
            .value_or(loftwing::MissedResultKind::unsure);
    const loftwing::MissedResultReportDraft draft{site,
                                                  kind,
                                                  selectedAccount,
                                                  senderField_->text().toStdString(),
                                                  subjectField_->text().toStdString(),
                                                  timestamp(arrivalPicker_->dateTime()),
                                                  notesField_->toPlainText().toStdString()};
    const loftwing::MissedResultDiagnostics diagnostics{appVersion_,
                                                        systemVersion_,
                                                        chromeConnectionInstalled_,
                                                        static_cast<std::int64_t>(accounts_.size()),
                                                        googleConfigured_,
                                                        microsoftConfigured_};
    reportText_ = Builder::make(draft, diagnostics);

    // Keep the reader's place in the preview while the text under it changes.
    const int scrolled = reportPreview_->verticalScrollBar()->value();
    reportPreview_->setPlainText(QString::fromStdString(reportText_));
    reportPreview_->verticalScrollBar()->setValue(scrolled);

    copyButton_->setEnabled(siteIsValid);
    shareButton_->setEnabled(siteIsValid);
    statusCaption_->setText(
        copied_ ? QStringLiteral("Copied to clipboard")
                : QStringLiteral("Nothing is sent until you choose a share destination."));
    statusCaption_->setAccessibleName(statusCaption_->text());
    setTextColour(statusCaption_, copied_ ? greenColour(palette()) : secondaryColour(palette()));
}

void MissedResultReportView::copyReport() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(QString::fromStdString(reportText_));
    copied_ = true;
    rebuild();
}

void MissedResultReportView::shareReport() {
    if (!QDesktopServices::openUrl(reportMailURL(reportText_))) {
        loftwing::logMessage(loftwing::LogLevel::warning, "report",
                             "No mail composer opened the missed-result report");
    }
}

void MissedResultReportView::fitNotesHeight() {
    int lines = 0;
    for (QTextBlock block = notesField_->document()->begin(); block.isValid();
         block = block.next()) {
        lines += std::max(1, block.layout() != nullptr ? block.layout()->lineCount() : 1);
    }
    const int shown = std::clamp(lines, 2, 4);
    const int documentMargin = static_cast<int>(notesField_->document()->documentMargin());
    notesField_->setFixedHeight(shown * notesField_->fontMetrics().lineSpacing() +
                                2 * (documentMargin + notesField_->frameWidth()) + 2);
}

void MissedResultReportView::applyPaletteColours() {
    const QPalette colours = palette();
    const qreal ratio = devicePixelRatioF();
    headerIcon_->setPixmap(themedPixmap("tools-report-bug", ":/zevirudi/report/report-ladybug.svg",
                                        32, ratio, colours.color(QPalette::Highlight)));
    noticeIcon_->setPixmap(
        themedPixmap("dialog-warning", ":/zevirudi/report/report-hand-raised.svg", 20, ratio,
                     isDark(colours) ? QColor(0xf8, 0xc1, 0x4a) : QColor(0xc6, 0x6a, 0x00)));
    for (auto* secondary : findChildren<QLabel*>(QStringLiteral("secondary"))) {
        setTextColour(secondary, secondaryColour(colours));
    }
    setTextColour(validationCaption_, redColour(colours));

    showAsMainAction(shareButton_);
    shareButton_->setIcon(QIcon(themedPixmap("mail-send", ":/zevirudi/report/report-share.svg", 16,
                                             ratio, colours.color(QPalette::HighlightedText))));
    setTextColour(statusCaption_, copied_ ? greenColour(colours) : secondaryColour(colours));
}

void MissedResultReportView::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    siteField_->setFocus(Qt::OtherFocusReason);
}

void MissedResultReportView::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyPaletteColours();
    }
}

QUrl reportMailURL(const std::string& report) {
    QString body = QString::fromStdString(report);
    body.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return QUrl::fromEncoded(
        "mailto:?subject=" + QUrl::toPercentEncoding(QStringLiteral("Zevirudi missed result")) +
            "&body=" + QUrl::toPercentEncoding(body),
        QUrl::StrictMode);
}

}  // namespace zevirudi
