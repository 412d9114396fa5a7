#include "ui/AppRootView.h"

#include "ui/AccountManagerView.h"
#include "ui/AccountManagerViewModel.h"
#include "ui/Glyphs.h"
#include "ui/OnboardingView.h"

#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QSettings>
#include <QVBoxLayout>

namespace zevirudi {
namespace {

QWidget* progressView() {
    auto* view = new QWidget;
    view->setFixedSize(570, 520);
    auto* layout = new QVBoxLayout(view);
    layout->setSpacing(14);
    layout->addStretch(1);
    auto* tile = new QLabel;
    tile->setPixmap(brandTile(64, view->devicePixelRatioF()));
    layout->addWidget(tile, 0, Qt::AlignHCenter);
    auto* busy = new QProgressBar;
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    busy->setFixedSize(160, 10);
    layout->addWidget(busy, 0, Qt::AlignHCenter);
    auto* title = new QLabel(QStringLiteral("Preparing Zevirudi…"));
    QPalette palette = title->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    title->setPalette(palette);
    layout->addWidget(title, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    return view;
}

}  // namespace

AppRootView::AppRootView(AccountManagerViewModel& viewModel, QSettings& settings, QWidget* parent)
    : QWidget(parent), viewModel_(viewModel), settings_(settings) {
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSizeConstraint(QLayout::SetFixedSize);
    auto* progress = progressView();
    progress->installEventFilter(this);
    present(progress);
}

bool AppRootView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint && !didStartPreparing_) {
        didStartPreparing_ = true;
        QMetaObject::invokeMethod(
            this, [this] { viewModel_.prepare().then(this, [this] { decide(); }); },
            Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void AppRootView::decide() {
    if (onboardingIsPresented_) {
        return;
    }
    const bool didCompleteOnboarding = settings_.value(didCompleteOnboardingKey, false).toBool();
    onboardingIsPresented_ = !didCompleteOnboarding && viewModel_.accounts().empty();
    if (*onboardingIsPresented_) {
        present(new OnboardingView(viewModel_, [this] {
            settings_.setValue(didCompleteOnboardingKey, true);
            onboardingIsPresented_ = false;
            present(new AccountManagerView(viewModel_));
        }));
    } else {
        present(new AccountManagerView(viewModel_));
    }
}

void AppRootView::present(QWidget* content) {
    if (content_ != nullptr) {
        layout_->removeWidget(content_);
        content_->hide();
        content_->deleteLater();
    }
    content_ = content;
    layout_->addWidget(content_);
    emit contentChanged();
}

}  // namespace zevirudi
