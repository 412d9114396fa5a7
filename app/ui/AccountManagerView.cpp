#include "ui/AccountManagerView.h"

#include "ui/AccountManagerViewModel.h"
#include "ui/AccountRow.h"
#include "ui/AddAccountView.h"
#include "ui/Glyphs.h"
#include "ui/MissedResultReportView.h"
#include "ui/ScreenColours.h"

#include <QAbstractButton>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace zevirudi {
namespace {

enum Page { loadingPage, emptyPage, listPage };

QLabel* label(const QString& text, qreal scale = 1.0, QFont::Weight weight = QFont::Normal) {
    auto* result = new QLabel(text);
    QFont font = result->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setWeight(weight);
    result->setFont(font);
    return result;
}

// Secondary texts are found again by their name when the palette changes.
QLabel* secondary(const QString& text, qreal scale = 1.0) {
    auto* result = label(text, scale);
    result->setObjectName(QStringLiteral("secondary"));
    result->setWordWrap(true);
    return result;
}

QPushButton* button(const QString& text, const char* name) {
    auto* result = new QPushButton(text);
    result->setObjectName(QString::fromLatin1(name));
    result->setAccessibleName(text);
    return result;
}

QWidget* centred(const char* name, std::initializer_list<QWidget*> widgets) {
    auto* page = new QWidget;
    page->setObjectName(QString::fromLatin1(name));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(96, 0, 96, 0);
    layout->setSpacing(10);
    layout->addStretch(1);
    for (auto* widget : widgets) {
        // Wrapped text takes the column's width, so that its height follows its lines.
        auto* text = qobject_cast<QLabel*>(widget);
        layout->addWidget(widget, 0, text && text->wordWrap() ? Qt::Alignment() : Qt::AlignHCenter);
    }
    layout->addStretch(1);
    return page;
}

}  // namespace

AccountManagerView::AccountManagerView(AccountManagerViewModel& viewModel, QWidget* parent)
    : QWidget(parent), viewModel_(viewModel) {
    setFixedSize(570, 520);
    setAccessibleName(QStringLiteral("Zevirudi"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Header.
    auto* header = new QHBoxLayout;
    header->setContentsMargins(22, 20, 22, 14);
    header->setSpacing(12);
    tile_ = new QLabel;
    tile_->setFixedSize(48, 48);
    header->addWidget(tile_);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    titles->addStretch(1);
    titles->addWidget(label(QStringLiteral("Zevirudi"), 1.45, QFont::Bold));
    titles->addWidget(secondary(QStringLiteral("Sign-in codes and links from all your inboxes")));
    titles->addStretch(1);
    header->addLayout(titles, 1);
    // Ctrl+N belongs to the window's "Add Account" menu command, which does the same; a second
    // owner of the key would make Qt refuse it as ambiguous.
    addAccount_ = button(QStringLiteral("Add account"), "addAccount");
    addAccount_->setToolTip(
        QStringLiteral("Add account (%1)")
            .arg(QKeySequence(QKeySequence::New).toString(QKeySequence::NativeText)));
    QObject::connect(addAccount_, &QPushButton::clicked, this,
                     [this] { viewModel_.presentAddAccount(); });
    header->addWidget(addAccount_, 0, Qt::AlignVCenter);
    layout->addLayout(header);

    // Content: loading, empty, or the list.
    content_ = new QStackedWidget;
    auto* busy = new QProgressBar;
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    busy->setFixedWidth(180);
    busy->setAccessibleName(QStringLiteral("Loading accounts…"));
    auto* loading = secondary(QStringLiteral("Loading accounts…"));
    loading->setAlignment(Qt::AlignHCenter);
    content_->addWidget(centred("loading", {busy, loading}));

    emptySymbol_ = new QLabel;
    auto* description = secondary(QStringLiteral(
        "Add each Gmail, Outlook, or Hotmail inbox that can receive your sign-in emails."));
    description->setAlignment(Qt::AlignHCenter);
    addFirstAccount_ = button(QStringLiteral("Add account"), "addFirstAccount");
    addFirstAccount_->setAccessibleDescription(description->text());
    QObject::connect(addFirstAccount_, &QPushButton::clicked, this,
                     [this] { viewModel_.presentAddAccount(); });
    auto* emptyTitle = label(QStringLiteral("No mail accounts"), 1.25, QFont::DemiBold);
    content_->addWidget(
        centred("empty", {emptySymbol_, emptyTitle, description, addFirstAccount_}));

    auto* listPageWidget = new QWidget;
    listPageWidget->setObjectName(QStringLiteral("list"));
    auto* listLayout = new QVBoxLayout(listPageWidget);
    listLayout->setContentsMargins(22, 4, 22, 12);
    listLayout->setSpacing(6);
    auto* section = label(QStringLiteral("Mail accounts"), 0.92, QFont::DemiBold);
    section->setObjectName(QStringLiteral("secondary"));
    listLayout->addWidget(section);
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::StyledPanel);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setAccessibleName(QStringLiteral("Mail accounts"));
    auto* rowsHolder = new QWidget;
    rowsHolder->setBackgroundRole(QPalette::Base);
    rowsHolder->setAutoFillBackground(true);
    rows_ = new QVBoxLayout(rowsHolder);
    rows_->setContentsMargins(0, 0, 0, 0);
    rows_->setSpacing(0);
    scroll->setWidget(rowsHolder);
    listLayout->addWidget(scroll, 1);
    check_ = button(QStringLiteral("Check mail access"), "checkMailAccess");
    QObject::connect(check_, &QPushButton::clicked, this, [this] { viewModel_.checkAccounts(); });
    listLayout->addWidget(check_, 0, Qt::AlignLeft);
    content_->addWidget(listPageWidget);
    layout->addWidget(content_, 1);

    // Footer.
    auto* rule = new QFrame;
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    layout->addWidget(rule);
    footer_ = new QFrame;
    footer_->setAutoFillBackground(true);
    footer_->setFrameShape(QFrame::NoFrame);
    auto* status = new QVBoxLayout(footer_);
    status->setContentsMargins(22, 10, 22, 12);
    status->setSpacing(2);
    auto* statusLine = new QHBoxLayout;
    statusLine->setSpacing(6);
    chromeGlyph_ = new QLabel;
    chromeText_ = label(QString(), 1.0, QFont::Medium);
    chromeText_->setObjectName(QStringLiteral("chromeStatus"));
    statusLine->addWidget(chromeGlyph_);
    statusLine->addWidget(chromeText_, 1);
    status->addLayout(statusLine);
    status->addWidget(secondary(
        QStringLiteral("The helper starts only when Chrome asks for a recent sign-in email."),
        0.88));
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 6, 0, 0);
    auto* report = button(QStringLiteral("Report missed result"), "reportMissedResult");
    QObject::connect(report, &QPushButton::clicked, this, &AccountManagerView::presentReport);
    buttons->addWidget(report);
    auto* install = button(QStringLiteral("Install extension"), "installExtension");
    QObject::connect(install, &QPushButton::clicked, this,
                     [this] { viewModel_.openChromeSetup(); });
    buttons->addWidget(install);
    buttons->addStretch(1);
    status->addLayout(buttons);
    layout->addWidget(footer_);

    for (auto signal :
         {&AccountManagerViewModel::accountsChanged, &AccountManagerViewModel::accountChecksChanged,
          &AccountManagerViewModel::isLoadingChanged,
          &AccountManagerViewModel::isCheckingAccountsChanged,
          &AccountManagerViewModel::isConnectingChanged,
          &AccountManagerViewModel::chromeStateChanged}) {
        QObject::connect(&viewModel_, signal, this, &AccountManagerView::refresh);
    }
    QObject::connect(&viewModel_, &AccountManagerViewModel::presentedSheetChanged, this,
                     &AccountManagerView::refreshSheet);
    QObject::connect(&viewModel_, &AccountManagerViewModel::errorMessageChanged, this,
                     &AccountManagerView::refreshAlert);
    applyPaletteColours();
    refresh();
    refreshSheet();
    refreshAlert();
}

void AccountManagerView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyPaletteColours();
    }
}

void AccountManagerView::applyPaletteColours() {
    const QPalette colours = palette();
    const qreal ratio = devicePixelRatioF();
    tile_->setPixmap(brandTile(48, ratio));
    addAccount_->setIcon(glyphIcon(Glyph::plus, colours.color(QPalette::ButtonText), 14));
    addAccount_->setIconSize(QSize(14, 14));
    emptySymbol_->setPixmap(
        glyphPixmap(Glyph::envelopeBadgeOutline, secondaryColour(colours), 48, ratio));
    showAsMainAction(addFirstAccount_);
    addFirstAccount_->setIcon(glyphIcon(Glyph::plus, colours.color(QPalette::HighlightedText)));
    for (auto* text : findChildren<QLabel*>(QStringLiteral("secondary"))) {
        setTextColour(text, secondaryColour(colours));
    }
    // The control background (the list's Base colour) at 55 % over the window.
    QPalette footerColours = footer_->palette();
    const QColor shade = colours.color(QPalette::Base);
    const QColor window = colours.color(QPalette::Window);
    footerColours.setColor(QPalette::Window,
                           QColor::fromRgbF(shade.redF() * 0.55f + window.redF() * 0.45f,
                                            shade.greenF() * 0.55f + window.greenF() * 0.45f,
                                            shade.blueF() * 0.55f + window.blueF() * 0.45f));
    footer_->setPalette(footerColours);
    refreshChromeStatus();
}

void AccountManagerView::refresh() {
    const auto& accounts = viewModel_.accounts();
    content_->setCurrentIndex(viewModel_.isLoading() && accounts.empty() ? loadingPage
                              : accounts.empty()                         ? emptyPage
                                                                         : listPage);
    while (auto* item = rows_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const bool isBusy = viewModel_.isConnecting() || viewModel_.isCheckingAccounts();
    const auto& checks = viewModel_.accountChecks();
    for (std::size_t index = 0; index < accounts.size(); ++index) {
        const auto& account = accounts[index];
        const auto found = std::find_if(checks.begin(), checks.end(), [&](const auto& check) {
            return check.accountID == account.id;
        });
        if (index > 0) {
            auto* line = new QFrame;
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Plain);
            // A hairline in a palette role, so that it follows a switch to dark.
            line->setForegroundRole(QPalette::Midlight);
            rows_->addWidget(line);
            line->show();
        }
        auto* row = new AccountRow(
            account,
            found == checks.end() ? std::nullopt : std::optional<loftwing::AccountCheck>(*found),
            isBusy,
            [this, account] {
                viewModel_.connect(account.provider, QString::fromStdString(account.email));
            },
            [this, account] { viewModel_.remove(account); });
        rows_->addWidget(row);
        // Rows come and go while the list is on screen; a new child of a shown widget stays
        // hidden until shown.
        row->show();
    }
    rows_->addStretch(1);
    // Tab walks the window top to bottom: the rows were made after the footer, so they would
    // otherwise come last.
    QWidget* previous = addAccount_;
    for (auto* row : rows_->parentWidget()->findChildren<AccountRow*>()) {
        for (auto* control : row->findChildren<QAbstractButton*>()) {
            QWidget::setTabOrder(previous, control);
            previous = control;
        }
    }
    QWidget::setTabOrder(previous, check_);
    check_->setText(viewModel_.isCheckingAccounts() ? QStringLiteral("Checking mail access…")
                                                    : QStringLiteral("Check mail access"));
    check_->setAccessibleName(check_->text());
    check_->setEnabled(!isBusy);
    refreshChromeStatus();
}

void AccountManagerView::refreshChromeStatus() {
    const bool installed = viewModel_.chromeState().has_value();
    chromeGlyph_->setPixmap(installed ? glyphPixmap(Glyph::checkmarkCircleFill,
                                                    greenColour(palette()), 16, devicePixelRatioF())
                                      : glyphPixmap(Glyph::warningTriangle, orangeColour(palette()),
                                                    16, devicePixelRatioF()));
    chromeText_->setText(installed ? QStringLiteral("Chrome connection installed")
                                   : QStringLiteral("Chrome connection not installed"));
    chromeText_->setAccessibleName(chromeText_->text());
}

void AccountManagerView::presentReport() {
    if (report_) {
        return;
    }
    const auto* configuration = viewModel_.configuration();
    report_ = new MissedResultReportView(
        viewModel_.accounts(), viewModel_.chromeState().has_value(),
        configuration != nullptr && configuration->google.isConfigured(),
        configuration != nullptr && configuration->microsoft.isConfigured(), this);
    report_->setAttribute(Qt::WA_DeleteOnClose);
    report_->setWindowModality(Qt::WindowModal);
    report_->open();
}

void AccountManagerView::refreshSheet() {
    if (viewModel_.presentedSheet() && !sheet_) {
        sheet_ = new AddAccountView(viewModel_, this);
        sheet_->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(sheet_, &QDialog::finished, this, [this] { viewModel_.dismissSheet(); });
        sheet_->open();
    } else if (!viewModel_.presentedSheet() && sheet_) {
        sheet_->close();
    }
}

void AccountManagerView::refreshAlert() {
    const auto& message = viewModel_.errorMessage();
    if (!message) {
        // Forgotten at once: a message that follows before the closed alert is deleted gets an
        // alert of its own.
        if (QMessageBox* closing = alert_) {
            alert_ = nullptr;
            closing->close();
        }
        return;
    }
    if (!alert_) {
        // Over the add-account sheet when it is open, so that it is not hidden behind it.
        QWidget* over = sheet_ ? static_cast<QWidget*>(sheet_) : this;
        // The title inside the alert too: desktops attach modal dialogs without a title bar.
        alert_ = new QMessageBox(QMessageBox::Warning, QStringLiteral("Zevirudi"),
                                 QStringLiteral("Zevirudi"), QMessageBox::Ok, over);
        alert_->setTextFormat(Qt::PlainText);
        alert_->setIconPixmap(glyphPixmap(Glyph::warningTriangleFill, orangeColour(palette()), 40,
                                          devicePixelRatioF()));
        if (auto* title = alert_->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
            QFont bold = title->font();
            bold.setWeight(QFont::Bold);
            title->setFont(bold);
        }

        alert_->setAttribute(Qt::WA_DeleteOnClose);
        alert_->setWindowModality(Qt::WindowModal);
        QObject::connect(alert_, &QDialog::finished, this, [this, shown = alert_.data()] {
            if (alert_ == shown) {
                viewModel_.clearErrorMessage();
            }
        });
        alert_->open();
    }
    alert_->setInformativeText(*message);
    // Room for a sentence on one line, as the desktop's own alerts have; after the text, since
    // setting it lays the alert out anew.
    if (auto* grid = qobject_cast<QGridLayout*>(alert_->layout())) {
        grid->addItem(new QSpacerItem(340, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    alert_->setAccessibleName(QStringLiteral("Zevirudi"));
    alert_->setAccessibleDescription(*message);
}

}  // namespace zevirudi
