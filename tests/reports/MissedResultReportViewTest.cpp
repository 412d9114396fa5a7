#include "ui/MissedResultReportView.h"

#include "bundle/AppBundle.h"
#include "helpers/QtTestApplication.h"
#include "ui/ReportDiagnostics.h"

#include <QClipboard>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace zevirudi {
namespace {

const std::vector<loftwing::ConnectedAccount> accounts{
    {"g1", loftwing::MailProvider::google, "ben@gmail.example", std::nullopt},
    {"m1", loftwing::MailProvider::microsoft, "ana@outlook.example", "Ana"},
};

std::string reportLine(const std::string& report, std::string_view label) {
    const auto start = report.find("\n" + std::string(label));
    return start == std::string::npos
               ? std::string()
               : report.substr(start + 1, report.find('\n', start + 1) - start - 1);
}

void typeSite(MissedResultReportView& view, const char* text) {
    view.siteField()->clear();
    QTest::keyClicks(view.siteField(), QString::fromUtf8(text));
}

// Receives what the sheet hands to the desktop's URL handler for mailto: addresses.
class MailComposer : public QObject {
    Q_OBJECT
  public:
    std::vector<QUrl> opened;

  public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

TEST(MissedResultReportView, OpensEmptyWithButtonsDisabledAndEveryControlNamed) {
    loftwing::test::qtTestApplication();
    MissedResultReportView view(accounts, true, true, false);
    view.show();

    EXPECT_FALSE(view.copyButton()->isEnabled());
    EXPECT_FALSE(view.shareButton()->isEnabled());
    EXPECT_TRUE(view.validationCaption()->isHidden());
    EXPECT_EQ(view.statusCaption()->text(),
              "Nothing is sent until you choose a share destination.");
    EXPECT_EQ(view.focusWidget(), view.siteField());
    EXPECT_EQ(view.kindPicker()->currentText(), "Not sure");
    const QStringList mailboxes{"Not sure", "ben@gmail.example · Gmail",
                                "ana@outlook.example · Outlook or Hotmail"};
    ASSERT_EQ(view.mailboxPicker()->count(), mailboxes.size());
    for (int i = 0; i < mailboxes.size(); ++i) {
        EXPECT_EQ(view.mailboxPicker()->itemText(i), mailboxes[i]);
    }
    EXPECT_EQ(view.reportPreview()->toPlainText().toStdString(), view.reportText());
    EXPECT_EQ(reportLine(view.reportText(), "Site: "), "Site: Not supplied");
    EXPECT_EQ(reportLine(view.reportText(), "Connected inboxes: "), "Connected inboxes: 2");
    EXPECT_EQ(reportLine(view.reportText(), "Outlook support: "),
              "Outlook support: Not configured");
    EXPECT_EQ(reportLine(view.reportText(), "Zevirudi: "),
              "Zevirudi: " + appVersionText(resourceDirectory() / "Info.json"));
    EXPECT_EQ(reportLine(view.reportText(), "Linux: "), "Linux: " + operatingSystemVersionText());

    // Keyboard order, top to bottom, and a name for assistive technology on every stop.
    typeSite(view, "example.com");
    const std::vector<QWidget*> expectedOrder{
        view.siteField(),    view.kindPicker(),    view.mailboxPicker(), view.senderField(),
        view.subjectField(), view.arrivalPicker(), view.notesField(),    view.reportPreview(),
        view.copyButton(),   view.shareButton(),   view.closeButton()};
    std::vector<QWidget*> order;
    for (QWidget* widget = view.siteField(); order.size() < expectedOrder.size();
         widget = widget->nextInFocusChain()) {
        if ((widget->focusPolicy() & Qt::TabFocus) != 0 && widget->isEnabled() &&
            widget->isVisibleTo(&view) && widget->focusProxy() == nullptr) {
            order.push_back(widget);
            EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->metaObject()->className();
        }
    }
    EXPECT_EQ(order, expectedOrder);
    EXPECT_EQ(view.arrivalPicker()->accessibleName(), "Email arrival time");

    QTest::keyClick(&view, Qt::Key_Escape);
    EXPECT_FALSE(view.isVisible());
    EXPECT_EQ(view.result(), QDialog::Rejected);
}

TEST(MissedResultReportView, EnablesCopyAndShareOnlyForAUsableSite) {
    loftwing::test::qtTestApplication();
    struct Row {
        const char* name;
        const char* site;
        bool valid;
        bool captionShown;
    };
    const Row rows[] = {
        {"words", "not a website", false, true},
        {"plain domain", "example.com", true, false},
        {"emptied again", "", false, false},
    };
    MissedResultReportView view(accounts, false, true, true);
    view.show();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        typeSite(view, row.site);
        EXPECT_EQ(view.copyButton()->isEnabled(), row.valid);
        EXPECT_EQ(view.shareButton()->isEnabled(), row.valid);
        EXPECT_EQ(!view.validationCaption()->isHidden(), row.captionShown);
        EXPECT_EQ(view.validationCaption()->text(), "Enter a valid website address.");
    }
}

TEST(MissedResultReportView, CopiesAndSharesTheReportOfTheMoment) {
    loftwing::test::qtTestApplication();
    MissedResultReportView view(accounts, true, true, true);
    view.show();
    typeSite(view, "login.example.com");
    EXPECT_EQ(reportLine(view.reportText(), "Mailbox: "), "Mailbox: Not sure");
    view.mailboxPicker()->setCurrentIndex(2);
    EXPECT_EQ(reportLine(view.reportText(), "Mailbox: "),
              "Mailbox: ana@outlook.example (Outlook or Hotmail)");
    view.kindPicker()->setCurrentIndex(0);
    QTest::keyClicks(view.subjectField(), QStringLiteral("Code 482913"));
    EXPECT_EQ(reportLine(view.reportText(), "Expected result: "), "Expected result: Sign-in code");
    EXPECT_EQ(reportLine(view.reportText(), "Subject: "), "Subject: Code [code removed]");

    QTest::mouseClick(view.copyButton(), Qt::LeftButton);
    const std::string copiedReport = view.reportText();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), copiedReport);
    EXPECT_EQ(view.statusCaption()->text(), "Copied to clipboard");

    // The confirmation lasts until the sheet closes, while the report follows every edit.
    QTest::keyClicks(view.notesField(), QStringLiteral("Nothing arrived"));
    EXPECT_EQ(view.statusCaption()->text(), "Copied to clipboard");
    EXPECT_EQ(reportLine(view.reportText(), "Notes: "), "Notes: Nothing arrived");
    EXPECT_EQ(view.reportPreview()->toPlainText().toStdString(), view.reportText());

    MailComposer composer;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &composer, "open");
    QTest::mouseClick(view.shareButton(), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    ASSERT_EQ(composer.opened.size(), 1u);
    const QUrl& mail = composer.opened.front();
    const QUrlQuery fields(mail);
    EXPECT_EQ(mail.scheme(), "mailto");
    EXPECT_EQ(fields.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
              "Zevirudi missed result");
    EXPECT_EQ(fields.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded)
                  .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                  .toStdString(),
              view.reportText());
}

TEST(ReportDiagnostics, ReadsTheVersionAndTheSystemName) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    struct VersionRow {
        const char* name;
        const char* info;  // nullptr: no file
        const char* expected;
    };
    const VersionRow versions[] = {
        {"no Info.json", nullptr, "Development build"},
        {"both versions", R"({"CFBundleShortVersionString":"1.4","CFBundleVersion":"88"})",
         "1.4 (88)"},
        {"short version only", R"({"CFBundleShortVersionString":"1.4","CFBundleVersion":88})",
         "1.4"},
        {"no short version", R"({"CFBundleVersion":"88"})", "Development build"},
        {"not JSON", "CFBundleShortVersionString=1.4", "Development build"},
    };
    for (const auto& row : versions) {
        SCOPED_TRACE(row.name);
        const std::filesystem::path file =
            folder.filePath(QString::fromUtf8(row.name)).toStdString();
        if (row.info != nullptr) {
            std::ofstream(file) << row.info;
        }
        EXPECT_EQ(appVersionText(file), row.expected);
    }

    struct NameRow {
        const char* name;
        const char* osRelease;
        const char* expected;
    };
    const NameRow names[] = {
        {"double quotes",
         "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n",
         "Debian GNU/Linux 12 (bookworm)"},
        {"single quotes", "PRETTY_NAME='Fedora Linux 39'", "Fedora Linux 39"},
        {"escapes", "PRETTY_NAME=\"Say \\\"hi\\\" \\\\ OS\"", "Say \"hi\" \\ OS"},
        {"bare", "PRETTY_NAME=Arch\nID=arch", "Arch"},
        {"no pretty name", "NAME=Something\n", "Linux"},
    };
    for (const auto& row : names) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(prettyNameFromOSRelease(row.osRelease), row.expected);
    }
}

}  // namespace
}  // namespace zevirudi

#include "MissedResultReportViewTest.moc"
