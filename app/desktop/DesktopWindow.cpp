#include "desktop/DesktopWindow.h"

#include "ui/AccountManagerViewModel.h"
#include "ui/AppRootView.h"

#include <QAction>
#include <QDesktopServices>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace zevirudi {

DesktopWindow::DesktopWindow(AccountManagerViewModel& viewModel, AppUpdates& updates,
                             QSettings& settings, BundleInfo info, QWidget* parent)
    : QMainWindow(parent), info_(std::move(info)) {
    setWindowTitle(QStringLiteral("Zevirudi"));
    root_ = new AppRootView(viewModel, settings);
    setCentralWidget(root_);
    // The window takes the size of what it shows and cannot be resized past it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    auto* file = menuBar()->addMenu(QStringLiteral("&File"));
    auto* addAccount = file->addAction(QStringLiteral("Add Account"));
    addAccount->setShortcut(QKeySequence::New);
    QObject::connect(addAccount, &QAction::triggered, &viewModel,
                     [&viewModel] { viewModel.presentAddAccount(); });
    file->addSeparator();
    auto* quit = file->addAction(QStringLiteral("Quit"));
    quit->setShortcut(QKeySequence::Quit);
    QObject::connect(quit, &QAction::triggered, this, &QMainWindow::close);

    auto* help = menuBar()->addMenu(QStringLiteral("&Help"));
    auto* about = help->addAction(QStringLiteral("About Zevirudi"));
    QObject::connect(about, &QAction::triggered, this, [this] {
        QMessageBox::about(
            this, QStringLiteral("About Zevirudi"),
            QStringLiteral("Zevirudi %1\nSign-in codes and links from all your inboxes.")
                .arg(QString::fromStdString(info_.shortVersion)));
    });
    checkForUpdates_ = help->addAction(QStringLiteral("Check for Updates…"));
    checkForUpdates_->setEnabled(updates.canCheckForUpdates());
    QObject::connect(
        &updates, &AppUpdates::canCheckForUpdatesChanged, checkForUpdates_,
        [this, &updates] { checkForUpdates_->setEnabled(updates.canCheckForUpdates()); });
    QObject::connect(checkForUpdates_, &QAction::triggered, this, [this, &updates] {
        updates.checkForUpdates().then(
            this, [this](const UpdateCheckResult& result) { showUpdateResult(result); });
    });
}

void DesktopWindow::activate() {
    showNormal();
    raise();
    activateWindow();
}

void DesktopWindow::showUpdateResult(const UpdateCheckResult& result) {
    const QString current = QString::fromStdString(info_.shortVersion);
    switch (result.kind) {
        case UpdateCheckResult::Kind::available: {
            auto* box =
                new QMessageBox(QMessageBox::Information, QStringLiteral("Software Update"),
                                QStringLiteral("Zevirudi %1 is available.").arg(result.version),
                                QMessageBox::NoButton, this);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setInformativeText(
                QStringLiteral("You have version %1. Download the new version and "
                               "install it with your package manager.")
                    .arg(current));
            auto* download = box->addButton(QStringLiteral("Download"), QMessageBox::AcceptRole);
            box->addButton(QStringLiteral("Later"), QMessageBox::RejectRole);
            box->setDefaultButton(download);
            QObject::connect(download, &QPushButton::clicked, this,
                             [url = result.downloadURL] { QDesktopServices::openUrl(QUrl(url)); });
            box->open();
            return;
        }
        case UpdateCheckResult::Kind::upToDate:
            QMessageBox::information(
                this, QStringLiteral("Software Update"),
                QStringLiteral("Zevirudi %1 is the newest version.").arg(current));
            return;
        case UpdateCheckResult::Kind::failed:
            break;
    }
    QMessageBox::warning(this, QStringLiteral("Software Update"), result.message);
}

}  // namespace zevirudi
