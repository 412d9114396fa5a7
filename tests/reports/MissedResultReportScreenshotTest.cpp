#include "ui/MissedResultReportView.h"

#include "helpers/QtTestApplication.h"
#include "helpers/XvfbServer.h"
#include "ui/DesktopColourScheme.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace zevirudi {
namespace {

QImage shoot(MissedResultReportView& view, const char* name) {
    QApplication::processEvents();
    const QImage image = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(image.save(loftwing::test::screenshotPath(name)));
    return image;
}

int lightnessAt(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y)).lightness();
}

// Under a real X server in Fusion, the system palette, then the same sheet after the desktop
// switched to dark mode.
TEST(MissedResultReportScreenshots, SheetFollowsLightAndDarkMode) {
    QApplication::setPalette(QApplication::style()->standardPalette());

    const std::vector<loftwing::ConnectedAccount> accounts{
        {"g1", loftwing::MailProvider::google, "ben@gmail.example", std::nullopt},
        {"m1", loftwing::MailProvider::microsoft, "ana@outlook.example", "Ana"}};
    auto view = std::make_unique<MissedResultReportView>(accounts, true, true, true);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    const QImage opening = shoot(*view, "report-sheet-light-opening");

    QTest::keyClicks(view->siteField(), QStringLiteral("login example"));
    const QImage invalid = shoot(*view, "report-sheet-light-invalid-site");
    ASSERT_TRUE(view->validationCaption()->isVisible());
    const QRect caption(view->validationCaption()->mapTo(view.get(), QPoint(0, 0)),
                        view->validationCaption()->size());
    view->siteField()->setText(QStringLiteral("login.example.com/verify?session=1"));
    view->kindPicker()->setCurrentIndex(0);
    view->mailboxPicker()->setCurrentIndex(2);
    view->senderField()->setText(QStringLiteral("no-reply@accounts.example.com"));
    view->subjectField()->setText(QStringLiteral("Your sign-in code is 481516"));
    view->notesField()->setPlainText(
        QStringLiteral("The page waited for a code,\nbut nothing showed up in Chrome."));
    const QImage light = shoot(*view, "report-sheet-light");

    QTest::mouseClick(view->copyButton(), Qt::LeftButton);
    QApplication::setPalette(darkDesktopPalette());
    const QImage dark = shoot(*view, "report-sheet-dark");

    for (const QImage* image : {&opening, &invalid, &light, &dark}) {
        EXPECT_EQ(image->size(), QSize(560, 680));
    }
    EXPECT_GT(lightnessAt(light, 4, 4), 200);
    EXPECT_LT(lightnessAt(dark, 4, 4), 60);
    EXPECT_NE(opening, light);
    // The caption under the Website field is drawn in red.
    int redPixels = 0;
    for (int y = caption.top(); y <= caption.bottom(); ++y) {
        for (int x = caption.left(); x <= caption.right(); ++x) {
            const QColor pixel(invalid.pixel(x, y));
            redPixels += pixel.red() > 150 && pixel.green() < 90 ? 1 : 0;
        }
    }
    EXPECT_GT(redPixels, 50);
    // The prominent Share button carries the accent colour once the site is valid.
    const QPoint share =
        view->shareButton()->mapTo(view.get(), view->shareButton()->rect().center());
    EXPECT_GT(QColor(light.pixel(share.x() - 30, share.y())).saturation(), 100);
    EXPECT_LT(QColor(opening.pixel(share.x() - 30, share.y())).saturation(), 60);
    EXPECT_GT(view->statusCaption()->palette().color(QPalette::WindowText).lightness(), 128);
}

}  // namespace
}  // namespace zevirudi

int main(int argc, char** argv) {
    return loftwing::test::screenshotTestMain(argc, argv);
}
