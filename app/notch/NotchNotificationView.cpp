#include "notch/NotchNotificationView.h"

#include "notch/AttachedNotchShape.h"
#include "notch/NotchNotificationText.h"
#include "notch/RelayGlyph.h"
#include "support/Text.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEnterEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace zevirudi {
namespace {

constexpr double closeButtonSide = 24;
constexpr double actionButtonHeight = 32;
constexpr double actionButtonInset = 12;
constexpr double textLineSpacing = 4;
constexpr double noNotchCornerRadius = 20;

QColor white(double opacity) {
    QColor color(Qt::white);
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

QFont systemFont(int pixelSize, QFont::Weight weight, double tracking = 0) {
    QFont font = QApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    if (tracking > 0) {
        font.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    }
    return font;
}

QFont brandFont() {
    return systemFont(10, QFont::DemiBold, 1.2);
}
QFont titleFont() {
    return systemFont(14, QFont::DemiBold);
}
QFont codeFont() {
    return systemFont(19, QFont::DemiBold, 1.2);
}
QFont subtitleFont() {
    return systemFont(11, QFont::Normal);
}
QFont actionFont() {
    return systemFont(11, QFont::DemiBold);
}

// The platform's accent colour, kept saturated enough to read as a button on black.
QColor accentColor() {
    QColor accent = QApplication::palette().color(QPalette::Active, QPalette::Highlight);
    if (accent.saturationF() < 0.25F || accent.valueF() < 0.35F) {
        accent = QColor(0x0A, 0x84, 0xFF);
    }
    return accent;
}

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

// The text broken at word boundaries into at most `maxLines` lines of `width`; the last line
// shown is elided when text remains.
QStringList wrappedLines(const QString& text, const QFont& font, double width, int maxLines) {
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList lines;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == maxLines - 1) {
            const QString rest = text.mid(line.textStart()).trimmed();
            lines.append(QFontMetricsF(font).elidedText(rest, Qt::ElideRight, width));
            break;
        }
        lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return lines;
}

// Draws the lines one below the other from `top`; returns the y below the last.
double drawLines(QPainter& painter, const QStringList& lines, double left, double top, double width,
                 double lineHeight) {
    for (const QString& line : lines) {
        painter.drawText(QRectF(left, top, width, lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         line);
        top += lineHeight;
    }
    return top;
}

// A round, translucent button with a painted cross; its look is fixed, so no style is involved.
class CloseButton : public QAbstractButton {
  public:
    explicit CloseButton(QWidget* parent) : QAbstractButton(parent) {
        setFixedSize(static_cast<int>(closeButtonSide), static_cast<int>(closeButtonSide));
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
        setAccessibleName(qt(std::string(closeButtonAccessibleName)));
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(white(isDown() ? 0.22 : underMouse() ? 0.18 : 0.12));
        painter.drawEllipse(QRectF(rect()));
        QPen cross(white(0.72), 1.8, Qt::SolidLine, Qt::RoundCap);
        painter.setPen(cross);
        const QPointF centre = QRectF(rect()).center();
        const double arm = 3.5;
        painter.drawLine(centre + QPointF(-arm, -arm), centre + QPointF(arm, arm));
        painter.drawLine(centre + QPointF(-arm, arm), centre + QPointF(arm, -arm));
    }
};

}  // namespace

struct NotchNotificationView::Layout {
    QRectF bounds;  // the whole layout area, in view coordinates
    QRectF strip;   // the top band over the notch (empty without a notch)
    QRectF textBlock;
    QRectF actionButton;
    QRectF closeButton;
    QRectF providerLabel;
    QPointF glyph;
    RelayGlyph relayGlyph;
};

NotchNotificationView::NotchNotificationView(NotchNotification notification, bool joinsNotch,
                                             double notchClearance, double notchWidth,
                                             NotchViewCallbacks callbacks, QWidget* parent)
    : QWidget(parent),
      notification_(std::move(notification)),
      joinsNotch_(joinsNotch),
      notchClearance_(joinsNotch ? notchClearance : 0),
      notchWidth_(joinsNotch ? notchWidth : 0),
      callbacks_(std::move(callbacks)),
      actionButton_(new QPushButton(qt(actionLabel(notification_)), this)),
      closeButton_(new CloseButton(this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_Hover);
    setMouseTracking(true);
    setAccessibleName(qt(notificationTitle(notification_)));
    setAccessibleDescription(qt(notificationSubtitle(notification_)));

    const QColor accent = accentColor();
    actionButton_->setFont(actionFont());
    actionButton_->setCursor(Qt::PointingHandCursor);
    actionButton_->setFocusPolicy(Qt::NoFocus);
    actionButton_->setStyleSheet(
        QStringLiteral("QPushButton { color: white; background: %1; border: none;"
                       " border-radius: 8px; padding: 0 %4px; }"
                       "QPushButton:hover { background: %2; }"
                       "QPushButton:pressed { background: %3; }")
            .arg(accent.name(), accent.lighter(112).name(), accent.darker(115).name())
            .arg(actionButtonInset));
    const QFontMetricsF actionMetrics(actionFont());
    actionButton_->setFixedSize(
        static_cast<int>(std::ceil(actionMetrics.horizontalAdvance(actionButton_->text()) +
                                   2 * actionButtonInset)),
        static_cast<int>(actionButtonHeight));

    connect(actionButton_, &QPushButton::clicked, this, [this] {
        if (callbacks_.performAction) {
            callbacks_.performAction();
        }
    });
    connect(closeButton_, &QAbstractButton::clicked, this, [this] {
        if (callbacks_.close) {
            callbacks_.close();
        }
    });
    resize(sizeHint());
}

QSize NotchNotificationView::sizeHint() const {
    return joinsNotch_ ? QSize(620, static_cast<int>(std::lround(notchClearance_ + 88)))
                       : QSize(390, 136);
}

void NotchNotificationView::setLayoutSize(QSize size) {
    layoutSize_ = size;
    placeButtons();
    update();
}

NotchNotificationView::Layout NotchNotificationView::layout() const {
    const QSizeF area = layoutSize_.isValid() ? QSizeF(layoutSize_) : QSizeF(size());
    Layout result;
    result.bounds = QRectF(QPointF((width() - area.width()) / 2, 0), area);
    const QRectF& bounds = result.bounds;
    const QSizeF actionSize(actionButton_->size());

    if (joinsNotch_) {
        // The body starts 16 in from each side (see the outline); the strip's content 32 in.
        result.strip = QRectF(bounds.left(), bounds.top(), bounds.width(), notchClearance_);
        result.relayGlyph = RelayGlyph{12, 3};
        result.glyph = QPointF(bounds.left() + 32, result.strip.center().y() - 6);
        result.closeButton = QRectF(QPointF(bounds.right() - 32 - closeButtonSide,
                                            result.strip.center().y() - closeButtonSide / 2),
                                    QSizeF(closeButtonSide, closeButtonSide));
        const double providerWidth = 160;
        result.providerLabel = QRectF(result.closeButton.left() - 8 - providerWidth,
                                      result.strip.top(), providerWidth, result.strip.height());
        const QRectF row(bounds.left() + 32, result.strip.bottom() + 1 + 16, bounds.width() - 64,
                         bounds.height() - notchClearance_ - 1 - 32);
        result.actionButton = QRectF(
            QPointF(row.right() - actionSize.width(), row.center().y() - actionSize.height() / 2),
            actionSize);
        result.textBlock = QRectF(row.left(), row.top(),
                                  result.actionButton.left() - 16 - row.left(), row.height());
        return result;
    }

    const QRectF row = bounds.adjusted(16, 12, -16, -12);
    result.relayGlyph = RelayGlyph{28, 8};
    result.glyph = QPointF(row.left(), row.center().y() - 14);
    result.closeButton =
        QRectF(QPointF(row.right() - closeButtonSide, row.center().y() - closeButtonSide / 2),
               QSizeF(closeButtonSide, closeButtonSide));
    result.actionButton = QRectF(QPointF(result.closeButton.left() - 12 - actionSize.width(),
                                         row.center().y() - actionSize.height() / 2),
                                 actionSize);
    const double textLeft = result.glyph.x() + 28 + 12;
    result.textBlock =
        QRectF(textLeft, row.top(), result.actionButton.left() - 12 - textLeft, row.height());
    return result;
}

void NotchNotificationView::placeButtons() {
    const Layout current = layout();
    actionButton_->move(current.actionButton.topLeft().toPoint());
    closeButton_->move(current.closeButton.topLeft().toPoint());
}

void NotchNotificationView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeButtons();
}

void NotchNotificationView::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    if (callbacks_.hoverChanged) {
        callbacks_.hoverChanged(true);
    }
}

void NotchNotificationView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (callbacks_.hoverChanged) {
        callbacks_.hoverChanged(false);
    }
}

void NotchNotificationView::paintEvent(QPaintEvent*) {
    const Layout current = layout();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    // The body follows the view's current size, so it grows and shrinks with the panel.
    const QRectF body = QRectF(rect());
    QPainterPath outline;
    if (joinsNotch_) {
        outline = AttachedNotchShape{}.path(body);
    } else {
        const double radius = std::min(noNotchCornerRadius, body.height() / 2);
        outline.addRoundedRect(body, radius, radius);
    }
    painter.fillPath(outline, Qt::black);
    painter.setPen(QPen(white(0.10), 1));
    if (!joinsNotch_) {
        painter.drawPath(outline);
    }
    painter.setClipPath(outline);

    const QColor accent = accentColor();
    current.relayGlyph.paint(painter, current.glyph, accent);

    if (joinsNotch_) {
        painter.setFont(brandFont());
        painter.setPen(white(0.62));
        const QRectF brandArea(
            current.glyph.x() + 12 + 6, current.strip.top(),
            current.strip.center().x() - notchWidth_ / 2 - (current.glyph.x() + 18),
            current.strip.height());
        painter.drawText(brandArea, Qt::AlignLeft | Qt::AlignVCenter, qt(std::string(brandText)));
        const std::string provider = std::visit(
            [](const auto& payload) { return loftwing::uppercased(payload.providerLabel); },
            notification_);
        const QFontMetricsF brandMetrics(brandFont());
        painter.drawText(
            current.providerLabel, Qt::AlignRight | Qt::AlignVCenter,
            brandMetrics.elidedText(qt(provider), Qt::ElideRight, current.providerLabel.width()));
        painter.setPen(QPen(white(0.12), 1));
        const double dividerY = current.strip.bottom() + 0.5;
        painter.drawLine(QPointF(current.bounds.left() + 16, dividerY),
                         QPointF(current.bounds.right() - 16, dividerY));
    }

    const bool isCode = isCodeNotification(notification_);
    const QFont headlineFont = isCode ? codeFont() : titleFont();
    const QString headline =
        isCode ? qt(formattedCode(std::get<loftwing::CodeNotificationPayload>(notification_).code))
               : qt(notificationTitle(notification_));
    const QFontMetricsF headlineMetrics(headlineFont);
    const QFontMetricsF subtitleMetrics(subtitleFont());
    const QRectF& text = current.textBlock;
    // The wide panel under a notch has room for one line each; the narrow card wraps, giving a
    // link's title (whose host matters most) a third line.
    const int maxLines = joinsNotch_ ? 1 : 2;
    const QStringList headlineLines =
        wrappedLines(headline, headlineFont, text.width(), isCode || joinsNotch_ ? 1 : 3);
    const QStringList subtitleLines = wrappedLines(qt(notificationSubtitle(notification_)),
                                                   subtitleFont(), text.width(), maxLines);
    const double blockHeight =
        headlineMetrics.height() * static_cast<double>(headlineLines.size()) + textLineSpacing +
        subtitleMetrics.height() * static_cast<double>(subtitleLines.size());
    const double top = text.center().y() - blockHeight / 2;

    painter.setFont(headlineFont);
    painter.setPen(Qt::white);
    const double headlineBottom =
        drawLines(painter, headlineLines, text.left(), top, text.width(), headlineMetrics.height());
    painter.setFont(subtitleFont());
    painter.setPen(white(0.62));
    drawLines(painter, subtitleLines, text.left(), headlineBottom + textLineSpacing, text.width(),
              subtitleMetrics.height());
}

}  // namespace zevirudi
