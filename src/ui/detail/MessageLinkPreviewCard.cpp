#include "ui/detail/MessageLinkPreviewCard.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "ui/kit/ElidedLabel.h"
#include "ui/kit/Look.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/WrapLabel.h"

namespace nudgerly {
namespace {

constexpr qreal cornerRadius = 12;
constexpr int outlineWidth = 1;

}  // namespace

// The picture scaled to the full width, keeping its aspect ratio, on a faint dark ground; its top
// corners follow the card's.
class MessageLinkPreviewCard::FittedImage : public QWidget {
public:
    explicit FittedImage(QWidget* parent) : QWidget(parent) {
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }

    void setImage(const QImage& image) {
        if (image.cacheKey() == image_.cacheKey()) {
            return;
        }
        image_ = image;
        updateGeometry();
        update();
    }
    const QImage& image() const { return image_; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override {
        if (image_.isNull() || image_.width() == 0) {
            return 0;
        }
        return static_cast<int>(int64_t{width} * image_.height() / image_.width());
    }
    QSize sizeHint() const override { return {image_.width(), image_.height()}; }
    QSize minimumSizeHint() const override { return {0, 0}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        const qreal radius = cornerRadius - outlineWidth;
        QPainterPath clip;  // rounded at the top only: the text part follows below
        clip.addRoundedRect(QRectF(rect()).adjusted(0, 0, 0, radius), radius, radius);
        painter.setClipPath(clip);
        painter.fillRect(rect(), Look::withOpacity(Qt::black, 0.04));
        const QSize fitted = image_.size().scaled(size(), Qt::KeepAspectRatio);
        const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
        painter.drawImage(target, image_);
    }

private:
    QImage image_;
};

MessageLinkPreviewCard::MessageLinkPreviewCard(PreviewImageLimits limits, QWidget* parent)
    : QWidget(parent), images_(limits) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    auto* stack = new QVBoxLayout(this);
    // The outline is drawn under the children, so they keep off it.
    stack->setContentsMargins(outlineWidth, outlineWidth, outlineWidth, outlineWidth);
    stack->setSpacing(0);
    image_ = new FittedImage(this);
    image_->setObjectName(QStringLiteral("previewImage"));
    stack->addWidget(image_);

    auto* text = new QWidget(this);
    auto* lines = new QVBoxLayout(text);
    lines->setContentsMargins(12, 12, 12, 12);
    lines->setSpacing(4);
    title_ = new ElidedLabel(TextStyle::subheadline, Tone::primary, 3, text);
    title_->setObjectName(QStringLiteral("linkTitle"));
    title_->setTextStyle(TextStyle::subheadline, FontWeight::semibold);
    domain_ = new WrapLabel(TextStyle::caption, Tone::secondary, text);
    domain_->setObjectName(QStringLiteral("linkDomain"));
    lines->addWidget(title_);
    lines->addWidget(domain_);
    stack->addWidget(text);

    image_->hide();
    title_->hide();
}

void MessageLinkPreviewCard::setPreview(const MessageLinkPreview& preview) {
    preview_ = preview;
    const QImage& picture = images_.image(preview.imagePath);
    image_->setImage(picture);
    image_->setVisible(!picture.isNull());
    title_->setText(qtText(preview.title.value_or("")));
    title_->setVisible(preview.title.has_value());
    domain_->setText(qtText(preview.domain));
    setAccessibleName(accessibilityLabel(preview));
}

const QImage& MessageLinkPreviewCard::image() const {
    return image_->image();
}

QString MessageLinkPreviewCard::accessibilityLabel(const MessageLinkPreview& preview) {
    return QStringLiteral("Link preview: ") + qtText(preview.title ? *preview.title : preview.domain);
}

void MessageLinkPreviewCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal inset = outlineWidth / 2.0;
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), cornerRadius, cornerRadius);
    painter.fillPath(card, Look::controlBackground());
    painter.setPen(QPen(Look::withOpacity(Look::separator(), 0.45), outlineWidth));
    painter.drawPath(card);
}

}  // namespace nudgerly
