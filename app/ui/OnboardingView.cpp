#include "ui/OnboardingView.h"

#include "ui/AccountManagerViewModel.h"
#include "ui/Glyphs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace zevirudi {
namespace {

QLabel* text(const QString& content, qreal scale, QFont::Weight weight, bool secondary = false) {
    auto* label = new QLabel(content);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setWeight(weight);
    label->setFont(font);
    label->setWordWrap(true);
    if (secondary) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
        label->setPalette(palette);
    }
    return label;
}

}  // namespace

OnboardingView::OnboardingView(AccountManagerViewModel& viewModel, std::function<void()> completion,
                               QWidget* parent)
    : QWidget(parent) {
    setFixedSize(570, 520);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(36, 28, 36, 24);
    layout->setSpacing(10);

    auto* header = new QHBoxLayout;
    auto* tile = new QLabel;
    tile->setPixmap(brandTile(28, devicePixelRatioF()));
    header->addWidget(tile);
    header->addWidget(text(QStringLiteral("Zevirudi"), 1.1, QFont::Bold), 1);
    header->addWidget(text(QStringLiteral("SETUP"), 0.85, QFont::DemiBold, true));
    layout->addLayout(header);
    layout->addStretch(1);

    layout->addWidget(text(QStringLiteral("Stay in the sign-in form."), 1.9, QFont::Bold));
    layout->addWidget(text(QStringLiteral("Zevirudi puts an email code beside the field in Chrome. "
                                          "You choose when to fill it."),
                           1.1, QFont::Normal, true));
    layout->addWidget(text(QStringLiteral("It never submits the form."), 1.0, QFont::Medium));
    layout->addSpacing(12);
    layout->addWidget(text(QStringLiteral("Add Zevirudi to Chrome, then connect the inbox that "
                                          "receives your codes."),
                           1.0, QFont::Normal, true));
    auto* chrome = new QPushButton(QStringLiteral("Open Chrome setup"));
    QObject::connect(chrome, &QPushButton::clicked, this,
                     [&viewModel] { viewModel.openChromeSetup(); });
    layout->addWidget(chrome, 0, Qt::AlignLeft);
    layout->addStretch(2);

    auto* bar = new QHBoxLayout;
    bar->addStretch(1);
    auto* finish = new QPushButton(QStringLiteral("Finish setup"));
    finish->setDefault(true);
    QObject::connect(finish, &QPushButton::clicked, this, std::move(completion));
    bar->addWidget(finish);
    layout->addLayout(bar);
}

}  // namespace zevirudi
