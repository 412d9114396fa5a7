#include "ui/AccountManagerView.h"

#include "ui/AccountManagerViewModel.h"
#include "ui/AccountRow.h"
#include "ui/AddAccountView.h"
#include "ui/Glyphs.h"
#include "ui/MissedResultReportView.h"

#include <QFrame>
#include <QHBoxLayout>
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

QLabel* secondary(const QString& text, qreal scale = 1.0) {
    auto* result = label(text, scale);
    QPalette palette = result->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    result->setPalette(palette);
    result->setWordWrap(true);
    return result;
}

QPushButton* addAccountButton(AccountManagerViewModel& viewModel, QWidget* parent) {
    auto* button =
        new QPushButton(glyphIcon(Glyph::plus, parent->palette().color(QPalette::ButtonText)),
                        QStringLiteral("Add account"));
    QObject::connect(button, &QPushButton::clicked, parent,
                     [&viewModel] { viewModel.presentAddAccount(); });
    return button;
}

QWidget* centred(std::initializer_list<QWidget*> widgets) {
    auto* page = new QWidget;
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
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Header.
    auto* header = new QHBoxLayout;
    header->setContentsMargins(22, 20, 22, 14);
    header->setSpacing(12);
    auto* tile = new QLabel;
    tile->setPixmap(brandTile(48, devicePixelRatioF()));
    header->addWidget(tile);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    titles->addStretch(1);
    titles->addWidget(label(QStringLiteral("Zevirudi"), 1.45, QFont::Bold));
    titles->addWidget(secondary(QStringLiteral("Sign-in codes and links from all your inboxes")));
    titles->addStretch(1);
    header->addLayout(titles, 1);
    header->addWidget(addAccountButton(viewModel_, this), 0, Qt::AlignVCenter);
    layout->addLayout(header);

    // Content: loading, empty, or the list.
    content_ = new QStackedWidget;
    auto* busy = new QProgressBar;
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    busy->setFixedWidth(180);
    auto* loading = secondary(QStringLiteral("Loading accounts…"));
    loading->setAlignment(Qt::AlignHCenter);
    content_->addWidget(centred({busy, loading}));

    auto* envelope = new QLabel;
    envelope->setPixmap(glyphPixmap(Glyph::envelope, palette().color(QPalette::PlaceholderText), 48,
                                    devicePixelRatioF()));
    auto* description = secondary(QStringLiteral(
        "Add each Gmail, Outlook, or Hotmail inbox that can receive your sign-in emails."));
    description->setAlignment(Qt::AlignHCenter);
    auto* addFirst = addAccountButton(viewModel_, this);
    addFirst->setDefault(true);
    content_->addWidget(
        centred({envelope, label(QStringLiteral("No mail accounts"), 1.25, QFont::DemiBold),
                 description, addFirst}));

    auto* listPageWidget = new QWidget;
    auto* listLayout = new QVBoxLayout(listPageWidget);
    listLayout->setContentsMargins(22, 4, 22, 12);
    listLayout->addWidget(secondary(QStringLiteral("Mail accounts"), 0.92));
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::StyledPanel);
    auto* rowsHolder = new QWidget;
    rowsHolder->setBackgroundRole(QPalette::Base);
    rowsHolder->setAutoFillBackground(true);
    rows_ = new QVBoxLayout(rowsHolder);
    rows_->setContentsMargins(0, 0, 0, 0);
    rows_->setSpacing(0);
    scroll->setWidget(rowsHolder);
    listLayout->addWidget(scroll, 1);
    check_ = new QPushButton;
    QObject::connect(check_, &QPushButton::clicked, this, [this] { viewModel_.checkAccounts(); });
    listLayout->addWidget(check_, 0, Qt::AlignLeft);
    content_->addWidget(listPageWidget);
    layout->addWidget(content_, 1);

    // Footer.
    auto* rule = new QFrame;
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Plain);
    rule->setStyleSheet(QStringLiteral("color: rgba(128, 128, 128, 0.3);"));
    layout->addWidget(rule);
    auto* footer = new QFrame;
    footer->setAutoFillBackground(true);
    QPalette footerPalette = footer->palette();
    QColor shade = footerPalette.color(QPalette::Button);
    shade.setAlphaF(0.55f);
    footerPalette.setColor(QPalette::Window, shade);
    footer->setPalette(footerPalette);
    footer->setFrameShape(QFrame::NoFrame);
    auto* status = new QVBoxLayout(footer);
    status->setContentsMargins(22, 10, 22, 12);
    status->setSpacing(2);
    auto* statusLine = new QHBoxLayout;
    statusLine->setSpacing(6);
    chromeGlyph_ = new QLabel;
    chromeText_ = label(QString(), 1.0, QFont::Medium);
    statusLine->addWidget(chromeGlyph_);
    statusLine->addWidget(chromeText_, 1);
    status->addLayout(statusLine);
    status->addWidget(secondary(
        QStringLiteral("The helper starts only when Chrome asks for a recent sign-in email."),
        0.88));
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 6, 0, 0);
    auto* report = new QPushButton(QStringLiteral("Report missed result"));
    QObject::connect(report, &QPushButton::clicked, this, &AccountManagerView::presentReport);
    buttons->addWidget(report);
    auto* install = new QPushButton(QStringLiteral("Install extension"));
    QObject::connect(install, &QPushButton::clicked, this,
                     [this] { viewModel_.openChromeSetup(); });
    buttons->addWidget(install);
    buttons->addStretch(1);
    status->addLayout(buttons);
    layout->addWidget(footer);

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
    refresh();
    refreshSheet();
    refreshAlert();
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
    for (std::size_t index = 0; index < accounts.size(); ++index) {
        const auto& account = accounts[index];
        const auto& checks = viewModel_.accountChecks();
        const auto found = std::find_if(checks.begin(), checks.end(), [&](const auto& check) {
            return check.accountID == account.id;
        });
        std::optional<loftwing::AccountCheck> check;
        if (found != checks.end()) {
            check = *found;
        }
        if (index > 0) {
            auto* line = new QFrame;
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Plain);
            line->setStyleSheet(QStringLiteral("color: rgba(128, 128, 128, 0.25);"));
            rows_->addWidget(line);
        }
        rows_->addWidget(new AccountRow(
            account, check, isBusy,
            [this, account] {
                viewModel_.connect(account.provider, QString::fromStdString(account.email));
            },
            [this, account] { viewModel_.remove(account); }));
    }
    rows_->addStretch(1);
    check_->setText(viewModel_.isCheckingAccounts() ? QStringLiteral("Checking mail access…")
                                                    : QStringLiteral("Check mail access"));
    check_->setEnabled(!isBusy);

    const bool installed = viewModel_.chromeState().has_value();
    chromeGlyph_->setPixmap(
        installed
            ? glyphPixmap(Glyph::checkCircle, QColor(0x2E, 0x9E, 0x44), 16, devicePixelRatioF())
            : glyphPixmap(Glyph::warningTriangle, QColor(0xD9, 0x6C, 0x00), 16,
                          devicePixelRatioF()));
    chromeText_->setText(installed ? QStringLiteral("Chrome connection installed")
                                   : QStringLiteral("Chrome connection not installed"));
}

void AccountManagerView::presentReport() {
    const auto* configuration = viewModel_.configuration();
    auto* sheet = new MissedResultReportView(
        viewModel_.accounts(), viewModel_.chromeState().has_value(),
        configuration != nullptr && configuration->google.isConfigured(),
        configuration != nullptr && configuration->microsoft.isConfigured(), this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->open();
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
        if (alert_) {
            alert_->close();
        }
        return;
    }
    if (!alert_) {
        alert_ = new QMessageBox(QMessageBox::Warning, QStringLiteral("Zevirudi"), QString(),
                                 QMessageBox::Ok, this);
        alert_->setAttribute(Qt::WA_DeleteOnClose);
        alert_->setWindowModality(Qt::WindowModal);
        QObject::connect(alert_, &QDialog::finished, this,
                         [this] { viewModel_.clearErrorMessage(); });
        alert_->open();
    }
    alert_->setText(*message);
}

}  // namespace zevirudi
