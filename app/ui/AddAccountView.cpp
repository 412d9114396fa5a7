#include "ui/AddAccountView.h"

#include "ui/AccountManagerViewModel.h"

#include "support/Text.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zevirudi {
namespace {

QLabel* heading(const QString& text) {
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    return label;
}

QLabel* coloured(const QColor& color) {
    auto* label = new QLabel;
    label->setWordWrap(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

}  // namespace

bool AddAccountView::emailIsValid(const QString& email) {
    const auto trimmed = loftwing::trimmingWhitespaceAndNewlines(email.toStdString());
    return trimmed.find('@') != std::string::npos && trimmed.find(' ') == std::string::npos;
}

bool AddAccountView::providerIsConfigured() const {
    const auto* configuration = viewModel_.configuration();
    return configuration != nullptr && configuration->provider(provider_).isConfigured();
}

AddAccountView::AddAccountView(AccountManagerViewModel& viewModel, QWidget* parent)
    : QDialog(parent), viewModel_(viewModel) {
    setWindowTitle(QStringLiteral("Add mail account"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(420);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(22, 20, 22, 18);
    layout->setSpacing(8);

    auto* title = new QLabel(QStringLiteral("Add mail account"));
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.35);
    titleFont.setWeight(QFont::Bold);
    title->setFont(titleFont);
    layout->addWidget(title);
    layout->addSpacing(6);

    layout->addWidget(heading(QStringLiteral("Mail provider")));
    auto* segments = new QHBoxLayout;
    segments->setSpacing(0);
    auto* group = new QButtonGroup(this);
    for (const auto& [provider, label] :
         {std::pair{loftwing::MailProvider::google, QStringLiteral("Gmail")},
          std::pair{loftwing::MailProvider::microsoft, QStringLiteral("Outlook / Hotmail")}}) {
        auto* segment = new QPushButton(label);
        segment->setCheckable(true);
        segment->setChecked(provider == provider_);
        segment->setAutoDefault(false);
        group->addButton(segment);
        segments->addWidget(segment, 1);
        QObject::connect(segment, &QPushButton::toggled, this,
                         [this, provider = provider](bool on) {
                             if (on) {
                                 provider_ = provider;
                                 refresh();
                             }
                         });
    }
    layout->addLayout(segments);
    notConfigured_ = coloured(QColor(0xD9, 0x6C, 0x00));
    layout->addWidget(notConfigured_);
    error_ = coloured(QColor(0xC6, 0x28, 0x28));
    layout->addWidget(error_);

    layout->addSpacing(4);
    layout->addWidget(heading(QStringLiteral("Email address")));
    email_ = new QLineEdit;
    email_->setPlaceholderText(QStringLiteral("name@example.com"));
    layout->addWidget(email_);
    auto* hint = coloured(palette().color(QPalette::PlaceholderText));
    hint->setText(QStringLiteral(
        "You will approve read-only inbox access on the provider's own sign-in page."));
    layout->addWidget(hint);

    layout->addSpacing(10);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setAutoDefault(false);
    buttons->addWidget(cancel);
    continue_ = new QPushButton(QStringLiteral("Continue"));
    continue_->setDefault(true);
    buttons->addWidget(continue_);
    layout->addLayout(buttons);

    QObject::connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    QObject::connect(continue_, &QPushButton::clicked, this, &AddAccountView::startConnection);
    QObject::connect(email_, &QLineEdit::returnPressed, this, [this] {
        if (emailIsValid(email_->text())) {
            startConnection();
        }
    });
    QObject::connect(email_, &QLineEdit::textChanged, this, &AddAccountView::refresh);
    QObject::connect(&viewModel_, &AccountManagerViewModel::isConnectingChanged, this,
                     &AddAccountView::refresh);
    QObject::connect(&viewModel_, &AccountManagerViewModel::errorMessageChanged, this,
                     &AddAccountView::refresh);
    refresh();
    email_->setFocus();
}

void AddAccountView::refresh() {
    const bool configured = providerIsConfigured();
    notConfigured_->setVisible(!configured);
    notConfigured_->setText(
        provider_ == loftwing::MailProvider::google
            ? QStringLiteral("The Google OAuth client is not configured in this test build.")
            : QStringLiteral("The Microsoft OAuth client is not configured in this test build."));
    const auto& message = viewModel_.errorMessage();
    error_->setVisible(message.has_value());
    error_->setText(message.value_or(QString()));
    error_->setAccessibleName(QStringLiteral("Account connection error: ") +
                              message.value_or(QString()));
    continue_->setText(viewModel_.isConnecting() ? QStringLiteral("Connecting…")
                                                 : QStringLiteral("Continue"));
    continue_->setEnabled(emailIsValid(email_->text()) && !viewModel_.isConnecting() && configured);
}

void AddAccountView::startConnection() {
    viewModel_.connect(provider_, email_->text()).then(this, [this](bool connected) {
        if (connected) {
            accept();
        }
    });
}

}  // namespace zevirudi
