#pragma once

#include <QImage>
#include <QWidget>

#include "review/MessageLinkPreview.h"
#include "ui/detail/PreviewImage.h"

namespace nudgerly {

class ElidedLabel;
class WrapLabel;

// A link shared in a message: its picture when the file reads as an image, then its title (up to 3
// lines) and its site, in an outlined rounded card. One accessible element; it has no action.
// Children "previewImage", "linkTitle", "linkDomain".
class MessageLinkPreviewCard : public QWidget {
    Q_OBJECT

public:
    explicit MessageLinkPreviewCard(PreviewImageLimits limits = {}, QWidget* parent = nullptr);

    // Updates the card in place; the picture is read again only when its file changed.
    void setPreview(const MessageLinkPreview& preview);
    // The picture shown; null when the card has no image part.
    const QImage& image() const;

    // "Link preview: " and the title, or the domain when there is no title.
    static QString accessibilityLabel(const MessageLinkPreview& preview);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    class FittedImage;

    MessageLinkPreview preview_;
    PreviewImageCache images_;
    FittedImage* image_ = nullptr;
    ElidedLabel* title_ = nullptr;
    WrapLabel* domain_ = nullptr;
};

}  // namespace nudgerly
