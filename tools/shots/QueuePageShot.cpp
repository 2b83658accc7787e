#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include "Shot.h"
#include "statefakes/ScreenFixture.h"
#include "ui/kit/Divider.h"
#include "ui/shell/ActivityBar.h"
#include "ui/shell/CommandCenterPage.h"

namespace nudgerly::test {
namespace {

// A stand-in for a shared page's picture: a sky, a sun and hills.
std::string writePreviewPicture(const QTemporaryDir& folder) {
    QImage picture(640, 336, QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, picture.height());
    sky.setColorAt(0, QColor(0x8E, 0xC5, 0xFC));
    sky.setColorAt(1, QColor(0xE0, 0xF0, 0xFF));
    painter.fillRect(picture.rect(), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xFF, 0xC8, 0x57));
    painter.drawEllipse(QPoint(480, 90), 46, 46);
    painter.setBrush(QColor(0x5B, 0xA1, 0x5B));
    painter.drawEllipse(QRect(-120, 210, 560, 260));
    painter.setBrush(QColor(0x3F, 0x7F, 0x4A));
    painter.drawEllipse(QRect(260, 230, 520, 240));
    painter.end();
    const QString path = folder.filePath(QStringLiteral("preview"));
    if (!picture.save(path, "PNG")) {
        throw std::runtime_error("Couldn't write the link preview picture.");
    }
    return path.toStdString();
}

// The queue page over the activity bar, as the window's detail area shows it.
void saveQueuePage(ShotContext& context, const PublishedState& state, const QString& name) {
    ScreenFixture screen;
    screen.state.published().replaceAll(state);
    QWidget page;
    auto* stack = new QVBoxLayout(&page);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(new CommandCenterPage(screen.state), 1);
    stack->addWidget(new Divider);
    stack->addWidget(new ActivityBar(screen.state));
    context.save(page, name, QSize(1000, 650));
}

}  // namespace
}  // namespace nudgerly::test

NUDGERLY_SHOT(queuePage,
              "The queue page with a Messages item (bubble, link card with picture, suggested reply), "
              "with a Gmail item, and with nothing selected in the completed view") {
    using namespace nudgerly;
    using namespace nudgerly::test;
    QTemporaryDir folder;
    const std::string picture = writePreviewPicture(folder);
    saveQueuePage(context,
                  withSelectedItem(stateFixture("messagesDetail"), ReviewSource::messages, "messages-maya",
                                   [&](ReviewItem& item) { item.messageLinkPreview->imagePath = picture; }),
                  "queue-messages-item");
    saveQueuePage(context, stateFixture("gmailDetail"), "queue-gmail-item");
    saveQueuePage(context, stateFixture("nothingCompleted"), "queue-completed-nothing-selected");
}
