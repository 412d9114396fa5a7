#include "ui/AddAccountView.h"

#include "ui/AccountManagerViewModel.h"
#include "ui/Glyphs.h"
#include "ui/ScreenColours.h"

#include "support/Text.h"

#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
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

// A symbol and a wrapped text beside it, shown or hidden together.
QWidget* symbolLine(QLabel*& symbol, QLabel*& text, const char* name) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    symbol = new QLabel;
    symbol->setFixedSize(16, 16);
    layout->addWidget(symbol, 0, Qt::AlignTop);
    text = new QLabel;
    text->setObjectName(QString::fromLatin1(name));
    text->setWordWrap(true);
    layout->addWidget(text, 1);
    return row;
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
    setAccessibleName(QStringLiteral("Add mail account"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(440);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(22, 18, 22, 18);
    layout->setSpacing(8);

    // Title, and Cancel (Escape, as in every dialog).
    auto* top = new QHBoxLayout;
    auto* title = new QLabel(QStringLiteral("Add mail account"));
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.35);
    titleFont.setWeight(QFont::Bold);
    title->setFont(titleFont);
    top->addWidget(title, 1);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAccessibleName(QStringLiteral("Cancel"));
    cancel->setAutoDefault(false);
    top->addWidget(cancel);
    layout->addLayout(top);
    layout->addSpacing(6);

    // The provider as two joined segments; arrow keys move between them.
    auto* providerHeading = heading(QStringLiteral("Mail provider"));
    layout->addWidget(providerHeading);
    auto* segments = new QHBoxLayout;
    segments->setSpacing(0);
    auto* group = new QButtonGroup(this);
    for (const auto& [provider, text, name] :
         {std::tuple{loftwing::MailProvider::google, QStringLiteral("Gmail"), "providerGoogle"},
          std::tuple{loftwing::MailProvider::microsoft, QStringLiteral("Outlook / Hotmail"),
                     "providerMicrosoft"}}) {
        auto* segment = new QPushButton(text);
        segment->setObjectName(QString::fromLatin1(name));
        segment->setAccessibleName(text);
        segment->setAccessibleDescription(QStringLiteral("Mail provider"));
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
    providerHeading->setBuddy(group->buttons().front());
    layout->addLayout(segments);
    notConfiguredRow_ = symbolLine(notConfiguredIcon_, notConfigured_, "notConfigured");
    layout->addWidget(notConfiguredRow_);
    errorRow_ = symbolLine(errorIcon_, error_, "connectionError");
    layout->addWidget(errorRow_);

    layout->addSpacing(4);
    auto* emailHeading = heading(QStringLiteral("Email address"));
    layout->addWidget(emailHeading);
    email_ = new QLineEdit;
    email_->setObjectName(QStringLiteral("email"));
    email_->setAccessibleName(QStringLiteral("Email address"));
    email_->setPlaceholderText(QStringLiteral("name@example.com"));
    email_->setInputMethodHints(Qt::ImhEmailCharactersOnly | Qt::ImhNoAutoUppercase);
    emailHeading->setBuddy(email_);
    layout->addWidget(email_);
    hint_ = new QLabel(QStringLiteral(
        "You will approve read-only inbox access on the provider's own sign-in page."));
    hint_->setWordWrap(true);
    QFont hintFont = hint_->font();
    hintFont.setPointSizeF(hintFont.pointSizeF() * 0.88);
    hint_->setFont(hintFont);
    layout->addWidget(hint_);

    layout->addSpacing(10);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    continue_ = new QPushButton;
    continue_->setObjectName(QStringLiteral("continue"));
    continue_->setDefault(true);
    bottom->addWidget(continue_);
    layout->addLayout(bottom);

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
    applyPaletteColours();
}

void AddAccountView::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    email_->setFocus(Qt::OtherFocusReason);
}

void AddAccountView::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyPaletteColours();
    }
}

void AddAccountView::keyPressEvent(QKeyEvent* event) {
    // Return in the address field answers only to the address's own test (returnPressed above);
    // the dialog must not press Continue a second time for it.
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (isReturn && focusWidget() == email_) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void AddAccountView::applyPaletteColours() {
    const QPalette colours = palette();
    const qreal ratio = devicePixelRatioF();
    setTextColour(notConfigured_, orangeColour(colours));
    notConfiguredIcon_->setPixmap(
        glyphPixmap(Glyph::wrenchAndScrewdriver, orangeColour(colours), 16, ratio));
    setTextColour(error_, redColour(colours));
    errorIcon_->setPixmap(glyphPixmap(Glyph::warningTriangleFill, redColour(colours), 16, ratio));
    setTextColour(hint_, secondaryColour(colours));
    // The provider picker as one segmented control: joined segments, the chosen one in the accent.
    const QColor accent = colours.color(QPalette::Active, QPalette::Highlight);
    const QString segment = QStringLiteral(
        "QPushButton { background: %1; color: %2; border: 1px solid %3;"
        " padding: 4px 10px; %4 }"
        "QPushButton:checked { background: %5; color: %6; border-color: %7; }"
        "QPushButton:focus { border: 2px solid %7; }");
    for (auto* button : findChildren<QPushButton*>()) {
        const bool first = button->objectName() == QStringLiteral("providerGoogle");
        if (!first && button->objectName() != QStringLiteral("providerMicrosoft")) {
            continue;
        }
        button->setStyleSheet(
            segment
                .arg(colours.color(QPalette::Button).name(),
                     colours.color(QPalette::ButtonText).name(),
                     colours.color(QPalette::Mid).name(),
                     first ? QStringLiteral("border-top-left-radius: 5px;"
                                            " border-bottom-left-radius: 5px;")
                           : QStringLiteral("border-top-right-radius: 5px;"
                                            " border-bottom-right-radius: 5px; border-left: none;"))
                .arg(accent.name(), colours.color(QPalette::HighlightedText).name(),
                     accent.darker(125).name()));
    }
    refresh();
}

void AddAccountView::refresh() {
    const bool configured = providerIsConfigured();
    notConfiguredRow_->setVisible(!configured);
    notConfigured_->setText(
        provider_ == loftwing::MailProvider::google
            ? QStringLiteral("The Google OAuth client is not configured in this test build.")
            : QStringLiteral("The Microsoft OAuth client is not configured in this test build."));
    notConfigured_->setAccessibleName(notConfigured_->text());
    const auto& message = viewModel_.errorMessage();
    errorRow_->setVisible(message.has_value());
    error_->setText(message.value_or(QString()));
    error_->setAccessibleName(QStringLiteral("Account connection error: ") +
                              message.value_or(QString()));
    continue_->setText(viewModel_.isConnecting() ? QStringLiteral("Connecting…")
                                                 : QStringLiteral("Continue"));
    continue_->setAccessibleName(continue_->text());
    continue_->setEnabled(emailIsValid(email_->text()) && !viewModel_.isConnecting() && configured);
    showAsMainAction(continue_);
    adjustSize();
}

void AddAccountView::startConnection() {
    viewModel_.connect(provider_, email_->text()).then(this, [this](bool connected) {
        if (connected) {
            accept();
        }
    });
}

}  // namespace zevirudi
